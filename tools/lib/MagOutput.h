// How mkmag puts an archive on disk: whole or not at all. The bytes go to a
// new file beside the one named, which replaces it only once every byte
// reached the disk; a full disk, a file-size limit or a quit signal leaves
// the old archive as it was and nothing beside it.
#ifndef MIRANDOL_MAGOUTPUT_H
#define MIRANDOL_MAGOUTPUT_H

#include <stdint.h>

#include <string>
#include <vector>

// Writes bytes as the file path names. A symbolic link stays one: the file
// at the end of its chain is replaced, and keeps its permissions, and its
// owner and group where the process may give them (a new one gets 0644 less
// the umask). The new file is "NAME.mkmag-new-PID-N" in that file's folder.
// A path through a link of anyone but the user or root is refused, whatever
// it ends at. A character device or a pipe holds nothing to keep and is
// written into as it is; any other kind of file is refused.
//
// While the new file exists SIGINT, SIGTERM and SIGHUP are held back; one
// that came meanwhile (and is not ignored) stops the write and is taken, as
// is one the caller held back and that is waiting when it is called. While
// a device or pipe is written into they are let through.
// Returns 0 once the file is in place; that signal, for the caller to act
// on once it has said so; or -1. error then says what failed and whether
// the old file was kept.
int magWriteWhole(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error);

// Holds SIGINT, SIGTERM and SIGHUP back from now on (magWriteWhole then
// takes one that came meanwhile).
void magHoldQuitSignals();
// A quit signal held back and waiting, taken; 0 when none (one the process
// ignores is taken and dropped).
int magTakeQuitSignal();
// What is said when a quit signal stopped the making of the archive path
// names: whether something was there, kept as it was.
std::string magStoppedText(int signal, const std::string &path, bool existed);

// Whether a file name (a member's, with any folders) is one of the new
// files magWriteWhole makes: an archive being written, or one whose writer
// was killed before it could remove it.
bool magIsUnfinishedName(const std::string &name);

#endif
