// Lays arbitrary markup out as an article body (after "<article scheme=a>")
// and draws every line through a recording System.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "Article.h"
#include "ArticleLayout.h"
#include "File.h"
#include "Image.h"
#include "MagazineConfig.h"
#include "Token.h"
#include "ToolSystem.h"
#include "containr.h"

namespace {

// Fonts of 8 pixels per byte; drawing calls are counted.
class RecordingSystem : public ToolSystem {
public:
    RecordingSystem() : ToolSystem(nullptr, 0, "none.dat") {}
    size_t calls = 0;
    FontHandle create_font(const char *, int height, int, int, int *ascent, int *descent) override
    {
        *ascent = height * 3 / 4;
        *descent = height - height * 3 / 4;
        return reinterpret_cast<FontHandle>(&calls);
    }
    int get_text_width(const char *text, FontHandle) override
    {
        size_t n = strlen(text);
        return n > 0x0FFFFFFF ? 0x7FFFFFF8 : (int)n * 8;
    }
    int get_user_flag(int index) override { return index == USER_FLAG_FONT_DPI ? 72 : 0; }
    int out_text(const char *, int length, int, int, uint32_t, FontHandle) override
    {
        calls++;
        return length * 8;
    }
    void h_line(int, int, int, uint32_t) override { calls++; }
    void v_line(int, int, int, uint32_t) override { calls++; }
    void fill_rect(int, int, int, int, uint32_t) override { calls++; }
};

const char kConfig[] =
    "<fontstyle name=u size=12 u><scheme name=a><page width=300><background theme=t>"
    "<font style=u><p sp=3 fl=-10></scheme><theme name=t></theme>";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RecordingSystem sys;
    System *previous = g_system;
    g_system = &sys;
    g_magazine_config.reset();
    g_magazine_config.parse((const uint8_t *)kConfig, sizeof kConfig - 1);
    // One picture, already decoded, for img tags naming "p.bmp".
    File picture;
    picture.name.set("p.bmp");
    picture.fileType = FILE_BMP;
    Image *image = new Image(&picture);
    image->width = 40;
    image->height = 30;
    image->references = 1;
    picture.image = image;
    picture.cached = true;
    g_container.root = &picture;

    std::string text = "<article scheme=a>";
    text.append((const char *)data, size);
    {
        ArticleLayout layout(nullptr, text.data(), text.size());
        Article *article = layout.parse(false);
        for (unsigned i = 0; article && i < article->lineCount; i++)
            for (Token *t = article->lines[i].first; t; t = t->next) {
                t->drawNormal(t->x, t->y, COLOUR_NONE);
                t->print(t->x, t->y, t->colour);
            }
        delete article;
    }
    g_container.root = nullptr;
    picture.image = nullptr;
    image->release();
    g_magazine_config.deleteTrees();
    g_system = previous;
    return 0;
}
