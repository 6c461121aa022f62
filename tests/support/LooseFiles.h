// Loose magazine files for tests: written into the working directory and
// entered in the container's file tree, as the container enters the media
// files that lie beside the archive.
#ifndef MIRANDOL_TEST_LOOSE_FILES_H
#define MIRANDOL_TEST_LOOSE_FILES_H

#include <cstdint>
#include <string>
#include <vector>

class File;
class SearchIndex;

// Writes `bytes` to `name` (relative to the working directory; folders in the
// name are made) and adds a loose File of that name, typed by its extension,
// to g_container's tree. Null when the file could not be written.
File *addLooseFile(const std::string &name, const std::vector<uint8_t> &bytes);
File *addLooseFile(const std::string &name, const std::string &text);

// Adds a File of that name to g_container's tree, with nothing on disk.
File *addTreeFile(const char *name);

// Deletes g_container's tree of files and forgets it (and the missing
// pictures it named).
void dropLooseFiles();

// Parses `text` as the magazine's configuration file.
void parseMagazineConfig(const std::string &text);

// Adds an article of that name and text to the index, the text in a new[]
// buffer as File::load hands it over.
void indexArticle(SearchIndex &index, const char *name, const std::string &text);

#endif
