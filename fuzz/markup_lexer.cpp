// Cuts arbitrary text with the markup lexer in every mode, parses every tag
// and reads every attribute through each getter.
#include <stddef.h>
#include <stdint.h>

#include "Markup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (int mode = 0; mode < 4; mode++) {
        MarkupLexer lx;
        lx.init(data, size);
        lx.pre = mode == 1 || mode == 2;
        lx.keepBreaks = mode == 2;
        lx.wordsOnly = mode == 3;
        for (;;) {
            MarkupToken t = lx.next();
            if (t == MARKUP_END)
                break;
            if (t == MARKUP_TAG) {
                Tag *tag = lx.parseTag();
                if (!tag)
                    continue;
                for (uint32_t i = 0; i < tag->count; i++) {
                    uint32_t id = tag->attributes[i]->id;
                    uint32_t u;
                    int32_t s;
                    String str;
                    switch ((id + i) % 5) {
                    case 0: tag->getUnsigned(id, u, 0, 1000); break;
                    case 1: tag->getSigned(id, s, -1000, 1000); break;
                    case 2: tag->getSize(id, u, 0, 0xFFFFFFFFu, 0xFFFFFFFFu); break;
                    case 3: tag->getColour(id, u); break;
                    default: tag->getLowerString(id, str); break;
                    }
                }
                delete tag;
            } else if (t == MARKUP_WORD || t == MARKUP_PRE_LINE) {
                String text;
                uint32_t length;
                decodeMarkupText(text, length, lx.tokenStart, lx.tokenLength, lx.tokenColumn);
            }
            if (lx.wordsOnly && lx.tokenLength == 0 && lx.pos >= lx.end)
                break;
        }
    }
    return 0;
}
