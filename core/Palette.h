// Colour values and the 256-entry palettes of themes.
//
// A colour value is 0x00RRGGBB, or a palette index with bit 31 set, or
// 0x7FFFFFFF for none. Every drawer turns values into RGB through resolveColour, the
// one place where a palette is indexed.
#ifndef MIRANDOL_PALETTE_H
#define MIRANDOL_PALETTE_H

#include <stdint.h>

enum : uint32_t {
    PALETTE_INDEX_BIT = 0x80000000u,
    COLOUR_DEFAULT = 0xEFEFEFu,
    PALETTE_SIZE = 256
};

// A palette block: entries, the number of entries set, and the index the
// next "pal" colour goes to. Copied whole between themes and the screen.
struct Palette {
    uint32_t colours[PALETTE_SIZE];
    uint32_t count;
    uint32_t next;

    Palette() { reset(); }
    void reset();
};

// Palette slot of an index colour; indexes past the palette end at its last
// entry, so no value can read beyond the 256 entries.
inline uint32_t paletteSlot(uint32_t colour)
{
    uint32_t index = colour & ~PALETTE_INDEX_BIT;
    return index < PALETTE_SIZE ? index : PALETTE_SIZE - 1;
}

inline bool isPaletteColour(uint32_t colour) { return (colour & PALETTE_INDEX_BIT) != 0; }

// The RGB value a colour draws with: palette indexes are looked up in the
// given palette; an index past the palette, or no palette, gives the default
// colour (the palette's start value). Direct colours and none pass unchanged.
uint32_t resolveColour(uint32_t colour, const Palette *palette);

#endif
