// Message codes shared by the platform's event translation, the timers and
// the core's message handler. A message is a code and one integer parameter.
#ifndef MIRANDOL_MESSAGES_H
#define MIRANDOL_MESSAGES_H

enum MessageCode {
    MSG_NONE = 0,
    MSG_NAVIGATE = 4,
    MSG_LINK_NEXT = 5,
    MSG_LINK_PREVIOUS = 7,
    MSG_CONTINUOUS_SCROLL = 8,
    MSG_FOLLOW_LINK = 9,
    MSG_COPY_LINK = 10,
    MSG_BACK = 11,
    MSG_QUIT_REQUEST = 12,
    MSG_EXIT = 13,
    MSG_RELOAD = 14,
    MSG_MOUSE_MOVE = 15,
    MSG_MOUSE_DRAG = 16,
    MSG_MOUSE_DOWN = 17,
    MSG_MOUSE_UP = 18,
    MSG_RIGHT_DOWN = 19,
    MSG_RIGHT_UP = 20,
    MSG_WHEEL = 21,
    MSG_PLAY_SONG = 22,
    MSG_STOP_SONG = 23,
    MSG_VOLUME = 24,
    MSG_SONG_ENDED = 25,
    MSG_PLAY_MODE = 26,
    MSG_THEME = 27,
    MSG_HELP = 28,
    MSG_SEARCH = 29,
    MSG_SAVE_HTML = 30,
    MSG_TOGGLE_EFFECTS = 31,
    MSG_REDRAW = 32,
    MSG_PRINT = 33,
    MSG_SLIDE_MISSING = 34,
    MSG_START = 35,
    MSG_OPEN_MAIN = 36,
    MSG_END = 37,
    MSG_EDGE_DELAY = 38,
    MSG_TICK = 39,
    MSG_SLIDE_TIMER = 40,
    MSG_SLIDESHOW_DONE = 41,
    MSG_MOVIE_FRAME = 42
};

// Parameters of MSG_NAVIGATE.
enum NavigationCode {
    NAV_LINE_UP = 1,
    NAV_LINE_DOWN = 2,
    NAV_LEFT = 3,
    NAV_RIGHT = 4,
    NAV_STEP = 5,
    NAV_PAGE_UP = 6,
    NAV_PAGE_DOWN = 7,
    NAV_HOME = 8,
    NAV_END = 9
};

// Special parameters of MSG_PLAY_SONG.
enum {
    SONG_NEXT = 33,
    SONG_PREVIOUS = 34,
    SONG_ENDED = 35
};

#endif
