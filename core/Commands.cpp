#include "Commands.h"

#include <string.h>

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
