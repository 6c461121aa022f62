#include "Export.h"

#include <stdio.h>
#include <string.h>

#include <map>
#include <string>

#include "Area.h"
#include "Article.h"
#include "Commands.h"
#include "File.h"
#include "FontStyle.h"
#include "MagazineConfig.h"
#include "Markup.h"
#include "Palette.h"
#include "Playlist.h"
#include "Scheme.h"
#include "System.h"
#include "Theme.h"
#include "containr.h"

namespace {

enum Alignment { ALIGN_LEFT = 0, ALIGN_RIGHT = 1, ALIGN_CENTRE = 2, ALIGN_JUSTIFY = 3 };

Alignment alignmentOf(char letter)
{
    switch (letter) {
    case 'l': return ALIGN_LEFT;
    case 'r': return ALIGN_RIGHT;
    case 'b':
    case 'c': return ALIGN_CENTRE;
    default: return ALIGN_JUSTIFY;
    }
}

const char *const paragraphElements[] = {"p", "p align=\"right\"", "p align=\"center\"",
                                         "p align=\"justify\""};

// Tags that become one fixed element; a null text writes nothing at all.
const struct {
    uint32_t id;
    const char *text;
} fixedElements[] = {
    {KW_B_END, "/b"},        {KW_CENTER_END, "/center"}, {KW_FONT_END, "/font"},
    {KW_I_END, "/i"},        {KW_PRE_END, "/pre"},       {KW_TABLE_END, "/table"},
    {KW_U_END, "/u"},        {KW_B, "b"},                {KW_BR, "br"},
    {KW_BRS, "br"},          {KW_CENTER, "center"},      {KW_HR, "hr"},
    {KW_I, "i"},             {KW_PRE, "pre"},            {KW_ROW, "tr"},
    {KW_TR, "tr"},           {KW_U, "u"},                {KW_IMAGEMAP_END, nullptr},
    {KW_IMAP_END, nullptr},  {KW_SPACE, nullptr},
};

// Writes to the current System file and remembers whether every write succeeded.
struct HtmlWriter {
    bool ok = true;

    void bytes(const void *data, size_t size)
    {
        if (size > 0 && !g_system->write_file(data, (int)size))
            ok = false;
    }
    void text(const char *s) { bytes(s, strlen(s)); }
    void element(const std::string &inside)
    {
        text("<");
        bytes(inside.data(), inside.size());
        text(">");
    }
};

// A "txt" extension (exactly, after the last ".") becomes "htm".
std::string htmlName(const char *name)
{
    std::string out = name;
    size_t dot = out.rfind('.');
    if (dot != std::string::npos && out.compare(dot + 1, std::string::npos, "txt") == 0)
        out.replace(dot + 1, std::string::npos, "htm");
    return out;
}

std::string baseName(const String &path) { return path.fileName(); }

void queuePicture(Article *article, String &name)
{
    Article::HtmlImage *node = new (std::nothrow) Article::HtmlImage;
    if (!node)
        return;
    node->name.take(name);
    node->next = article->htmlImages;
    article->htmlImages = node;
}

Article::HtmlImage *takePicture(Article *article)
{
    Article::HtmlImage *node = article->htmlImages;
    if (node) {
        article->htmlImages = node->next;
        node->next = nullptr;
    }
    return node;
}

std::string fontElement(Tag &tag)
{
    std::string face;
    uint32_t size = 0;
    uint32_t colour = COLOUR_NONE;
    String value;
    if (tag.getLowerString(KW_STYLE, value)) {
        FontStyle *style = Tree::findAs<FontStyle>(g_magazine_config.fontStyles, value.c_str());
        if (style) {
            face = style->face.c_str();
            size = style->height;
            colour = style->colour;
        }
    }
    if (tag.getLowerString(KW_FACE, value) || tag.getLowerString(KW_NAME, value))
        face = value.c_str();
    uint32_t dpi = g_magazine_config.userFlag(USER_FLAG_FONT_DPI);
    uint32_t n;
    if (tag.getUnsigned(KW_SIZE, n, 1, 72))
        size = dpi * n / 72;
    else if (dpi > 0 && tag.getUnsigned(KW_HEIGHT, n, 1, dpi))
        size = n;
    tag.getColour(KW_COLOR, colour);
    colour = resolveColour(colour, &g_palette);

    std::string text = "font";
    if (!face.empty())
        text += " face=\"" + face + "\"";
    if (size != 0) {
        char digits[32];
        snprintf(digits, sizeof digits, " size=\"%u\"", size / 4 ? size / 4 : 1u);
        text += digits;
    }
    if (colour != COLOUR_NONE) {
        uint32_t rgb = g_markupSwapRB ? swap24(colour & 0xFFFFFFu) : (colour & 0xFFFFFFu);
        char hex[32];
        snprintf(hex, sizeof hex, " color=\"#%02X%02X%02X\"", (rgb >> 16) & 255, (rgb >> 8) & 255,
                 rgb & 255);
        text += hex;
    }
    return text;
}

// The href of a link tag, or empty when it has no target.
std::string linkHref(Tag &tag)
{
    String target;
    int kind = CMD_NONE;
    if (tag.has(KW_COMMAND)) {
        String command;
        tag.getLowerString(KW_COMMAND, command);
        kind = commandId(command.c_str());
        if (kind == CMD_ARTICLE || kind == CMD_REPLACE || kind == CMD_EXTERNAL)
            tag.getLowerString(KW_PARAM, target);
    } else if (tag.getLowerString(KW_ARTICLE, target)) {
        kind = CMD_ARTICLE;
    } else if (tag.getLowerString(KW_EXTERNAL, target)) {
        kind = CMD_EXTERNAL;
    }
    if (target.isEmpty())
        return std::string();
    if (kind == CMD_EXTERNAL)
        return target.c_str();
    return htmlName(target.fileName());
}

// The img element of a picture tag (queued for copying), or false without a file.
bool pictureElement(Article *article, Tag &tag, std::string &text)
{
    String file;
    if (!tag.getLowerString(KW_FILE, file))
        return false;
    text = "img src=\"" + baseName(file) + "\"";
    String align;
    if (tag.getLowerString(KW_ALIGN, align)) {
        switch (align.c_str()[0]) {
        case 'l': text += " align=\"left\""; break;
        case 'r': text += " align=\"right\""; break;
        case 't':
        case 'j': text += " align=\"top\""; break;
        default: break;
        }
    }
    queuePicture(article, file);
    return true;
}

struct BodyConverter {
    Article *article;
    HtmlWriter &out;
    Alignment alignment = ALIGN_JUSTIFY;
    bool linkOpen = false;
    bool inImageMap = false;

    void closeLink()
    {
        if (linkOpen)
            out.element("/a");
        linkOpen = false;
    }

    void tag(Tag &tag, const MarkupLexer &lexer)
    {
        for (const auto &fixed : fixedElements)
            if (fixed.id == tag.id) {
                if (fixed.text)
                    out.element(fixed.text);
                return;
            }
        std::string text;
        String value;
        switch (tag.id) {
        case KW_LINK_END:
            closeLink();
            return;
        case KW_CELL:
        case KW_TD:
            text = "td";
            if (tag.getLowerString(KW_WIDTH, value))
                text += std::string(" width=\"") + value.c_str() + "\"";
            break;
        case KW_TABLE:
            text = "table";
            if (tag.getLowerString(KW_WIDTH, value))
                text += std::string(" width=") + value.c_str();
            if (tag.has(KW_BORDER))
                text += " border=\"1\"";
            break;
        case KW_FONT:
            text = fontElement(tag);
            break;
        case KW_IMAGEMAP:
        case KW_IMAP:
            inImageMap = true;
            // fall through
        case KW_IMAGE:
        case KW_IMG:
            if (!pictureElement(article, tag, text))
                return;
            break;
        case KW_LINK: {
            closeLink();
            std::string href = linkHref(tag);
            if (href.empty())
                return;
            text = "a href=\"" + href + "\"";
            linkOpen = true;
            break;
        }
        case KW_P:
            if (tag.getLowerString(KW_ALIGN, value))
                alignment = alignmentOf(value.c_str()[0]);
            text = paragraphElements[alignment];
            break;
        default:
            text.assign((const char *)lexer.tokenStart, lexer.tokenLength);
            break;
        }
        out.element(text);
    }
};

Alignment schemeAlignment(Tag &articleTag)
{
    Scheme *scheme = nullptr;
    String name;
    if (articleTag.getLowerString(KW_SCHEME, name))
        scheme = Tree::findAs<Scheme>(g_magazine_config.schemes, name.c_str());
    if (!scheme)
        scheme = Tree::findAs<Scheme>(g_magazine_config.schemes, "?default");
    return scheme ? alignmentOf(scheme->align.c_str()[0]) : ALIGN_JUSTIFY;
}

void showStatus(Article *article, const char *text)
{
    article->setStatus(text);
}

// The bytes of a magazine file named by a scheme (header or footer), or none.
bool loadNamed(const String &name, uint8_t *&data, uint32_t &size)
{
    data = nullptr;
    size = 0;
    if (name.isEmpty())
        return false;
    File *file = static_cast<File *>(Tree::findPath(g_container.root, name.c_str()));
    return file && file->load(data, size);
}

// Writes one picture file beside the article, waiting with the page to be
// put in place; false when it was started but could not be written whole.
bool copyPicture(const std::string &path, const std::string &base)
{
    File *file = static_cast<File *>(Tree::findPath(g_container.root, path.c_str()));
    uint8_t *data;
    uint32_t size;
    if (!file || !file->load(data, size))
        return true;
    bool ok = g_system->create_file(base.c_str(), FILE_IN_SAVE | FILE_TRUNCATE | FILE_HOLD);
    if (ok) {
        HtmlWriter out;
        out.bytes(data, size);
        ok = g_system->commit_file(out.ok);
    }
    delete[] data;
    return ok;
}

// The queued pictures by file name, each name once (however often the
// article shows it); of two paths sharing a name, the one first in the
// article, which is the last in the queue, is written.
std::map<std::string, std::string> picturesToCopy(Article *article, const std::string &articleName)
{
    std::map<std::string, std::string> pictures;
    while (Article::HtmlImage *picture = takePicture(article)) {
        std::string base = baseName(picture->name);
        if (isSaveableName(base.c_str()) && base != articleName)
            pictures[base] = picture->name.c_str();
        delete picture;
    }
    return pictures;
}

} // namespace

bool isSaveableName(const char *name)
{
    if (!name || !*name || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return false;
    for (const unsigned char *p = (const unsigned char *)name; *p; p++)
        if (*p < 32 || *p == 127 || *p == '/' || *p == '\\')
            return false;
    return true;
}

bool writeHtmlBody(Article *article, const uint8_t *data, uint32_t size)
{
    HtmlWriter out;
    MarkupLexer lexer;
    lexer.init(data, size);
    lexer.pre = true;
    lexer.keepBreaks = true;
    lexer.wordsOnly = false;
    BodyConverter converter{article, out};

    // Up to the article tag everything is copied; the tag itself is not.
    bool body = false;
    while (!body) {
        MarkupToken token = lexer.next();
        if (token == MARKUP_END)
            return out.ok;
        if (token != MARKUP_TAG) {
            out.bytes(lexer.tokenStart, lexer.tokenLength);
            continue;
        }
        Tag *tag = lexer.parseTag();
        if (!tag)
            continue;
        if (tag->id == KW_ARTICLE) {
            converter.alignment = schemeAlignment(*tag);
            body = true;
        } else {
            out.element(std::string((const char *)lexer.tokenStart, lexer.tokenLength));
        }
        delete tag;
    }

    for (;;) {
        MarkupToken token = lexer.next();
        if (token == MARKUP_END)
            return out.ok;
        if (token != MARKUP_TAG) {
            if (!converter.inImageMap)
                out.bytes(lexer.tokenStart, lexer.tokenLength);
            continue;
        }
        Tag *tag = lexer.parseTag();
        if (!tag)
            continue;
        if (converter.inImageMap) {
            if (tag->id == KW_IMAGEMAP_END || tag->id == KW_IMAP_END)
                converter.inImageMap = false;
        } else {
            converter.tag(*tag, lexer);
        }
        delete tag;
    }
}

void saveArticleAsHtml(Article *article)
{
    if (!article)
        return;
    File *file = article->file;
    uint8_t *source = nullptr;
    uint32_t sourceSize = 0;
    std::string name = file ? htmlName(file->name.fileName()) : std::string();
    if (!article->saveable || !isSaveableName(name.c_str()) || !file->load(source, sourceSize)) {
        showStatus(article, "Article not saveable");
        return;
    }
    uint8_t *header, *footer;
    uint32_t headerSize, footerSize;
    bool haveHeader = loadNamed(article->header, header, headerSize);
    bool haveFooter = loadNamed(article->footer, footer, footerSize);

    // The page and its pictures wait beside their names and are put in
    // place together once all were written whole: a failed export leaves
    // "save/" as it was. So does a quit asked for meanwhile: the export
    // stops at the next file, and what waits is removed.
    auto going = [] { return !g_system->quit_requested(); };
    bool saved = going() && g_system->create_file(name.c_str(), FILE_IN_SAVE | FILE_TRUNCATE | FILE_HOLD);
    if (saved) {
        HtmlWriter out;
        if (haveHeader)
            out.bytes(header, headerSize);
        else
            out.text("<html><body>\r\n");
        if (!writeHtmlBody(article, source, sourceSize))
            out.ok = false;
        if (haveFooter)
            out.bytes(footer, footerSize);
        else
            out.text("</body></html>\r\n");
        saved = g_system->commit_file(out.ok);
    }
    delete[] source;
    delete[] header;
    delete[] footer;

    for (const auto &picture : picturesToCopy(article, name))
        if (saved)
            saved = going() && copyPicture(picture.second, picture.first);
    saved = g_system->place_files(saved && going());

    if (!saved) {
        showStatus(article, "Could not save the article");
        return;
    }
    std::string status = "Article saved in file " + name;
    showStatus(article, status.c_str());
    g_playlist.pendingSound = g_playlist.themeSounds[SOUND_SAVE];
}
