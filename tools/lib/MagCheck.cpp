// mkmag's checks of a magazine's members (see MagCheck.h).
#include "MagCheck.h"

#include <ctype.h>
#include <math.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "Article.h"
#include "File.h"
#include "Image.h"
#include "MagazineConfig.h"
#include "Markup.h"
#include "PictureDecoders.h"
#include "Scheme.h"
#include "Theme.h"
#include "ToolSystem.h"
#include "containr.h"

bool magIsUtf8Beyond7Bit(const std::vector<uint8_t> &bytes)
{
    bool beyond = false;
    for (size_t i = 0; i < bytes.size();) {
        uint8_t c = bytes[i];
        if (c < 0x80) {
            i++;
            continue;
        }
        // Lead byte: the number of continuation bytes and the smallest value
        // the sequence may carry (so overlong forms do not pass).
        size_t more;
        uint32_t value, least;
        if (c >= 0xC2 && c <= 0xDF)
            more = 1, value = c & 0x1F, least = 0x80;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2, value = c & 0x0F, least = 0x800;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3, value = c & 0x07, least = 0x10000;
        else
            return false;
        if (bytes.size() - i - 1 < more)
            return false;
        for (size_t k = 1; k <= more; k++) {
            uint8_t next = bytes[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        beyond = true;
        i += more + 1;
    }
    return beyond;
}

static bool endsWith(const std::string &name, const char *suffix)
{
    size_t n = strlen(suffix);
    return name.size() >= n && strcasecmp(name.c_str() + name.size() - n, suffix) == 0;
}

bool magIsArchiveName(const std::string &name)
{
    return endsWith(name, ".dat");
}

namespace {

std::string withSlashes(std::string name)
{
    for (char &c : name)
        if (c == '\\')
            c = '/';
    return name;
}

// A path as one shell word: quoted unless it is plain.
std::string shellWord(const std::string &path)
{
    bool plain = !path.empty();
    for (unsigned char c : path)
        plain = plain && (isalnum(c) || strchr("/._-+,:@%", c));
    if (plain)
        return path;
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The largest size of a picture's shape that the reader shows whole, as
// ImageMagick's exact geometry ("5792x5792!").
std::string sizeWithinLimit(int64_t width, int64_t height)
{
    double factor = std::min((double)kMaxImageSide / (double)std::max(width, height),
                             sqrt((double)kMaxImagePixels / ((double)width * (double)height)));
    for (;; factor *= 0.9999) {
        int64_t w = std::max<int64_t>(1, llround((double)width * factor));
        int64_t h = std::max<int64_t>(1, llround((double)height * factor));
        if (displayTakes(w, h))
            return std::to_string(w) + "x" + std::to_string(h) + "!";
    }
}

const char *const kNoMainArticle = ": the reader says \"No main article\"";

struct Checker {
    const MagArchive &archive;
    const std::string &dir;
    std::vector<std::string> &out;

    // A member as one shell word, with the folder in front.
    std::string path(const std::string &name) const { return shellWord(folder() + withSlashes(name)); }
    std::string folder() const { return dir.empty() || dir.back() == '/' ? dir : dir + "/"; }

    void startArticle(const std::string &start);
    void themePictures();
    void picture(const MagMember &member);
    void largeJpeg(const MagMember &member, const JpegHeader &header);
    void mask(const std::string &picture, const String &lowered, int width, int height);
};

// The loaded bytes of a file of the open container; empty when it is missing.
std::vector<uint8_t> loadFile(const char *name)
{
    File *file = g_container.find(name);
    uint8_t *data = nullptr;
    uint32_t size = 0;
    std::vector<uint8_t> bytes;
    if (file && file->load(data, size))
        bytes.assign(data, data + size);
    delete[] data;
    return bytes;
}

// The start article read as the layout reads it: its first "article" tag
// names the scheme, whose first theme must be declared and one of whose
// themes must have its background picture.
void Checker::startArticle(const std::string &start)
{
    std::vector<uint8_t> text = loadFile(start.c_str());
    MarkupLexer lexer;
    lexer.init(text.data(), text.size());
    Tag *tag = nullptr;
    for (MarkupToken token; !tag && (token = lexer.next()) != MARKUP_END;) {
        if (token != MARKUP_TAG)
            continue;
        tag = lexer.parseTag();
        if (tag && tag->id != KW_ARTICLE) {
            delete tag;
            tag = nullptr;
        }
    }
    if (!tag) {
        out.push_back(start + ", the start article, has no <article> tag" + kNoMainArticle);
        return;
    }
    String name;
    tag->getLowerString(KW_SCHEME, name);
    delete tag;
    Scheme *scheme = Tree::findAs<Scheme>(g_magazine_config.schemes, name.str);
    Article article(nullptr);
    if (!scheme)
        out.push_back(start + ", the start article, names scheme \"" + name.c_str() +
                      "\", which config.txt does not declare" + kNoMainArticle);
    else if (!article.applyScheme(name.str))
        out.push_back("scheme \"" + std::string(name.c_str()) + "\" of " + start +
                      " names no theme declared in config.txt as its first (<background theme=...>)" +
                      kNoMainArticle);
    else if (!article.themeMask)
        out.push_back("no theme of scheme \"" + std::string(name.c_str()) + "\" of " + start +
                      " has its background picture in " + folder() + kNoMainArticle);
}

// The attributes that name pictures, by the tag of a theme block they are in.
const struct {
    unsigned tag;
    std::vector<unsigned> attributes;
} kThemePictures[] = {
    {KW_THEME, {KW_IMAGE}},
    {KW_OVERLAY, {KW_IMAGE}},
    {KW_SCROLL, {KW_BEGIN, KW_MIDDLE, KW_END}},
    {KW_BUTTON, {KW_NORMAL, KW_SELECTED, KW_PRESSED}},
    {KW_CURSORS, std::vector<unsigned>(Theme::cursorKeywords, Theme::cursorKeywords + CURSOR_COUNT)},
};

// Every picture a theme block of "config.txt" names must be a picture of
// the folder. The blocks are told apart by the reader's own directive
// handling, run on a configuration of its own.
void Checker::themePictures()
{
    std::vector<uint8_t> text = loadFile("config.txt");
    MagazineConfig blocks;
    blocks.reset();
    MarkupLexer lexer;
    lexer.init(text.data(), text.size());
    std::string theme;
    for (MarkupToken token; (token = lexer.next()) != MARKUP_END;) {
        if (token != MARKUP_TAG)
            continue;
        Tag *tag = lexer.parseTag();
        Tag *names = lexer.parseTag();   // the directive takes the values out of the first
        bool before = blocks.state == MagazineConfig::IN_THEME;
        if (tag)
            blocks.handleDirective(*tag);
        // The tag that opens a block, or one inside it (where a "theme" tag means nothing).
        bool inTheme = names && blocks.state == MagazineConfig::IN_THEME && before == (names->id != KW_THEME);
        if (inTheme && !before)
            theme = blocks.currentTheme ? blocks.currentTheme->name.c_str() : "";
        for (const auto &kind : kThemePictures) {
            if (!inTheme || kind.tag != names->id)
                continue;
            for (unsigned attribute : kind.attributes) {
                String value;
                if (!names->getLowerString(attribute, value) || value.isEmpty())
                    continue;
                uint32_t type = fileTypeFromName(value.str);
                std::string said = "theme \"" + theme + "\": <" + keywordName(kind.tag) + " " +
                                   keywordName(attribute) + "=" + value.c_str() + ">: ";
                if (type != FILE_JPEG && type != FILE_BMP && type != FILE_ANI)
                    out.push_back(said + "the reader shows only .jpg, .bmp and .ani pictures");
                else if (!g_container.find(value.str))
                    out.push_back(said + "no such file in " + folder());
            }
        }
        delete tag;
        delete names;
    }
}

// A picture the reader refuses, and the mask the reader would put over it.
void Checker::picture(const MagMember &member)
{
    uint32_t type = fileTypeFromName(member.name.c_str());
    const uint8_t *data = member.data.data();
    size_t size = member.data.size();
    std::string name = withSlashes(member.name);
    String lowered(member.name.c_str());   // as the archive's file table holds it
    lowered.lower();
    DecodedPicture decoded;
    if (type == FILE_JPEG) {
        JpegHeader header;
        if (readJpegHeader(data, size, header) && !displayTakes(header.width, header.height))
            largeJpeg(member, header);
        else if (!decodeJPEG(data, size, false, decoded))
            out.push_back(name + ": the reader cannot decode this JPEG; save it again with: convert " +
                          path(member.name) + " -type TrueColor JPEG:" + path(member.name));
        else
            mask(member.name, lowered, decoded.width, decoded.height);
        return;
    }
    if (type != FILE_BMP)
        return;
    PictureFault fault = checkBMP(data, size);
    BmpInfo info;
    readBmpInfo(data, size, info);
    std::string why = bmpFaultText(fault, info);
    PictureFit fit = fitPicture(FILE_BMP, data, size, 0, 0);
    if (fit.verdict != PictureFit::FITS) {
        std::string resize = sizeWithinLimit(info.width, info.height < 0 ? -(int64_t)info.height : info.height);
        out.push_back(name + " is too large for the reader: " + fit.why + "; save it smaller with: convert " +
                      path(member.name) + " -resize '" + resize + "' -type TrueColor BMP3:" + path(member.name));
    } else if (fault == PICTURE_SIZE) {
        out.push_back(name + ": the reader refuses this BMP: " + why + "; save it smaller");
    } else if (fault != PICTURE_OK) {
        out.push_back(name + ": the reader cannot show this BMP: " + why + "; save it with: convert " +
                      path(member.name) + " -type TrueColor BMP3:" + path(member.name));
    } else if (decodeBMP(data, size, decoded)) {
        mask(member.name, lowered, decoded.width, decoded.height);
    }
}

// A JPEG too large to show whole: the largest size it is drawn at, when
// there is one (decoded at that scale, as the reader would), and how to
// make it show at any size.
void Checker::largeJpeg(const MagMember &member, const JpegHeader &header)
{
    const uint8_t *data = member.data.data();
    size_t size = member.data.size();
    std::string name = withSlashes(member.name), file = path(member.name);
    std::string resize = " -resize '" + sizeWithinLimit(header.width, header.height) + "' ";
    int width = 0, height = 0, shrink = 1;
    DecodedPicture decoded;
    if (jpegLargestShown(data, size, width, height, shrink)) {
        if (!decodeJPEG(data, size, false, decoded, shrink))
            out.push_back(name + ": the reader cannot decode this JPEG; save it again with: convert " + file +
                          " -type TrueColor JPEG:" + file);
        else
            out.push_back(name + ": the reader shows this JPEG only where it is drawn at most " +
                          std::to_string(width) + "x" + std::to_string(height) + " (by an img tag's width and "
                          "height, or in a slide show): it is " + fitPicture(FILE_JPEG, data, size, 0, 0).why +
                          "; to show it at any size, save it smaller with: convert " + file + resize + file);
        return;
    }
    // Told at the smallest scale.
    PictureFit fit = fitPicture(FILE_JPEG, data, size, 1, 1);
    if (fit.verdict == PictureFit::OVER_MEMORY)
        out.push_back(name + " is too large for the reader to decode within its memory limit: " + fit.why +
                      "; save it as a baseline JPEG with: convert " + file + " -interlace none " + file);
    else
        out.push_back(name + " is too large for the reader: " + fit.why + "; save it smaller with: convert " +
                      file + resize + file);
}

// The mask of a picture: its name with "msk" after the last ".", found as
// the reader finds it, used only when it fits.
void Checker::mask(const std::string &picture, const String &lowered, int width, int height)
{
    std::string name = picture.substr(0, picture.rfind('.') + 1) + "msk";
    std::string key = lowered.c_str();
    key = key.substr(0, key.rfind('.') + 1) + "msk";
    File *file = g_container.find(key.c_str());
    if (!file)
        return;
    for (const MagMember &m : archive.members)   // the name as the folder has it
        if (strcasecmp(withSlashes(m.name).c_str(), withSlashes(key).c_str()) == 0)
            name = m.name;
    std::vector<uint8_t> bits = loadFile(key.c_str());
    PictureFault fault = checkMask(bits.data(), bits.size(), width, height);
    if (fault == PICTURE_OK)
        return;
    // Every reason, so that one command mends them all.
    BmpInfo info;
    std::vector<std::string> why;
    std::string size = std::to_string(width) + "x" + std::to_string(height), resize;
    if (!readBmpInfo(bits.data(), bits.size(), info)) {
        why.push_back(bmpFaultText(PICTURE_NOT_BMP, info));
    } else {
        int64_t rows = info.height < 0 ? -(int64_t)info.height : info.height;
        if (info.bitCount != 1)
            why.push_back(std::to_string(info.bitCount) + " bits per pixel, not 1");
        if (info.width != width || rows != height) {
            why.push_back("it is " + std::to_string(info.width) + "x" + std::to_string(rows) + ", the picture " + size);
            resize = " -resize '" + size + "!'";
        } else if (info.height < 0) {
            why.push_back("its rows are stored top first");
        }
    }
    if (why.empty())
        why.push_back(fault == PICTURE_SHORT ? bmpFaultText(fault, info) : "it does not fit the picture");
    std::string reasons;
    for (const std::string &w : why)
        reasons += (reasons.empty() ? "" : "; ") + w;
    out.push_back(withSlashes(name) + ": the reader ignores this mask, so " + withSlashes(picture) +
                  " shows without transparency: " + reasons + "; save it with: convert " + path(name) + resize +
                  " -monochrome BMP3:" + path(name));
}

} // namespace

std::vector<std::string> magWarnings(const MagArchive &archive, const std::string &dir)
{
    std::vector<std::string> warnings;
    Checker check{archive, dir, warnings};
    bool config = false;
    for (const MagMember &m : archive.members)
        config = config || strcasecmp(m.name.c_str(), "config.txt") == 0;
    if (!config)
        warnings.push_back("no config.txt: the reader says \"Cannot load configuration\"");

    std::vector<uint8_t> bytes = archive.build();
    ToolSystem sys(bytes.data(), bytes.size(), "check.dat");
    // What the reader would name on loading, mkmag names in its own words.
    sys.quiet = true;
    System *previous = g_system;
    g_system = &sys;
    if (g_container.open()) {
        if (config && g_magazine_config.load()) {
            std::string start = g_magazine_config.startArticle.c_str();
            if (!g_container.find(start.c_str()))
                warnings.push_back("no " + start + ", the start article config.txt names" + kNoMainArticle);
            else
                check.startArticle(start);
            check.themePictures();
        }
        for (const MagMember &m : archive.members)
            check.picture(m);
        g_magazine_config.deleteTrees();
        g_container.close();
    }
    g_system = previous;

    for (const MagMember &m : archive.members) {
        if (!endsWith(m.name, ".txt") || !magIsUtf8Beyond7Bit(m.data))
            continue;
        std::string converted = check.path(m.name + ".latin1");
        warnings.push_back(withSlashes(m.name) +
                           " is UTF-8, but the reader reads text as Latin-1 (ISO 8859-1); "
                           "convert it with: iconv -f UTF-8 -t LATIN1 " +
                           check.path(m.name) + " > " + converted + " && mv " + converted + " " +
                           check.path(m.name));
    }
    return warnings;
}
