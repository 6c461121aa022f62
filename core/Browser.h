// The main loop and the single message handler of the reader.
#ifndef MIRANDOL_BROWSER_H
#define MIRANDOL_BROWSER_H

#include <stdint.h>

#include "Strings.h"

class System;
class Article;
class ImageList;
class SearchIndex;

struct Browser {
    uint8_t continuousScroll;
    uint8_t slideShow;
    uint8_t busy;
    uint32_t slideEndMessage;
    uint32_t transition;
    uint32_t lastTick;
    int32_t mouseX;
    int32_t mouseY;
    ImageList *slideList;
    SearchIndex *searchIndex;

    // Messages that only the core posts, held while the queue is drained
    // so that none is lost; they are posted again after the drain.
    int heldCount;
    int held[8];

    void run(System *system);
    void handleMessage(int msg, int param);
    void presentPage();
    void updateScreen();
    void flushEvents();
    bool animationDue();
    void pageMetrics(int *a, int *b, int *c, int scale);
    void buildSearchIndex();

private:
    void dispatch(int msg, int param);
    bool slideShowFilter(int msg, int param);
    void drain();
    void hold(int msg);
    void postHeld(int except);
    void stopSlideShow();
    void startMagazine();
    void openMain();
    void search();
    void animationTick();
    void teardown();
    void settle() { flushEvents(); }
    // Sends the stored pointer position through the handler as a motion:
    // the pointer is drawn, in the look of the area under it, and that area
    // is hovered and taken for the next press.
    void resendPointer();
    // Passes the last pointer position through the shown article's areas
    // again (hover, status text, capture), as after a motion.
    void repassPointer();
};

extern Browser g_browser;
extern Article *currentArticle;
extern String statusText;

// Runs the reader on the given System; the entry point's one call into the core.
int runBrowser(System *system);

#endif
