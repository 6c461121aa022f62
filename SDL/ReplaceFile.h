// ReplacingFile: a file written whole or not at all. The bytes go to a new
// file beside the named one, which is replaced only once every byte reached
// the disk: a full disk or a failed write leaves the old file as it was.
// Used for the settings and for every file the core writes by truncation.
//
// A named file that is a symbolic link stays one: the file at the end of
// the link is the one replaced (the new file is written beside it), and the
// new file takes the permissions of the one it replaces. The new files have
// names of their own ("NAME.mirandol2-new-PID-N", PID the writer's process),
// which no one else makes, so that those a killed reader left behind can be
// told apart and swept (sweepReplacements).
//
// Every step acts on the folder as it was found: the path is walked once
// (WalkedPath) and the file is made, kept aside, renamed and removed
// relative to that open folder, so that a folder swapped for a link after
// the walk cannot lead the write elsewhere. The owner and group of a
// replaced file are kept where the process may set them.
//
// What may be replaced (targetKind): only a regular file the user may write
// and that has a write bit at all (one without is frozen, also for root),
// or nothing. A character device (a link to /dev/null) is written into as
// it is. Any other kind is refused, and so is a path through a link that
// belongs to neither the user running the reader nor root (a link planted
// in a folder others can write to).
#ifndef MIRANDOL_REPLACE_FILE_H
#define MIRANDOL_REPLACE_FILE_H

#include <stdio.h>
#include <sys/stat.h>

#include <string>

// A path walked once, part by part: the folder holding its last part, held
// open, and that part's name. Each link on the way (and the last part while
// it is one) is checked and read on the very object it is, so nothing put
// in its place afterwards can redirect what is done relative to the
// folder. A link is followed only when it belongs to the user running the
// reader or to root.
class WalkedPath {
public:
    WalkedPath() = default;
    WalkedPath(WalkedPath &&other) noexcept;
    WalkedPath &operator=(WalkedPath &&other) noexcept;
    WalkedPath(const WalkedPath &) = delete;
    WalkedPath &operator=(const WalkedPath &) = delete;
    ~WalkedPath() { close(); }

    // False, with errno set, when a folder on the way is missing or no
    // folder, the links do not end (ELOOP), or one is someone else's
    // (EACCES). The last part need not exist.
    bool walk(const std::string &path);
    void close();
    bool walked() const { return folder_ >= 0; }
    int folder() const { return folder_; }            // O_PATH, owned
    const std::string &name() const { return name_; } // never a link of the walk's time
    // The path as walked, its links followed and its separators tidied.
    const std::string &text() const { return text_; }

private:
    int folder_ = -1;
    std::string name_, text_;
};

// The folder path names, walked and opened (O_PATH); -1 when it is none
// or may not be reached (see WalkedPath).
int openFolder(const std::string &path);

// Opens the regular file at path for reading, walked as for a write: what
// lies behind a link of someone else's, a FIFO or a device reads as
// missing (null, errno ENOENT).
FILE *openOwnRegularFile(const std::string &path, const char *mode);

class ReplacingFile {
public:
    ReplacingFile() = default;
    ReplacingFile(ReplacingFile &&other) noexcept;
    ReplacingFile &operator=(ReplacingFile &&other) noexcept;
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;
    // A file neither put in place nor discarded is removed.
    ~ReplacingFile();

    // Makes a new, empty file beside the file path names (the end of its
    // links); null when it cannot be made or the target may not be
    // replaced (targetKind). It has the permissions of the file it
    // replaces, or 0644 less the umask when there is none. A device there
    // is opened itself: what is written goes straight to it, and placing
    // it does nothing. The stream is owned by this object.
    FILE *open(const std::string &path);
    // The stream of an open file, null once it was finished or discarded.
    FILE *stream() const { return stream_; }
    // The name the file was asked for.
    const std::string &path() const { return path_; }
    // The name the new file takes once in place: path, or the file its
    // links end at.
    const std::string &target() const { return target_; }
    // The folder the target lies in (open until this object is reopened or
    // goes) and the target's name there; -1 before an open.
    int folder() const { return at_.folder(); }
    const std::string &name() const { return at_.name(); }
    // Whether a new file exists (open or finished, not yet placed).
    bool pending() const { return !temporary_.empty(); }

    // Flushes, syncs and closes the stream: true when every byte written
    // reached the disk. When not, the new file is removed.
    bool finish();
    // Renames the finished file over the target; on failure it is removed.
    bool place();
    // Removes the new file, closing it first when still open.
    void discard();
    // The commit step: finish and place when keep, else discard; true when
    // the named file now holds every byte written.
    bool commit(bool keep);

private:
    FILE *openDevice();

    FILE *stream_ = nullptr;    // owned
    WalkedPath at_;             // where the target lies, held open
    std::string path_;
    std::string target_;
    std::string temporary_;     // its name in at_'s folder; empty when there is no new file
    bool device_ = false;       // the stream writes into the target, a device
};

// What the file called name in a walked folder (no link along the way, see
// WalkedPath) is to the replace step.
enum class TargetKind {
    Absent,        // nothing there: made anew
    Replaceable,   // a regular file the user may write, with a write bit
    Device,        // a character device: written into, never replaced
    Refused,       // anything else (folder, FIFO, socket, block device,
                   // a frozen or unwritable file): the save fails
};
TargetKind targetKindAt(int folder, const std::string &name);

// Gives the new file fd the owner and group of the file old describes,
// where the process may (root always; a user the group, where theirs),
// then its permissions.
void keepOwnerAndMode(int fd, const struct stat &old);

// Opens the regular file at path for reading (fopen's mode); null, with
// errno ENOENT, when something else is there (a FIFO or a device is read as
// missing, without waiting for a writer).
FILE *openRegularFile(const std::string &path, const char *mode);

// Keeps the regular file called base in the open folder under a name
// beside it that isReplacementName knows (a second link to it, or a copy
// where the file system has none), so that it can be put back by renaming;
// the bare name is set. False when neither can be made.
bool keepAsideAt(int folder, const std::string &base, std::string &name);

// Makes a new file beside target with a name of its own (O_EXCL: never an
// existing file nor a link), one that isReplacementName knows, opened for
// reading and writing with the given permissions (less the umask). The
// name is set; -1 when none can be made.
int createBeside(const std::string &target, unsigned mode, std::string &name);
// The same beside the file called base in the open folder; name is bare.
int createBesideAt(int folder, const std::string &base, unsigned mode, std::string &name);

// Whether name (a bare file name) is one a ReplacingFile makes; writer is
// then the process that made it.
bool isReplacementName(const std::string &name, long &writer);

// Removes the new files that a reader no longer running left in directory
// (with its trailing separator, or empty for the current one): those made
// by a ReplacingFile whose writer has ended. With only set, just those
// made for that file name (also where createBeside cut a long one short).
// Returns how many were removed.
int sweepReplacements(const std::string &directory, const std::string &only = std::string());

// Sweeps the leftovers made for the file path names, beside its target.
int sweepReplacementsOf(const std::string &path);

#endif
