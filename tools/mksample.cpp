// Writes the media of the sample magazine into a directory: pictures (BMP
// with 1-bit masks, JPEG), pointer images, WAV sound effects and a small
// ProTracker module. Everything is drawn and synthesised here.
//
//   mksample <output directory>

#include <errno.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

std::string g_out;

// ---------------------------------------------------------------- pictures

struct Picture {
    int width, height;
    std::vector<uint32_t> px; // 0x00RRGGBB
    std::vector<uint8_t> clear; // 1 = transparent (for masks)

    Picture(int w, int h, uint32_t fill = 0) : width(w), height(h), px((size_t)w * h, fill), clear((size_t)w * h, 0) {}
    void set(int x, int y, uint32_t c)
    {
        if (x >= 0 && y >= 0 && x < width && y < height)
            px[(size_t)y * width + x] = c;
    }
    uint32_t get(int x, int y) const { return px[(size_t)y * width + x]; }
    void rect(int x, int y, int w, int h, uint32_t c)
    {
        for (int j = y; j < y + h; j++)
            for (int i = x; i < x + w; i++)
                set(i, j, c);
    }
    void frame(int x, int y, int w, int h, uint32_t c, int t = 1)
    {
        rect(x, y, w, t, c);
        rect(x, y + h - t, w, t, c);
        rect(x, y, t, h, c);
        rect(x + w - t, y, t, h, c);
    }
    void disc(int cx, int cy, int r, uint32_t c)
    {
        for (int j = -r; j <= r; j++)
            for (int i = -r; i <= r; i++)
                if (i * i + j * j <= r * r)
                    set(cx + i, cy + j, c);
    }
};

uint32_t rgb(int r, int g, int b)
{
    auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    return ((uint32_t)clamp(r) << 16) | ((uint32_t)clamp(g) << 8) | (uint32_t)clamp(b);
}

uint32_t mix(uint32_t a, uint32_t b, double t)
{
    auto ch = [&](int s) {
        double x = ((a >> s) & 255) * (1 - t) + ((b >> s) & 255) * t;
        return (int)(x + 0.5);
    };
    return rgb(ch(16), ch(8), ch(0));
}

void verticalGradient(Picture &p, uint32_t top, uint32_t bottom)
{
    for (int y = 0; y < p.height; y++) {
        uint32_t c = mix(top, bottom, p.height > 1 ? (double)y / (p.height - 1) : 0);
        for (int x = 0; x < p.width; x++)
            p.set(x, y, c);
    }
}

// A 5x7 capital font for labels: each glyph is seven rows of five bits.
struct Glyph { char c; uint8_t rows[7]; };
const Glyph kFont[] = {
    {'A', {14, 17, 17, 31, 17, 17, 17}}, {'B', {30, 17, 17, 30, 17, 17, 30}},
    {'C', {14, 17, 16, 16, 16, 17, 14}}, {'D', {30, 17, 17, 17, 17, 17, 30}},
    {'E', {31, 16, 16, 30, 16, 16, 31}}, {'F', {31, 16, 16, 30, 16, 16, 16}},
    {'G', {14, 17, 16, 23, 17, 17, 15}}, {'H', {17, 17, 17, 31, 17, 17, 17}},
    {'I', {14, 4, 4, 4, 4, 4, 14}},      {'J', {7, 2, 2, 2, 2, 18, 12}},
    {'K', {17, 18, 20, 24, 20, 18, 17}}, {'L', {16, 16, 16, 16, 16, 16, 31}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 17, 25, 21, 19, 17, 17}},
    {'O', {14, 17, 17, 17, 17, 17, 14}}, {'P', {30, 17, 17, 30, 16, 16, 16}},
    {'Q', {14, 17, 17, 17, 21, 18, 13}}, {'R', {30, 17, 17, 30, 20, 18, 17}},
    {'S', {15, 16, 16, 14, 1, 1, 30}},   {'T', {31, 4, 4, 4, 4, 4, 4}},
    {'U', {17, 17, 17, 17, 17, 17, 14}}, {'V', {17, 17, 17, 17, 17, 10, 4}},
    {'W', {17, 17, 17, 21, 21, 21, 10}}, {'X', {17, 17, 10, 4, 10, 17, 17}},
    {'Y', {17, 17, 10, 4, 4, 4, 4}},     {'Z', {31, 1, 2, 4, 8, 16, 31}},
    {'0', {14, 17, 19, 21, 25, 17, 14}}, {'1', {4, 12, 4, 4, 4, 4, 14}},
    {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {31, 2, 4, 2, 1, 17, 14}},
    {'4', {2, 6, 10, 18, 31, 2, 2}},     {'5', {31, 16, 30, 1, 1, 17, 14}},
    {'6', {6, 8, 16, 30, 17, 17, 14}},   {'7', {31, 1, 2, 4, 8, 8, 8}},
    {'8', {14, 17, 17, 14, 17, 17, 14}}, {'9', {14, 17, 17, 15, 1, 2, 12}},
    {'<', {2, 4, 8, 16, 8, 4, 2}},       {'>', {8, 4, 2, 1, 2, 4, 8}},
    {'?', {14, 17, 1, 2, 4, 0, 4}},      {'!', {4, 4, 4, 4, 4, 0, 4}},
    {'-', {0, 0, 0, 31, 0, 0, 0}},       {'.', {0, 0, 0, 0, 0, 12, 12}},
    {'+', {0, 4, 4, 31, 4, 4, 0}},       {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph *glyph(char c)
{
    for (const Glyph &g : kFont)
        if (g.c == c)
            return &g;
    return nullptr;
}

int textWidth(const char *text, int scale) { return (int)strlen(text) * 6 * scale - scale; }

void text(Picture &p, int x, int y, const char *s, uint32_t c, int scale = 1)
{
    for (; *s; s++, x += 6 * scale) {
        const Glyph *g = glyph(*s);
        if (!g)
            continue;
        for (int row = 0; row < 7; row++)
            for (int col = 0; col < 5; col++)
                if (g->rows[row] & (16 >> col))
                    p.rect(x + col * scale, y + row * scale, scale, scale, c);
    }
}

void centredText(Picture &p, int cy, const char *s, uint32_t c, int scale)
{
    text(p, (p.width - textWidth(s, scale)) / 2, cy - 7 * scale / 2, s, c, scale);
}

bool writeBytes(const std::string &name, const std::vector<uint8_t> &bytes)
{
    std::string path = g_out + "/" + name;
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "mksample: cannot write %s: %s\n", path.c_str(), strerror(errno));
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fclose(f) == 0 && ok;
    if (!ok)
        fprintf(stderr, "mksample: write failed for %s\n", path.c_str());
    return ok;
}

void put16(std::vector<uint8_t> &b, uint32_t v) { b.push_back(v & 255); b.push_back((v >> 8) & 255); }
void put32(std::vector<uint8_t> &b, uint32_t v) { put16(b, v & 0xFFFF); put16(b, v >> 16); }

// BMP header for the given depth and palette size; bottom-up rows.
std::vector<uint8_t> bmpHeader(int width, int height, int bits, int paletteEntries, uint32_t imageSize)
{
    std::vector<uint8_t> b;
    uint32_t offBits = 14 + 40 + paletteEntries * 4;
    b.push_back('B');
    b.push_back('M');
    put32(b, offBits + imageSize);
    put16(b, 0);
    put16(b, 0);
    put32(b, offBits);
    put32(b, 40);
    put32(b, (uint32_t)width);
    put32(b, (uint32_t)height);
    put16(b, 1);
    put16(b, (uint32_t)bits);
    put32(b, 0);
    put32(b, imageSize);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, (uint32_t)paletteEntries);
    put32(b, 0);
    return b;
}

int rowBytes(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

bool writeBmp24(const std::string &name, const Picture &p)
{
    int stride = rowBytes(p.width, 24);
    std::vector<uint8_t> b = bmpHeader(p.width, p.height, 24, 0, (uint32_t)(stride * p.height));
    for (int y = p.height - 1; y >= 0; y--) {
        size_t start = b.size();
        for (int x = 0; x < p.width; x++) {
            uint32_t c = p.get(x, y);
            b.push_back(c & 255);
            b.push_back((c >> 8) & 255);
            b.push_back((c >> 16) & 255);
        }
        while (b.size() - start < (size_t)stride)
            b.push_back(0);
    }
    return writeBytes(name, b);
}

// An 8- or 4-bit picture: the palette is built from the colours met (at most
// 2^bits of them; further colours take the nearest entry).
bool writeBmpIndexed(const std::string &name, const Picture &p, int bits)
{
    size_t maxColours = (size_t)1 << bits;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> index(p.px.size());
    for (size_t i = 0; i < p.px.size(); i++) {
        uint32_t c = p.px[i];
        size_t k = 0;
        while (k < palette.size() && palette[k] != c)
            k++;
        if (k == palette.size()) {
            if (palette.size() < maxColours) {
                palette.push_back(c);
            } else {
                long best = -1;
                for (size_t j = 0; j < palette.size(); j++) {
                    long dr = (long)((c >> 16) & 255) - (long)((palette[j] >> 16) & 255);
                    long dg = (long)((c >> 8) & 255) - (long)((palette[j] >> 8) & 255);
                    long db = (long)(c & 255) - (long)(palette[j] & 255);
                    long d = dr * dr + dg * dg + db * db;
                    if (best < 0 || d < best) {
                        best = d;
                        k = j;
                    }
                }
            }
        }
        index[i] = (uint8_t)k;
    }
    while (palette.size() < maxColours)
        palette.push_back(0);
    int stride = rowBytes(p.width, bits);
    std::vector<uint8_t> b = bmpHeader(p.width, p.height, bits, (int)maxColours, (uint32_t)(stride * p.height));
    for (uint32_t c : palette) {
        b.push_back(c & 255);
        b.push_back((c >> 8) & 255);
        b.push_back((c >> 16) & 255);
        b.push_back(0);
    }
    for (int y = p.height - 1; y >= 0; y--) {
        std::vector<uint8_t> row((size_t)stride, 0);
        for (int x = 0; x < p.width; x++) {
            uint8_t v = index[(size_t)y * p.width + x];
            if (bits == 8)
                row[(size_t)x] = v;
            else
                row[(size_t)x / 2] |= (x & 1) ? v : (uint8_t)(v << 4);
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return writeBytes(name, b);
}

// The 1-bit mask of a picture: palette black (0) and white (1); a set bit
// marks a transparent pixel.
bool writeMask(const std::string &name, const Picture &p)
{
    int stride = rowBytes(p.width, 1);
    std::vector<uint8_t> b = bmpHeader(p.width, p.height, 1, 2, (uint32_t)(stride * p.height));
    put32(b, 0x000000);
    put32(b, 0xFFFFFF);
    for (int y = p.height - 1; y >= 0; y--) {
        std::vector<uint8_t> row((size_t)stride, 0);
        for (int x = 0; x < p.width; x++)
            if (p.clear[(size_t)y * p.width + x])
                row[(size_t)x / 8] |= (uint8_t)(0x80 >> (x & 7));
        b.insert(b.end(), row.begin(), row.end());
    }
    return writeBytes(name, b);
}

bool writeJpeg(const std::string &name, const Picture &p, int quality = 85)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = (JDIMENSION)p.width;
    cinfo.image_height = (JDIMENSION)p.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row((size_t)p.width * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = (int)cinfo.next_scanline;
        for (int x = 0; x < p.width; x++) {
            uint32_t c = p.get(x, y);
            row[(size_t)x * 3] = (c >> 16) & 255;
            row[(size_t)x * 3 + 1] = (c >> 8) & 255;
            row[(size_t)x * 3 + 2] = c & 255;
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    free(buffer);
    jpeg_destroy_compress(&cinfo);
    return writeBytes(name, bytes);
}

// ---------------------------------------------------------------- the pictures

// A theme background: gradient, a panel for the page, bars for title and
// status, a rail for the scroll bar.
Picture background(uint32_t top, uint32_t bottom, uint32_t panel, uint32_t edge)
{
    Picture p(640, 480);
    verticalGradient(p, top, bottom);
    for (int i = 0; i < 24; i++) // soft diagonal stripes
        for (int y = 0; y < 480; y++) {
            int x = (i * 60 + y / 2) % 700 - 30;
            p.set(x, y, mix(p.get(x < 0 ? 0 : x > 639 ? 639 : x, y), 0xFFFFFF, 0.08));
        }
    p.rect(20, 4, 600, 34, mix(panel, edge, 0.3));
    p.frame(20, 4, 600, 34, edge);
    p.rect(36, 52, 552, 372, panel);
    p.frame(34, 50, 556, 376, edge, 2);
    p.rect(604, 52, 16, 372, mix(panel, 0, 0.3));
    p.rect(20, 440, 600, 34, mix(panel, edge, 0.3));
    p.frame(20, 440, 600, 34, edge);
    return p;
}

Picture slide(uint32_t a, uint32_t b, const char *line1, const char *line2, int seed)
{
    Picture p(640, 480);
    verticalGradient(p, a, b);
    srand((unsigned)seed);
    for (int i = 0; i < 40; i++) {
        int r = 8 + rand() % 40;
        p.disc(rand() % 640, rand() % 480, r, mix(a, 0xFFFFFF, 0.15 + (rand() % 30) / 100.0));
    }
    centredText(p, 200, line1, 0xFFFFFF, 6);
    centredText(p, 300, line2, mix(b, 0xFFFFFF, 0.8), 3);
    return p;
}

// Buttons are narrow, so that the bars keep room for a title with its
// author and for the status text; the light top of the face stays dark
// enough for the label to read at 4.5:1 or better.
const int kButtonWidth = 48, kButtonHeight = 28;

Picture button(const char *label, uint32_t face, uint32_t ink, int state)
{
    const int w = kButtonWidth, h = kButtonHeight;
    Picture p(w, h);
    uint32_t lit = mix(face, 0xFFFFFF, state == 1 ? 0.18 : 0.1);
    uint32_t dark = mix(face, 0, 0.45);
    verticalGradient(p, state == 2 ? dark : lit, state == 2 ? lit : face);
    p.frame(0, 0, w, h, state == 2 ? lit : dark);
    int dx = state == 2 ? 1 : 0;
    text(p, (w - textWidth(label, 1)) / 2 + dx, 10 + dx, label, ink, 1);
    // Rounded corners are transparent.
    const int corner[][2] = {{0, 0}, {1, 0}, {0, 1}};
    for (auto &c : corner) {
        int xs[2] = {c[0], w - 1 - c[0]}, ys[2] = {c[1], h - 1 - c[1]};
        for (int x : xs)
            for (int y : ys)
                p.clear[(size_t)y * w + x] = 1;
    }
    return p;
}

// A 32x32 pointer drawn from a shape function; pixels outside are
// transparent (mask) and black in the picture.
template <class F>
Picture pointer(uint32_t fill, uint32_t outline, F inside)
{
    Picture p(32, 32, 0);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            bool in = inside(x, y);
            bool near = !in && (inside(x - 1, y) || inside(x + 1, y) || inside(x, y - 1) || inside(x, y + 1));
            if (in)
                p.set(x, y, fill);
            else if (near)
                p.set(x, y, outline);
            else
                p.clear[(size_t)y * 32 + x] = 1;
        }
    return p;
}

// The arrow: a head widening downwards and a slanted tail.
bool arrowShape(int x, int y)
{
    bool head = y >= 1 && y <= 15 && x >= 1 && 3 * (x - 1) <= 2 * (y - 1) && x + y <= 24;
    bool tail = y >= 12 && y <= 21 && x >= 4 + (y - 12) / 2 && x <= 6 + (y - 12) / 2;
    return head || tail;
}

bool writePointer(const std::string &base, const Picture &p)
{
    return writeBmpIndexed(base + ".bmp", p, 8) && writeMask(base + ".msk", p);
}

bool pictures()
{
    bool ok = true;
    // Theme backgrounds: two JPEG, one BMP.
    ok &= writeJpeg("classic.jpg", background(rgb(16, 40, 96), rgb(4, 10, 30), rgb(230, 232, 240), rgb(90, 120, 200)));
    ok &= writeJpeg("night.jpg", background(rgb(10, 10, 14), rgb(40, 10, 50), rgb(24, 24, 32), rgb(160, 90, 200)));
    ok &= writeBmp24("paper.bmp", background(rgb(210, 190, 150), rgb(160, 130, 90), rgb(250, 244, 228), rgb(120, 80, 40)));

    // Overlay of the paper theme: a seal in the corner, masked.
    {
        Picture seal(64, 64, 0);
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 64; x++) {
                int dx = x - 32, dy = y - 32;
                int d = dx * dx + dy * dy;
                if (d > 31 * 31)
                    seal.clear[(size_t)y * 64 + x] = 1;
                else
                    seal.set(x, y, d > 27 * 27 ? rgb(120, 20, 20) : rgb(180, 40, 40));
            }
        text(seal, 20, 29, "M2", 0xFFE0A0, 2);
        ok &= writeBmpIndexed("seal.bmp", seal, 8) && writeMask("seal.msk", seal);
    }

    // Slide shows.
    ok &= writeJpeg("intro1.jpg", slide(rgb(20, 40, 120), rgb(0, 0, 20), "MIRANDOL 2", "A SAMPLE MAGAZINE", 1));
    ok &= writeBmp24("intro2.bmp", slide(rgb(120, 40, 20), rgb(20, 0, 0), "WELCOME", "PRESS A KEY TO SKIP", 2));
    ok &= writeJpeg("outro.jpg", slide(rgb(20, 100, 60), rgb(0, 20, 10), "GOODBYE", "THANKS FOR READING", 3));
    ok &= writeJpeg("gallery1.jpg", slide(rgb(100, 20, 120), rgb(10, 0, 20), "GALLERY 1", "GENERATED ART", 4));
    ok &= writeBmpIndexed("gallery2.bmp", slide(rgb(200, 160, 0), rgb(60, 20, 0), "GALLERY 2", "256 COLOURS", 5), 8);

    // Article pictures: a JPEG photo-like pattern, a 4-bit chart, a masked logo.
    {
        Picture p(200, 150);
        for (int y = 0; y < 150; y++)
            for (int x = 0; x < 200; x++) {
                double v = sin(x / 13.0) + sin(y / 9.0) + sin((x + y) / 21.0);
                p.set(x, y, rgb((int)(128 + 40 * v), (int)(110 + 45 * sin(v)), (int)(150 - 35 * v)));
            }
        ok &= writeJpeg("waves.jpg", p);
    }
    {
        Picture p(160, 100, rgb(255, 255, 255));
        const int values[] = {30, 55, 80, 45, 70, 90, 20};
        const uint32_t colours[] = {rgb(200, 0, 0), rgb(0, 160, 0), rgb(0, 0, 200), rgb(200, 160, 0),
                                    rgb(0, 160, 160), rgb(160, 0, 160), rgb(80, 80, 80)};
        for (int i = 0; i < 7; i++)
            p.rect(10 + i * 21, 95 - values[i], 16, values[i], colours[i]);
        p.rect(5, 95, 150, 1, 0);
        ok &= writeBmpIndexed("chart.bmp", p, 4);
    }
    {
        Picture p(96, 96, 0);
        for (int y = 0; y < 96; y++)
            for (int x = 0; x < 96; x++) {
                int dx = x - 48, dy = y - 48;
                if (dx * dx + dy * dy > 46 * 46)
                    p.clear[(size_t)y * 96 + x] = 1;
                else
                    p.set(x, y, mix(rgb(40, 90, 220), rgb(10, 20, 80), (double)y / 95));
            }
        text(p, 25, 38, "M2", 0xFFFFFF, 4);
        ok &= writeBmp24("logo.bmp", p) && writeMask("logo.msk", p);
    }

    // Scroll bar pieces.
    {
        Picture b(16, 16), m(16, 16), e(16, 16);
        verticalGradient(b, rgb(200, 210, 240), rgb(120, 140, 200));
        verticalGradient(m, rgb(120, 140, 200), rgb(120, 140, 200));
        verticalGradient(e, rgb(120, 140, 200), rgb(60, 70, 140));
        for (int i = 0; i < 5; i++) {
            b.rect(7 - i, 5 + i, 2 * i + 2, 1, rgb(20, 30, 80));
            e.rect(7 - i, 10 - i, 2 * i + 2, 1, rgb(20, 30, 80));
        }
        m.rect(7, 0, 2, 16, rgb(90, 100, 170));
        ok &= writeBmp24("sbegin.bmp", b) && writeBmp24("smiddle.bmp", m) && writeBmp24("send.bmp", e);
    }

    // Buttons: normal, selected and pressed looks, with masks.
    struct B { const char *file, *label; };
    const B buttons[] = {{"home", "HOME"}, {"back", "BACK"}, {"help", "HELP"}, {"quit", "QUIT"},
                         {"music", "MUSIC"}, {"look", "LOOK"}, {"show", "SHOW"}, {"find", "FIND"},
                         {"save", "SAVE"}, {"pgup", "PG UP"}, {"pgdn", "PG DN"}};
    for (const B &b : buttons) {
        for (int s = 0; s < 3; s++) {
            static const char *suffix[] = {"", "_sel", "_prs"};
            Picture p = button(b.label, rgb(40, 60, 140), 0xFFFFFF, s);
            std::string base = std::string("btn_") + b.file + suffix[s];
            ok &= writeBmp24(base + ".bmp", p) && writeMask(base + ".msk", p);
        }
    }
    // A text-less "paper" button set for the third theme (8-bit).
    for (int s = 0; s < 3; s++) {
        static const char *names[] = {"btn_next.bmp", "btn_next_sel.bmp", "btn_next_prs.bmp"};
        ok &= writeBmpIndexed(names[s], button("NEXT >", rgb(110, 72, 36), rgb(255, 250, 230), s), 8);
    }

    // The fourteen pointers.
    const uint32_t fill = 0xFFFFFF, line = 0x000000;
    ok &= writePointer("normal", pointer(fill, line, arrowShape));
    // The paper theme's animated arrow: three glowing frames and their script.
    ok &= writePointer("arrow1", pointer(rgb(255, 244, 200), rgb(120, 80, 40), arrowShape));
    ok &= writePointer("arrow2", pointer(rgb(255, 200, 90), rgb(120, 80, 40), arrowShape));
    ok &= writePointer("arrow3", pointer(rgb(230, 120, 40), rgb(120, 80, 40), arrowShape));
    {
        const std::string script = "6 arrow1.bmp\r\n3 arrow2.bmp\r\n2-6 arrow3.bmp\r\n";
        ok &= writeBytes("arrow.ani", std::vector<uint8_t>(script.begin(), script.end()));
    }
    ok &= writePointer("busy", pointer(rgb(255, 220, 0), line, [](int x, int y) {
                           int dx = x - 12, dy = y - 12;
                           return dx * dx + dy * dy <= 100 && !(dx * dx + dy * dy <= 16);
                       }));
    ok &= writePointer("linkup", pointer(rgb(120, 200, 255), line, [](int x, int y) {
                           return (x >= 7 && x <= 11 && y >= 1 && y <= 12) || (x >= 3 && x <= 19 && y >= 10 && y <= 22);
                       }));
    ok &= writePointer("linkdown", pointer(rgb(40, 120, 255), line, [](int x, int y) {
                           return (x >= 7 && x <= 11 && y >= 4 && y <= 12) || (x >= 3 && x <= 19 && y >= 10 && y <= 22);
                       }));
    ok &= writePointer("buttonup", pointer(rgb(160, 255, 160), line, [](int x, int y) {
                           return (x >= 7 && x <= 11 && y >= 1 && y <= 12) || (x >= 3 && x <= 19 && y >= 10 && y <= 22);
                       }));
    ok &= writePointer("buttondown", pointer(rgb(40, 200, 40), line, [](int x, int y) {
                           return (x >= 7 && x <= 11 && y >= 4 && y <= 12) || (x >= 3 && x <= 19 && y >= 10 && y <= 22);
                       }));
    auto vArrow = [](bool up) {
        return [up](int x, int y) {
            int yy = up ? y : 24 - y;
            return yy >= 1 && yy <= 23 && ((yy <= 11 && x >= 12 - yy && x <= 12 + yy) || (yy > 11 && x >= 9 && x <= 15));
        };
    };
    auto hArrow = [](bool left) {
        return [left](int x, int y) {
            int xx = left ? x : 24 - x;
            return xx >= 1 && xx <= 23 && ((xx <= 11 && y >= 12 - xx && y <= 12 + xx) || (xx > 11 && y >= 9 && y <= 15));
        };
    };
    ok &= writePointer("scrollup", pointer(rgb(255, 200, 120), line, vArrow(true)));
    ok &= writePointer("scrolldown", pointer(rgb(255, 160, 60), line, vArrow(false)));
    ok &= writePointer("up", pointer(fill, line, vArrow(true)));
    ok &= writePointer("down", pointer(fill, line, vArrow(false)));
    ok &= writePointer("left", pointer(fill, line, hArrow(true)));
    ok &= writePointer("right", pointer(fill, line, hArrow(false)));
    ok &= writePointer("back", pointer(rgb(255, 255, 160), line, hArrow(true)));
    ok &= writePointer("quit", pointer(rgb(255, 80, 80), line, [](int x, int y) {
                           return x >= 2 && y >= 2 && x <= 22 && y <= 22 && (abs(x - y) <= 2 || abs(x + y - 24) <= 2);
                       }));
    return ok;
}

// ---------------------------------------------------------------- sounds

bool writeWav(const std::string &name, const std::vector<int16_t> &samples, int rate)
{
    std::vector<uint8_t> b;
    uint32_t dataSize = (uint32_t)samples.size() * 2;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + dataSize);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1);           // PCM
    put16(b, 1);           // mono
    put32(b, (uint32_t)rate);
    put32(b, (uint32_t)rate * 2);
    put16(b, 2);
    put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, dataSize);
    for (int16_t s : samples)
        put16(b, (uint16_t)s);
    return writeBytes(name, b);
}

// A sequence of notes (frequency, milliseconds; 0 Hz = noise) with a short
// attack and an exponential decay.
std::vector<int16_t> tones(std::initializer_list<std::pair<double, int>> notes, double level = 0.5, int rate = 22050)
{
    std::vector<int16_t> out;
    uint32_t noise = 12345;
    for (auto &n : notes) {
        int count = rate * n.second / 1000;
        double phase = 0;
        for (int i = 0; i < count; i++) {
            double t = (double)i / rate;
            double env = (i < 40 ? i / 40.0 : 1.0) * exp(-t * 6000.0 / (n.second + 1));
            double v;
            if (n.first <= 0) {
                noise = noise * 1103515245u + 12345u;
                v = ((noise >> 16) & 0x7FFF) / 16384.0 - 1.0;
            } else {
                phase += n.first / rate;
                v = sin(2 * M_PI * phase) + 0.3 * sin(4 * M_PI * phase);
                v /= 1.3;
            }
            out.push_back((int16_t)(v * env * level * 32767));
        }
    }
    return out;
}

bool sounds()
{
    bool ok = true;
    ok &= writeWav("enter.wav", tones({{660, 60}, {880, 90}}), 22050);
    ok &= writeWav("back.wav", tones({{880, 60}, {660, 90}}), 22050);
    ok &= writeWav("quit.wav", tones({{784, 90}, {659, 90}, {523, 180}}), 22050);
    ok &= writeWav("link.wav", tones({{1320, 30}}, 0.35), 22050);
    ok &= writeWav("save.wav", tones({{523, 70}, {659, 70}, {784, 120}}), 22050);
    ok &= writeWav("line.wav", tones({{0, 12}}, 0.2), 22050);
    ok &= writeWav("page.wav", tones({{0, 60}}, 0.25), 22050);
    ok &= writeWav("buttondown.wav", tones({{440, 25}}, 0.4), 22050);
    ok &= writeWav("buttonup.wav", tones({{587, 25}}, 0.4), 22050);
    ok &= writeWav("chime.wav", tones({{1047, 80}, {1319, 80}, {1568, 200}}, 0.4), 22050);
    return ok;
}

// ---------------------------------------------------------------- music

// A four-channel ProTracker module with two synthesised instruments (a soft
// lead and a bass) and a drum of noise, three patterns long.
bool music(const std::string &name, int variant)
{
    std::vector<uint8_t> b;
    auto putName = [&](const char *s, size_t n) {
        for (size_t i = 0; i < n; i++)
            b.push_back(i < strlen(s) ? (uint8_t)s[i] : 0);
    };
    auto be16 = [&](uint32_t v) { b.push_back((v >> 8) & 255); b.push_back(v & 255); };

    // Instruments: 8-bit signed, looped single cycles (lengths in bytes, even).
    std::vector<int8_t> lead(64), bass(32), drum(2400);
    for (int i = 0; i < 64; i++)
        lead[(size_t)i] = (int8_t)(60 * sin(2 * M_PI * i / 64) + 25 * sin(6 * M_PI * i / 64));
    for (int i = 0; i < 32; i++)
        bass[(size_t)i] = (int8_t)(i < 16 ? 80 - i * 10 : -80 + (i - 16) * 10);
    uint32_t noise = 777;
    for (size_t i = 0; i < drum.size(); i++) {
        noise = noise * 1103515245u + 12345u;
        double env = exp(-(double)i / 400.0);
        drum[i] = (int8_t)(((int)((noise >> 16) & 255) - 128) * env);   // signed: -128..127
    }

    putName(variant ? "mirandol theme b" : "mirandol theme a", 20);
    struct Inst { const char *n; const std::vector<int8_t> *d; bool loop; };
    Inst inst[3] = {{"lead", &lead, true}, {"bass", &bass, true}, {"drum", &drum, false}};
    for (int s = 0; s < 31; s++) {
        if (s < 3) {
            putName(inst[s].n, 22);
            be16((uint32_t)inst[s].d->size() / 2);
            b.push_back(0);                     // finetune
            b.push_back(s == 2 ? 64 : 48);      // volume
            be16(0);                            // repeat start
            be16(inst[s].loop ? (uint32_t)inst[s].d->size() / 2 : 1);
        } else {
            putName("", 22);
            be16(0);
            b.push_back(0);
            b.push_back(0);
            be16(0);
            be16(1);
        }
    }
    const int patterns = 3;
    const int order[] = {0, 1, 0, 2};
    b.push_back(4);   // song length
    b.push_back(127);
    for (int i = 0; i < 128; i++)
        b.push_back(i < 4 ? (uint8_t)order[i] : 0);
    b.insert(b.end(), {'M', '.', 'K', '.'});

    // Amiga periods for octaves 1 to 3, C to B.
    const int periods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                             428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                             214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    auto cell = [&](int sample, int note, int effect, int param) {
        int period = note >= 0 ? periods[note] : 0;
        b.push_back((uint8_t)((sample & 0xF0) | ((period >> 8) & 0x0F)));
        b.push_back((uint8_t)(period & 255));
        b.push_back((uint8_t)(((sample & 0x0F) << 4) | (effect & 0x0F)));
        b.push_back((uint8_t)param);
    };
    // Scale degrees of C major in the middle octave.
    const int scale[8] = {12, 14, 16, 17, 19, 21, 23, 24};
    const int melodies[3][16] = {
        {0, 2, 4, 2, 5, 4, 2, 0, 1, 3, 5, 3, 4, 2, 1, -1},
        {4, 5, 7, 5, 4, 2, 0, 2, 3, 4, 5, 4, 2, 1, 0, -1},
        {7, 6, 5, 4, 3, 2, 1, 0, 2, 4, 6, 4, 2, 1, 0, -1}};
    const int roots[3][4] = {{0, 9, 5, 7}, {5, 7, 0, 0}, {9, 5, 7, 0}};
    for (int p = 0; p < patterns; p++) {
        for (int row = 0; row < 64; row++) {
            // Channel 1: lead on every fourth row.
            if (row % 4 == 0) {
                int m = melodies[(p + variant) % 3][row / 4];
                if (m >= 0)
                    cell(1, scale[m] + (variant ? 2 : 0), 0, 0);
                else
                    cell(0, -1, 0xC, 0); // silence
            } else {
                cell(0, -1, 0, 0);
            }
            // Channel 2: bass on every eighth row.
            if (row % 8 == 0)
                cell(2, roots[p][(row / 16) % 4] + (variant ? 2 : 0), 0, 0);
            else
                cell(0, -1, 0, 0);
            // Channel 3: drum on beats.
            if (row % 8 == 4 || (p == 2 && row % 4 == 2))
                cell(3, 24, 0, 0);
            else
                cell(0, -1, 0, 0);
            // Channel 4: harmony a third above, quietly; speed set on row 0.
            if (row == 0 && p == 0)
                cell(0, -1, 0xF, 5);
            else if (row % 8 == 2) {
                int m = melodies[(p + variant) % 3][row / 4];
                if (m >= 0)
                    cell(1, scale[m] + 4, 0xC, 24);
                else
                    cell(0, -1, 0, 0);
            } else {
                cell(0, -1, 0, 0);
            }
        }
    }
    for (auto *d : {&lead, &bass, &drum})
        for (int8_t v : *d)
            b.push_back((uint8_t)v);
    return writeBytes(name, b);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: mksample <output directory>\n");
        return 2;
    }
    g_out = argv[1];
    if (mkdir(g_out.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "mksample: cannot create %s: %s\n", g_out.c_str(), strerror(errno));
        return 1;
    }
    bool ok = pictures();
    ok &= sounds();
    ok &= music("theme.mod", 0);
    ok &= music("ballad.mod", 1);
    if (!ok)
        return 1;
    return 0;
}
