// Named text styles declared by "fontstyle" tags of "config.txt".
#ifndef MIRANDOL_FONTSTYLE_H
#define MIRANDOL_FONTSTYLE_H

#include "System.h"
#include "Tree.h"

class Tag;

class FontStyle : public Tree {
public:
    String face;           // lower-cased face name
    String charset;        // charset letter; only its first character counts
    uint32_t height = 14;  // pixels
    uint32_t spacing = 0;  // extra pixels above text in this style
    uint32_t colour = 0xEFEFEF;
    uint8_t bold = 0;
    uint8_t italic = 0;
    uint8_t underline = 0;

    // Builds a style from a "fontstyle" tag (the tag may carry no attributes).
    FontStyle(const char *styleName, Tag &tag);
    ~FontStyle() override;

    // Copies the look of the named style; nothing when it does not exist or
    // has no face.
    void inherit(const char *styleName);

    // Style bits: 1 bold, 2 italic, 4 underline.
    enum { FONT_BOLD = 1, FONT_ITALIC = 2, FONT_UNDERLINE = 4, FONT_FACE_FLAGS = 3 };
    int fontFlags() const;
    // Opens the style's face (bold and italic select it; underline does not:
    // whoever draws the text draws the underline). Ascent and descent of the
    // font opened go to the pointers given.
    FontHandle openFont(int *ascent = nullptr, int *descent = nullptr) const;
};

// Charset code of a charset letter string: o 1, e 2, r 3, t 4, g 5, else 0.
int charsetCode(const char *charset);

#endif
