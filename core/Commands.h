// Command names of links and buttons and their ids.
#ifndef MIRANDOL_COMMANDS_H
#define MIRANDOL_COMMANDS_H

enum CommandIdRange {
    CMD_NONE = 0,
    CMD_ARTICLE = 1,      // "a"
    CMD_BACK = 2,         // "b"
    CMD_EXTERNAL = 3,     // "e"
    CMD_FIND = 4,         // "f"
    CMD_HELP = 5,         // "h"
    CMD_IMAGELIST = 6,    // "i"
    CMD_LINEDOWN = 7,
    CMD_LINEUP = 8,
    CMD_PRINT = 9,        // "n"
    CMD_PAGEDOWN = 10,
    CMD_PAGEUP = 11,
    CMD_NEXT_SONG = 12,   // "pn"
    CMD_PREV_SONG = 13,   // "pp"
    CMD_STOP_SONG = 14,   // "ps"
    CMD_QUIT = 15,        // "q"
    CMD_REPLACE = 16,     // "r"
    CMD_SAVE = 17,        // "s"
    CMD_THEME_1 = 18,     // "s1" .. "s9" are 18 .. 26
    CMD_VOLUME_DOWN = 27, // "vd"
    CMD_VOLUME_UP = 28,   // "vu"
    CMD_SONG_0 = 29,      // "p0" .. "p31" are 29 .. 60
    CMD_LAST = 60
};

// What executing a command that only posts a message posts.
struct CommandMessage {
    int message; // 0: the command does not post
    int param;
};

// The message posted for a command id; {0, 0} for the commands that act at
// once ("a", "e", "i", "r"), for none and for ids out of range.
CommandMessage commandMessage(int id);

// Id of a command name (already lower-cased by its reader); 0 for an empty
// or unknown name.
int commandId(const char *name);

#endif
