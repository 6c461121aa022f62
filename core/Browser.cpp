#include "Browser.h"

#include <string.h>

#include "Area.h"
#include "Article.h"
#include "Export.h"
#include "History.h"
#include "Link.h"
#include "Messages.h"
#include "SearchIndex.h"
#include "System.h"
#include "Tree.h"
#include "containr.h"
#include "Image.h"
#include "ImageList.h"
#include "MagazineConfig.h"
#include "Playlist.h"
#include "Theme.h"

Browser g_browser;
Article *currentArticle = nullptr;
String statusText;

// ---------------------------------------------------------------------------
// Access to the configuration and the playlist used by the handler.

static MagazineConfig &config() { return g_magazine_config; }
static bool effectsOn() { return config().userFlags[USER_FLAG_EFFECTS - 4] != 0; }
static void toggleEffects()
{
    uint32_t &flag = config().userFlags[USER_FLAG_EFFECTS - 4];
    flag = flag ? 0 : 1;
}
static int magazineMusicSlot() { return config().userFlags[USER_FLAG_MAGAZINE_MUSIC - 4] ? 1 : 0; }


// Releases the picture a slide show preloaded and forgets its position.
static void releaseSlideList(ImageList *list)
{
    if (!list)
        return;
    if (list->next)
        releaseImageListPicture(list->next);
    list->current = nullptr;
    list->next = nullptr;
}

static ImageList *findImageList(const String &name)
{
    if (!config().imageLists)
        return nullptr;
    return static_cast<ImageList *>(Tree::find(config().imageLists, name.str));
}

static uint32_t packPosition(int32_t x, int32_t y) { return makePosition(x, y); }

// Replaces the status bar's text of the shown article, when it has one.
static void statusMessage(const char *text)
{
    if (currentArticle)
        currentArticle->setStatus(text);
}

// ---------------------------------------------------------------------------

int runBrowser(System *system)
{
    memset(&g_browser, 0, sizeof g_browser);
    g_browser.run(system);
    return 0;
}

void Browser::run(System *system)
{
    if (!system)
        return;
    g_system = system;
    if (!g_container.open())
        return;
    if (!config().load())
        return;
    g_system->set_error_message("Cannot setup display");
    if (!g_system->init_display((int)config().width, (int)config().height))
        return;
    // The display opened: the text set for that step is no error.
    g_system->set_error_message(nullptr);

    slideShow = 0;
    continuousScroll = 0;
    busy = 0;
    mouseX = (int32_t)(config().width / 2);
    mouseY = (int32_t)(config().height / 2);
    transition = 1;
    slideList = nullptr;
    searchIndex = nullptr;
    heldCount = 0;
    lastTick = g_system->get_ticks();
    g_system->start_timer(MSG_TICK, 50);
    g_system->post_message(MSG_START, 0);

    for (;;) {
        int msg = 0, param = 0;
        if (g_system->get_message(msg, param)) {
            handleMessage(msg, param);
            if (msg == MSG_END)
                break;
            continue;
        }
        bool stepped = false;
        if (continuousScroll) {
            handleMessage(MSG_NAVIGATE, NAV_STEP);
            stepped = true;
        }
        if (animationDue() && currentArticle && !slideShow)
            animationTick();
        else if (!stepped)
            g_system->wait_event();
    }
    teardown();
}

void Browser::animationTick()
{
    lastTick = g_system->get_ticks();
    currentArticle->autoscrollStep();
    for (Area *area = currentArticle ? currentArticle->areas : nullptr; area; area = area->next)
        area->tick();
    if (g_pointer_image)
        g_pointer_image->advance();
    updateScreen();
}

void Browser::teardown()
{
    g_system->stop_timer(MSG_TICK);
    history.clear();
    currentArticle = nullptr;
    if (slideList) {
        releaseSlideList(slideList);
        slideList = nullptr;
    }
    slideShow = 0;
    if (searchIndex) {
        delete searchIndex;
        searchIndex = nullptr;
    }
    // The configuration's pictures go before the Files they came from.
    config().deleteTrees();
    g_container.close();
    statusText.clear();
    // The audio thread reports a song's end through g_system: silence it first.
    g_system->stop_song(0);
    g_system = nullptr;
}

bool Browser::animationDue()
{
    return (uint32_t)(g_system->get_ticks() - lastTick) > 48;
}

void Browser::pageMetrics(int *a, int *b, int *c, int scale)
{
    uint32_t pages = 0, width = 0, height = 0;
    if (currentArticle)
        currentArticle->pageMetrics(scale, pages, width, height);
    *a = (int)pages;
    *b = (int)width;
    *c = (int)height;
}

// Where the shown article is: a change means the view moved under the pointer.
// The page is told by the history's count of page changes, not by the
// Article's address: a reloaded article may be the same object, or sit where
// the old one was.
namespace {
struct ViewPlace {
    uint32_t page;
    int32_t scroll;
    uint32_t column, theme;
    bool operator==(const ViewPlace &o) const
    {
        return page == o.page && scroll == o.scroll && column == o.column && theme == o.theme;
    }
};

ViewPlace viewPlace()
{
    const Article *a = currentArticle;
    return a ? ViewPlace{history.pageChanges, a->scroll, a->column, a->themeNumber}
             : ViewPlace{history.pageChanges, 0, 0, 0};
}
} // namespace

// Core-only messages may arrive while the queue is drained; they are kept
// and posted again afterwards rather than dropped.
static bool isCoreOnly(int msg)
{
    return msg == MSG_EXIT || msg == MSG_OPEN_MAIN || msg == MSG_END || msg == MSG_SLIDESHOW_DONE;
}

void Browser::hold(int msg)
{
    for (int i = 0; i < heldCount; i++)
        if (held[i] == msg)
            return;
    if (heldCount < (int)(sizeof held / sizeof held[0]))
        held[heldCount++] = msg;
}

void Browser::postHeld(int except)
{
    int count = heldCount;
    heldCount = 0;
    for (int i = 0; i < count; i++)
        if (held[i] != except)
            g_system->post_message(held[i], 0);
}

void Browser::drain()
{
    busy = 1;
    int msg = 0, param = 0;
    while (g_system->get_message(msg, param))
        handleMessage(msg, param);
    busy = 0;
}

void Browser::flushEvents()
{
    drain();
    resendPointer();
    postHeld(0);
}

void Browser::resendPointer()
{
    handleMessage(MSG_MOUSE_MOVE, (int)packPosition(mouseX, mouseY));
}

void Browser::stopSlideShow()
{
    g_system->stop_timer(MSG_SLIDE_TIMER);
    releaseSlideList(slideList);
    slideList = nullptr;
    slideShow = 0;
}

// Returns true when the message was consumed by the running slide show.
bool Browser::slideShowFilter(int msg, int param)
{
    switch (msg) {
    case MSG_MOUSE_DOWN:
    case MSG_RIGHT_DOWN:
    case MSG_WHEEL:
    case MSG_TICK:
        return true;
    case MSG_QUIT_REQUEST:
    case MSG_EXIT:
        // Quitting ends the show for good, its timer included.
        stopSlideShow();
        dispatch(MSG_EXIT, param);
        return true;
    case MSG_SONG_ENDED:
    case MSG_EDGE_DELAY:
        slideShow = 0;
        dispatch(msg, param);
        slideShow = 1;
        return true;
    case MSG_MOUSE_MOVE:
    case MSG_MOUSE_DRAG:
        mouseX = positionX((uint32_t)param);
        mouseY = positionY((uint32_t)param);
        return true;
    default:
        break;
    }
    if (isCoreOnly(msg))
        hold(msg);
    g_system->stop_timer(MSG_SLIDE_TIMER);
    if (msg != MSG_SLIDE_TIMER && slideList) {
        releaseSlideList(slideList);
        slideList = nullptr;
    }
    drain();
    handleMessage(MSG_MOUSE_MOVE, (int)packPosition(mouseX, mouseY));
    if (slideShow && slideList && slideList->step()) {
        postHeld(0);
        return true;
    }
    if (slideShow) {
        slideShow = 0;
        g_system->post_message((int)slideEndMessage, 0);
        postHeld((int)slideEndMessage);
    } else {
        postHeld(0);
    }
    return true;
}

void Browser::handleMessage(int msg, int param)
{
    if (busy) {
        if ((msg >= MSG_PLAY_SONG && msg <= MSG_PRINT) || msg == MSG_EDGE_DELAY) {
            busy = 0;
            handleMessage(msg, param);
            busy = 1;
        } else if (msg == MSG_MOUSE_MOVE || msg == MSG_MOUSE_DRAG) {
            mouseX = positionX((uint32_t)param);
            mouseY = positionY((uint32_t)param);
        } else if (isCoreOnly(msg)) {
            hold(msg);
        } else if (msg == MSG_QUIT_REQUEST || (msg == MSG_BACK && param == 1 && !history.hasOlder())) {
            // A wish to quit is never lost, however fast it follows a page change.
            hold(MSG_QUIT_REQUEST);
        }
        return;
    }
    if (slideShow && slideShowFilter(msg, param))
        return;
    // What the pointer rests on changes when the view moves under it.
    ViewPlace before = viewPlace();
    dispatch(msg, param);
    if (!busy && !slideShow && !(viewPlace() == before))
        repassPointer();
}

void Browser::repassPointer()
{
    // A held button keeps its area: the press, its drags and its release
    // stay together.
    if (!currentArticle || Area::pressed)
        return;
    currentArticle->hoverAgain(mouseX, mouseY);
    updateScreen();
}

void Browser::presentPage()
{
    g_playlist.playPendingSound();
    if (effectsOn() && transition)
        g_system->flip(1, 0, (int)config().fading);
    else
        g_system->flip(0, 0, 0);
    transition = 1;
    if (currentArticle)
        currentArticle->redraw = false;
}

void Browser::updateScreen()
{
    if (currentArticle) {
        if (currentArticle->pageTurnStep()) {
            g_playlist.playPendingSound();
            while (currentArticle && currentArticle->pageTurnStep()) {
            }
        } else if (currentArticle->redraw) {
            g_system->flip(0, 0, 0);
        }
        if (currentArticle)
            currentArticle->redraw = false;
    }
    g_playlist.playPendingSound();
}

void Browser::search()
{
    if (!searchIndex) {
        g_system->indexing_progress((int)g_container.articleCount);
        if (!searchIndex)
            return;
    }
    char *word = nullptr;
    char *fileName = nullptr;
    bool chosen = g_system->search(searchIndex, word, fileName);
    if (chosen && fileName) {
        File *file = static_cast<File *>(Tree::findPath(g_container.root, fileName));
        g_container.lastFound = file;
        Article *article = file ? file->getArticle() : nullptr;
        if (article) {
            article->highlightText(word);
            history.open(fileName);
            presentPage();
        }
    }
    // Settled whatever was chosen. The dialog took the pointer's motion, and
    // the release that opened it queued its old position: where the pointer
    // rests now is asked for once the queue is drained.
    drain();
    int x = 0, y = 0;
    if (g_system->pointer_position(x, y)) {
        mouseX = x;
        mouseY = y;
    }
    resendPointer();
    postHeld(0);
    delete[] word;
    delete[] fileName;
}

void Browser::startMagazine()
{
    g_system->clear_display();
    File *file = static_cast<File *>(Tree::findPath(g_container.root, config().startArticle.str));
    g_container.lastFound = file;
    Article *article = file ? file->getArticle() : nullptr;
    if (!article && g_system->quit_requested()) {
        // A quit cut the layout short: nothing is missing, and the exit
        // already queued ends the run.
        return;
    }
    if (!article) {
        settle();
        g_system->set_error_message("No main article");
        handleMessage(MSG_EXIT, 0);
        return;
    }
    article->applySongs();
    g_system->show_cursor(false);
    slideEndMessage = MSG_OPEN_MAIN;
    slideList = findImageList(config().openingList);
    if (slideList && slideList->step())
        slideShow = 1;
    else
        g_system->post_message(MSG_OPEN_MAIN, 0);
    if (config().immsong)
        g_playlist.play(magazineMusicSlot());
}

void Browser::openMain()
{
    // A quit asked for since the start article was laid out: the reader is
    // ending, and the article is not shown (nor counted as read).
    if (g_system->quit_requested())
        return;
    history.open(config().startArticle.str);
    g_playlist.pendingSound = nullptr;
    if (!config().immsong)
        g_playlist.play(magazineMusicSlot());
    presentPage();
    g_system->show_cursor(true);
    settle();
}

void Browser::dispatch(int msg, int param)
{
    switch (msg) {
    case MSG_NAVIGATE:
        if (currentArticle) {
            // The keys take the focus over from the pointer.
            currentArticle->pointerFocus = false;
            currentArticle->navigate(param);
            updateScreen();
        }
        break;
    case MSG_LINK_NEXT:
    case MSG_LINK_PREVIOUS:
        if (currentArticle) {
            currentArticle->pointerFocus = false;
            if (currentArticle->focusNextLink(msg == MSG_LINK_NEXT))
                g_playlist.queueThemeSound(SOUND_LINK);
            else
                currentArticle->navigate(param);
            updateScreen();
        }
        break;
    case MSG_CONTINUOUS_SCROLL:
        continuousScroll = param != 0;
        break;
    case MSG_FOLLOW_LINK:
        if (currentArticle && currentArticle->focusedLink && currentArticle->focusedLink->follow()) {
            presentPage();
            settle();
        }
        break;
    case MSG_COPY_LINK:
        if (currentArticle && currentArticle->focusedLink) {
            Link *link = currentArticle->focusedLink;
            if (!link->target.isEmpty() && g_system->put_to_clipboard(link->target.str))
                statusMessage("Link copied to clipboard");
        }
        break;
    case MSG_BACK:
        if (param != 1 && !history.hasOlder())
            break;
        if (history.back()) {
            if (currentArticle)
                currentArticle->activate();
            g_playlist.queueThemeSound(SOUND_BACK);
            presentPage();
            settle();
        } else {
            handleMessage(MSG_QUIT_REQUEST, 0);
        }
        break;
    case MSG_QUIT_REQUEST:
        g_playlist.queueThemeSound(SOUND_QUIT);
        g_system->show_cursor(false);
        slideEndMessage = MSG_EXIT;
        slideList = findImageList(config().closingList);
        if (slideList && slideList->step())
            slideShow = 1;
        else
            g_system->post_message(MSG_EXIT, 0);
        break;
    case MSG_EXIT:
        g_playlist.stop();
        if (effectsOn())
            g_system->flip(1, 2, (int)config().fading);
        else
            g_system->clear_display();
        g_system->post_message(MSG_END, 0);
        break;
    case MSG_RELOAD:
        if (history.reload()) {
            updateScreen();
            settle();
        } else if (currentArticle) {
            // Not laid out again: the previous place is shown instead.
            currentArticle->activate();
            presentPage();
            settle();
        } else if (!g_system->quit_requested()) {
            // (A quit that cut the layout short ends the run without the
            // closing show.)
            handleMessage(MSG_QUIT_REQUEST, 0);
        }
        break;
    case MSG_MOUSE_MOVE:
    case MSG_MOUSE_DRAG:
        mouseX = positionX((uint32_t)param);
        mouseY = positionY((uint32_t)param);
        g_system->move_cursor(mouseX, mouseY);
        // fall through
    case MSG_MOUSE_DOWN:
    case MSG_MOUSE_UP:
        if (currentArticle) {
            currentArticle->handleMouse(msg, positionX((uint32_t)param), positionY((uint32_t)param));
            updateScreen();
        }
        break;
    case MSG_RIGHT_DOWN:
        if (currentArticle && currentArticle->cursors[CURSOR_BACK])
            currentArticle->cursors[CURSOR_BACK]->setAsPointer();
        break;
    case MSG_RIGHT_UP: {
        uint32_t page = history.pageChanges;
        handleMessage(MSG_BACK, 0);
        // Nothing to go back to: the page stays, and the back pointer the
        // press showed gives way to the one of what lies under the pointer.
        if (history.pageChanges == page && currentArticle && !busy && !slideShow)
            resendPointer();
        break;
    }
    case MSG_WHEEL:
        if (currentArticle) {
            currentArticle->scrollBy(param);
            updateScreen();
        }
        break;
    case MSG_PLAY_SONG:
        g_playlist.play(param);
        break;
    case MSG_STOP_SONG:
        g_playlist.stop();
        break;
    case MSG_VOLUME:
        g_system->volume_control(param < 0 ? -1 : 1);
        break;
    case MSG_SONG_ENDED:
        g_playlist.play(SONG_ENDED);
        break;
    case MSG_PLAY_MODE:
        g_playlist.mode = (unsigned)param <= 2 ? (uint32_t)param : 1;
        if (currentArticle)
            statusMessage(param == 0 ? "Looping playback selected"
                          : param == 2 ? "Random playback selected"
                                       : "Cyclic playback selected");
        break;
    case MSG_THEME:
        if (currentArticle) {
            Article *article = currentArticle;
            if (article->cursors[CURSOR_BUSY])
                article->cursors[CURSOR_BUSY]->setAsPointer();
            if (article->statusbarArea) {
                statusMessage("Loading. Please wait...");
                g_system->flip(0, 0, 0);
                article->redraw = false;
            }
            if (article->setTheme((uint32_t)param)) {
                article->activate();
                presentPage();
            } else {
                statusMessage("");
                if (article->redraw)
                    g_system->flip(0, 0, 0);
                article->redraw = false;
                // The page stays as it was: the busy pointer gives way.
                repassPointer();
            }
        }
        break;
    case MSG_HELP:
        if (history.open(config().helpArticle.str)) {
            presentPage();
            settle();
        } else {
            repassPointer();
        }
        break;
    case MSG_SEARCH:
        search();
        break;
    case MSG_SAVE_HTML:
        if (currentArticle) {
            saveArticleAsHtml(currentArticle);
            updateScreen();
        }
        break;
    case MSG_TOGGLE_EFFECTS:
        toggleEffects();
        if (currentArticle)
            statusMessage(effectsOn() ? "Visual effects enabled" : "Visual effects disabled");
        break;
    case MSG_REDRAW:
        if (currentArticle)
            currentArticle->redrawAll();
        updateScreen();
        break;
    case MSG_PRINT:
        if (currentArticle) {
            Article *article = currentArticle;
            statusMessage("Sending article to printer...");
            if (article->redraw)
                g_system->flip(0, 0, 0);
            bool printed = g_system->print(article);
            article->redraw = false;
            statusMessage(printed ? "Article sent to printer" : "");
            if (article->redraw)
                g_system->flip(0, 0, 0);
            article->redraw = false;
        }
        break;
    case MSG_START:
        startMagazine();
        break;
    case MSG_OPEN_MAIN:
        openMain();
        break;
    case MSG_EDGE_DELAY:
        g_system->stop_timer(MSG_EDGE_DELAY);
        if (currentArticle)
            currentArticle->edgeTimerPending = false;
        break;
    case MSG_SLIDESHOW_DONE:
        if (currentArticle)
            currentArticle->redrawAll();
        presentPage();
        g_system->show_cursor(true);
        // The pointer comes back where it rests, hovering what lies there.
        settle();
        break;
    case MSG_MOVIE_FRAME:
        if (currentArticle) {
            int sum = 0;
            for (Area *area = currentArticle->areas; area; area = area->next)
                sum += area->nextFrame();
            if (sum > 0)
                currentArticle->redraw = true;
            updateScreen();
        }
        break;
    default:
        break;
    }
}
