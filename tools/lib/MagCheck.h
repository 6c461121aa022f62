// What mkmag tells an editor about a folder before packing it: the members
// the reader would miss, misread or refuse, found the way the reader finds
// them.
#ifndef MIRANDOL_MAGCHECK_H
#define MIRANDOL_MAGCHECK_H

#include <stdint.h>

#include <string>
#include <vector>

#include "MagWriter.h"

// Whether the bytes are valid UTF-8 holding at least one non-ASCII
// character: such text shows as "cafÃ©" in a reader that reads Latin-1.
bool magIsUtf8Beyond7Bit(const std::vector<uint8_t> &bytes);

// Whether a member is a magazine archive (a "*.dat" file, in any case),
// which never belongs inside another one.
bool magIsArchiveName(const std::string &name);

// One line per problem, without a line end, for the members of the folder
// dir: a missing "config.txt"; a start article that is missing, has no
// "article" tag, names a scheme "config.txt" does not declare or a scheme
// none of whose themes can be shown; a picture a theme names that is not
// there; each BMP, JPEG and ".msk" mask the reader refuses or ignores; each
// ".txt" member written in UTF-8. Pictures and masks are checked by the
// reader's own decoders, and the archive is opened and its configuration
// read by the reader's own code. Fixes name the files under dir.
std::vector<std::string> magWarnings(const MagArchive &archive, const std::string &dir);

#endif
