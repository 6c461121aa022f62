// The magazine's own configuration, read from "config.txt" at start-up.
#ifndef MIRANDOL_MAGAZINECONFIG_H
#define MIRANDOL_MAGAZINECONFIG_H

#include "Strings.h"

#include <stddef.h>
#include <stdint.h>

class Tag;
class FontStyle;
class ImageList;
class Scheme;
class Theme;

class MagazineConfig {
public:
    enum State { TOP_LEVEL = 0, IN_IMAGELIST = 2, IN_THEME = 3, IN_SCHEME = 4 };
    enum { USER_FLAG_FIRST = 4, USER_FLAG_COUNT = 8 };

    uint32_t state = TOP_LEVEL;
    uint32_t width = 640;
    uint32_t height = 480;
    uint32_t fading = 1024;
    uint32_t immsong = 0;
    uint32_t userFlags[USER_FLAG_COUNT] = {}; // user flags 4 .. 11
    String startArticle;
    String helpArticle;
    String openingList;
    String closingList;
    String userArticle;
    String userSong;
    FontStyle *fontStyles = nullptr;
    ImageList *imageLists = nullptr;
    Theme *themes = nullptr;
    Scheme *schemes = nullptr;

    // The objects being filled while a block is read.
    ImageList *currentImageList = nullptr;
    Scheme *currentScheme = nullptr;
    Theme *currentTheme = nullptr;

    ~MagazineConfig();

    // Reads "config.txt" from the container; false (with "Cannot load
    // configuration" left as the error text) when it cannot be read.
    bool load();
    // Defaults, the user's settings and the "?default" style, without reading
    // anything (the first steps of load).
    void reset();
    // Reads configuration text already in memory.
    void parse(const uint8_t *text, size_t size);
    // Handles one tag of the configuration.
    void handleDirective(Tag &tag);
    // Adds the article the user named on the command line to the container
    // (name kept as given) and makes it the start article.
    void addUserArticle();
    // Deletes the four trees (Scheme, Theme, ImageList, FontStyle).
    void deleteTrees();

    uint32_t userFlag(int index) const
    {
        return index >= USER_FLAG_FIRST && index < USER_FLAG_FIRST + USER_FLAG_COUNT
                   ? userFlags[index - USER_FLAG_FIRST]
                   : 0;
    }
};

extern MagazineConfig g_magazine_config;

#endif
