// SDLSystem: fonts and text (create_font, get_text_width, out_text,
// install_font) and the font map built during construction.
#include "SDL_System.h"

#include "FontMapping.h"
#include "GUI/GUI.h"
#include "Map/MapArray.h"
#include "Platform.h"
#include "SDLConfig.h"
#include "SDLFont.h"
#include "SDL_Draw.h"
#include "SDL_Hooks.h"
#include "Vector/Vector.h"

#include <SDL.h>

#include <string>
#include <vector>

void SDLSystem::syncFontMap()
{
    if (!fontMapping)
        return;
    if (!fontMap)
        fontMap = MapArray_new(10);
    for (const auto &entry : fontMapping->map().entries())
        MapArray_put(fontMap, entry.first.c_str(), (void *)entry.second.c_str());
}

void SDLSystem_buildFontMap(SDLSystem *system)
{
    Platform *platform = system->platform;
    if (!platform)
        return;
    FontLocations where;
    where.homeDir = platform->homeDir();
    where.separator = platform->pathSeparator();
    where.overridePath = platform->fontOverridePath();
    where.cachePath = platform->fontCachePath();
    where.systemFontDir = platform->systemFontDir();
    where.writeFallback = system->magazineFound;
    DirectoryLister lister = [platform](const std::string &dir, std::vector<std::string> &paths) {
        Vector *names = Vector_create();
        platform->listDirectory(dir.c_str(), names);
        for (int i = 0; i < Vector_size(names); i++)
            paths.push_back((const char *)Vector_get(names, i));
        Vector_deleteAll(names);
    };
    system->fontMapping = new FontMapping(where, lister);
    Vector *paths = system->config ? system->config->getFontPaths() : nullptr;
    for (int i = 0; paths && i < Vector_size(paths); i++) {
        const char *dir = (const char *)Vector_get(paths, i);
        system->fontMapping->build(dir ? dir : "");
    }
    system->fontMapping->writeCache();
    system->fontMapping->buildMap();
    system->syncFontMap();
    SDLGUI::setFontMap(system->fontMap, system->fontMapping);
}

void SDLSystem_releaseDisplayAndFonts(SDLSystem *system)
{
    deleteCachedFonts(system->openFonts);
    if (system->fontMap) {
        SDLGUI::forgetFontMap(system->fontMap);
        MapArray_delete(system->fontMap);
    }
    system->fontMap = nullptr;
    delete system->fontMapping;
    system->fontMapping = nullptr;
    delete system->fadeBuffer;
    system->fadeBuffer = nullptr;
    delete system->scaleCache;
    system->scaleCache = nullptr;
    system->dropBackBuffer();
}

int SDLSystem::install_font(const char *name, int where)
{
    logf("install_font, '%s', from: %i\n", name ? name : "", where);
    if (!fontMapping)
        return 0;
    for (auto copy = unwrittenCopies.begin(); name && copy != unwrittenCopies.end();) {
        if (copy->first.find(name) == std::string::npos) {
            ++copy;
            continue;
        }
        fontMapping->keepInMemory(copy->first, std::move(copy->second));
        copy = unwrittenCopies.erase(copy);
    }
    int count = fontMapping->installFont(name);
    syncFontMap();
    return count;
}

FontHandle SDLSystem::create_font(const char *face, int height, int flags, int charset,
                                  int *ascent, int *descent)
{
    logf("create_font, '%s', height: %i, flags: %x, charset: %i\n", face ? face : "", height,
         flags, charset);
    if (!fontMapping) {
        if (ascent)
            *ascent = 0;
        if (descent)
            *descent = 0;
        return nullptr;
    }
    return (FontHandle)createMappedFont(openFonts, *fontMapping, face, height, flags, verbose(),
                                        ascent, descent);
}

int SDLSystem::get_text_width(const char *text, FontHandle font)
{
    logf("get_text_width: %s\n", text ? text : "");
    return fontTextWidth((SDLFont *)font, text);
}

int SDLSystem::out_text(const char *text, int length, int x, int y, uint32_t colour,
                         FontHandle font)
{
    logf("out_text, '%s', length: %i, x: %i, y: %i, color:%i\n", text ? text : "", length, x, y,
         (int)colour);
    if (!backBuffer)
        return 0;
    return fontOutText((SDLFont *)font, text, length, x, y, SDL_Draw::colourToRGB(colour),
                       backBuffer);
}
