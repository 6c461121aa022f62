#include "Palette.h"

void Palette::reset()
{
    for (uint32_t i = 0; i < PALETTE_SIZE; i++)
        colours[i] = COLOUR_DEFAULT;
    count = 0;
    next = 0;
}

uint32_t resolveColour(uint32_t colour, const Palette *palette)
{
    if (!isPaletteColour(colour))
        return colour;
    uint32_t index = colour & ~PALETTE_INDEX_BIT;
    if (!palette || index >= PALETTE_SIZE)
        return COLOUR_DEFAULT;
    return palette->colours[index] & 0x00FFFFFFu;
}
