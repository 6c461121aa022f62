// The command vocabulary of links and buttons and the executor that runs it.
#include "Commands.h"

#include <string.h>

#include "Area.h"
#include "Article.h"
#include "Browser.h"
#include "File.h"
#include "History.h"
#include "ImageList.h"
#include "Messages.h"
#include "Playlist.h"
#include "System.h"
#include "Theme.h"
#include "containr.h"

// Sorted by byte value; the position is the id.
static const char *const commandNames[] = {
    " ", "a", "b", "e", "f", "h", "i", "linedown", "lineup", "n", "pagedown", "pageup",
    "pn", "pp", "ps", "q", "r", "s", "s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8", "s9",
    "vd", "vu"};

int commandId(const char *name)
{
    if (!name || !*name)
        return CMD_NONE;
    int lo = 0, hi = (int)(sizeof commandNames / sizeof commandNames[0]) - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = strcmp(name, commandNames[mid]);
        if (c == 0)
            return mid;
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    size_t len = strlen(name);
    if (name[0] == 'p' && (len == 2 || len == 3)) {
        unsigned char d1 = (unsigned char)name[1];
        if (d1 < '0' || d1 > '9')
            return CMD_NONE;
        int n = d1 - '0';
        if (len == 3) {
            unsigned char d2 = (unsigned char)name[2];
            if (d2 < '0' || d2 > '9')
                return CMD_NONE;
            n = n * 10 + (d2 - '0');
        }
        if (n <= 31)
            return CMD_SONG_0 + n;
    }
    return CMD_NONE;
}

// Messages of the commands 0..28 that only post; the song commands p0..p31
// follow the table. Zero message: the command acts at once or does nothing.
static const CommandMessage commandMessages[] = {
    {0, 0},                              // " "
    {0, 0},                              // "a"
    {MSG_BACK, 0},                       // "b"
    {0, 0},                              // "e"
    {MSG_SEARCH, 0},                     // "f"
    {MSG_HELP, 0},                       // "h"
    {0, 0},                              // "i"
    {MSG_NAVIGATE, NAV_LINE_DOWN},       // "linedown"
    {MSG_NAVIGATE, NAV_LINE_UP},         // "lineup"
    {MSG_PRINT, 0},                      // "n"
    {MSG_NAVIGATE, NAV_PAGE_DOWN},       // "pagedown"
    {MSG_NAVIGATE, NAV_PAGE_UP},         // "pageup"
    {MSG_PLAY_SONG, SONG_NEXT},          // "pn"
    {MSG_PLAY_SONG, SONG_PREVIOUS},      // "pp"
    {MSG_STOP_SONG, 0},                  // "ps"
    {MSG_QUIT_REQUEST, 0},               // "q"
    {0, 0},                              // "r"
    {MSG_SAVE_HTML, 0},                  // "s"
    {MSG_THEME, 1}, {MSG_THEME, 2}, {MSG_THEME, 3}, {MSG_THEME, 4}, {MSG_THEME, 5},
    {MSG_THEME, 6}, {MSG_THEME, 7}, {MSG_THEME, 8}, {MSG_THEME, 9}, // "s1".."s9"
    {MSG_VOLUME, -1},                    // "vd"
    {MSG_VOLUME, 1},                     // "vu"
};
static_assert(sizeof commandMessages / sizeof commandMessages[0] ==
                  sizeof commandNames / sizeof commandNames[0],
              "one message per command name");

CommandMessage commandMessage(int id)
{
    if (id >= CMD_SONG_0 && id <= CMD_LAST)
        return {MSG_PLAY_SONG, id - CMD_SONG_0};
    if (id < 0 || id >= CMD_SONG_0)
        return {0, 0};
    return commandMessages[id];
}

// The laid-out Article of a file name, or null; the container remembers
// the File found.
static Article *findArticle(const char *name)
{
    File *file = static_cast<File *>(Tree::findPath(g_container.root, name));
    g_container.lastFound = file;
    return file ? file->getArticle() : nullptr;
}

// The message stays while the pointer rests on the link that gave it.
static void articleNotFound(Article *article)
{
    // A quit cut the layout short: the article is there, the reader ending.
    if (g_system->quit_requested())
        return;
    statusText.set("Article not found");
    if (article)
        article->setStatus(statusText.str);
}

// A page of "a" or "r" is on screen: it enters with the theme's sound and
// fades only when the command allows it.
static bool entered(uint32_t effect)
{
    g_playlist.queueThemeSound(SOUND_ENTER);
    g_browser.transition = effect ? 1 : 0;
    return true;
}

bool Article::executeCommand(Article *article, int id, const char *target, uint32_t effect)
{
    if (!target)
        target = "";
    switch (id) {
    case CMD_ARTICLE:
        // A missing target leaves the page and the history as they are.
        if (!Tree::findPath(g_container.root, target) || !history.open(target)) {
            articleNotFound(article);
            return false;
        }
        return entered(effect);
    case CMD_REPLACE:
        if (!findArticle(target)) {
            articleNotFound(article);
            return false;
        }
        // The current entry goes first, so going back later skips it.
        history.back();
        history.open(target);
        return entered(effect);
    case CMD_EXTERNAL:
        g_system->open_link(target);
        return false;
    case CMD_IMAGELIST:
        ImageList::start(g_browser, target, MSG_SLIDESHOW_DONE);
        return false;
    default: {
        CommandMessage posted = commandMessage(id);
        if (posted.message)
            g_system->post_message(posted.message, posted.param);
        return false;
    }
    }
}
