#include "Article.h"

#include "Area.h"
#include "Browser.h"
#include "File.h"

#include <new>

#include "Markup.h"
#include "MagazineConfig.h"
#include "Playlist.h"
#include "Scheme.h"
#include "System.h"
#include "Theme.h"
#include "containr.h"

Palette g_palette;

Article::Article(File *owner) : file(owner) {}

Article::~Article()
{
    delete areas;
    freeLayout();
}

void Article::navigate(int) {}
bool Article::focusNextLink(bool) { return false; }
void Article::handleMouse(int, int, int) {}
void Article::scrollBy(int) {}
bool Article::setTheme(int) { return false; }
bool Article::applyScheme(const char *schemeName)
{
    Scheme *scheme = static_cast<Scheme *>(Tree::find(g_magazine_config.schemes, schemeName));
    if (!scheme)
        return false;
    for (int n = 0; n < SONG_SLOTS; n++)
        songs[n].set(scheme->songs[n].str);
    windowTitle.set(scheme->title.str);
    // Page geometry and scrolling, read by the layout and the view.
    header.set(scheme->header.str);
    footer.set(scheme->footer.str);
    pageWidth = (int)scheme->pageWidth;
    columns = scheme->columns;
    columnGap = (int)scheme->columnSpacing;
    columnWidth = (int)scheme->columnWidth();
    lineStep = (int)scheme->scrollLine;
    pageOverlap = (int)scheme->scrollPage;
    scrollOnHover = scheme->autoscroll != 0;
    animDuration = (int)scheme->scrollSpeed;
    edgeDelay = (int)scheme->edgeDelay;
    edgeWidth = (int)scheme->scrollTolerance;
    linkMargin = (int)scheme->linkTolerance;
    loopMask = scheme->loopMask;
    noloopMask = scheme->noloopMask;
    themeMask = 0;
    for (int n = 1; n < THEME_SLOTS; n++) {
        themes[n] = static_cast<Theme *>(Tree::find(g_magazine_config.themes, scheme->backgrounds[n].str));
        if (themes[n] && g_container.find(themes[n]->background.str))
            themeMask |= 1u << n;
    }
    return themes[1] != nullptr;
}

void Article::activate()
{
    if (file)
        file->visited = true;
    Theme *theme = themeNumber < THEME_SLOTS ? themes[themeNumber] : nullptr;
    if (theme) {
        g_palette = theme->palette;
        for (int i = 0; i < Playlist::THEME_SOUNDS && i < SOUND_COUNT; i++) {
            File *sound = g_container.find(theme->sounds[i].str);
            g_playlist.themeSounds[i] = sound ? sound->getSound() : nullptr;
        }
    }
    applySongs();
    g_system->set_window_title(windowTitle.isEmpty() ? defaultMagazineTitle() : windowTitle.c_str());
    if (statusBar)
        statusBar->setText("");
}
void Article::redrawAll() {}
bool Article::pageTurnStep() { return false; }
void Article::autoscrollStep() {}
void Article::highlightText(const char *) {}
void Article::applySongs()
{
    g_playlist.applySongs(songs, loopMask, noloopMask);
}

void Article::pageMetrics(int *a, int *b, int *c, int)
{
    *a = *b = *c = 0;
}

// The first theme comes with the article view; until then the article
// keeps the theme it has.
void Article::finishLayout()
{
    if (unsorted && lineCount > 1)
        sortLines(0, (int)lineCount - 1);
    unsorted = false;
}
