#include "FontStyle.h"

#include "MagazineConfig.h"
#include "Markup.h"

FontStyle::FontStyle(const char *styleName, Tag &tag)
{
    name.set(styleName);
    face.set("arial");
    charset.set("d");

    String value;
    if (tag.getLowerString(KW_INHERIT, value))
        inherit(value.str);
    if (tag.getLowerString(KW_FACE, value) && !value.isEmpty())
        face.take(value);

    // A font resolution of 0 would leave no valid pixel height at all; treat
    // it as 1 so that the clamps below keep a usable range.
    uint32_t dpi = g_magazine_config.userFlag(USER_FLAG_FONT_DPI);
    if (dpi == 0)
        dpi = 1;
    uint32_t number;
    if (tag.getUnsigned(KW_SIZE, number, 1, 72)) {
        uint64_t pixels = (uint64_t)number * dpi / 72;
        if (pixels < 1)
            pixels = 1;
        if (pixels > 0x7FFFFFFF)
            pixels = 0x7FFFFFFF;
        height = (uint32_t)pixels;
    } else if (tag.getUnsigned(KW_HEIGHT, number, 1, dpi)) {
        height = number;
    }
    if (tag.getLowerString(KW_CHARSET, value) && !value.isEmpty())
        charset.take(value);
    uint32_t c;
    if (tag.getColour(KW_COLOR, c))
        colour = c;
    bold = tag.has(KW_B) ? 1 : 0;
    italic = tag.has(KW_I) ? 1 : 0;
    underline = tag.has(KW_U) ? 1 : 0;
    if (tag.getUnsigned(KW_SPACING, number, 0, 128))
        spacing = number;
}

FontStyle::~FontStyle() {}

void FontStyle::inherit(const char *styleName)
{
    FontStyle *from = static_cast<FontStyle *>(Tree::findWhileFilling(g_magazine_config.fontStyles, styleName));
    if (!from || from == this || from->face.isEmpty())
        return;
    face.set(from->face.str);
    charset.set(from->charset.str);
    height = from->height;
    spacing = from->spacing;
    colour = from->colour;
    bold = from->bold;
    italic = from->italic;
    underline = from->underline;
}

int FontStyle::fontFlags() const
{
    return (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0);
}

FontHandle FontStyle::openFont(int *ascent, int *descent) const
{
    // Faces are looked up by bold and italic only: no font file is
    // "underlined", and asking for one would fall back to the default face.
    // Underlines are drawn as lines by whoever draws the text.
    int up = 0, down = 0;
    FontHandle font = g_system->create_font(face.c_str(), (int)height, fontFlags() & FONT_FACE_FLAGS,
                                            charsetCode(charset.str), &up, &down);
    if (ascent)
        *ascent = up;
    if (descent)
        *descent = down;
    return font;
}

int charsetCode(const char *charset)
{
    if (!charset)
        return 0;
    switch (charset[0]) {
    case 'o': return 1;
    case 'e': return 2;
    case 'r': return 3;
    case 't': return 4;
    case 'g': return 5;
    default: return 0;
    }
}
