#include "SoundMedia.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

namespace {

void put(std::vector<uint8_t> &v, const void *p, size_t n)
{
    const uint8_t *b = static_cast<const uint8_t *>(p);
    v.insert(v.end(), b, b + n);
}
void putZeros(std::vector<uint8_t> &v, size_t n) { v.insert(v.end(), n, 0); }
void putText(std::vector<uint8_t> &v, const char *text, size_t field)
{
    size_t n = strlen(text);
    put(v, text, n < field ? n : field);
    if (n < field)
        putZeros(v, field - n);
}
void put8(std::vector<uint8_t> &v, unsigned x) { v.push_back((uint8_t)x); }
void putLE16(std::vector<uint8_t> &v, unsigned x) { put8(v, x & 0xFF); put8(v, (x >> 8) & 0xFF); }
void putLE32(std::vector<uint8_t> &v, uint32_t x) { putLE16(v, x & 0xFFFF); putLE16(v, x >> 16); }
void putBE16(std::vector<uint8_t> &v, unsigned x) { put8(v, (x >> 8) & 0xFF); put8(v, x & 0xFF); }

} // namespace

std::vector<uint8_t> makeMod(int rows)
{
    std::vector<uint8_t> m;
    putText(m, "generated", 20);
    for (int i = 0; i < 31; i++) {
        putText(m, i == 0 ? "square" : "", 22);
        if (i == 0) {
            putBE16(m, 16);   // length in words
            put8(m, 0);       // finetune
            put8(m, 64);      // volume
            putBE16(m, 0);    // repeat start
            putBE16(m, 16);   // repeat length
        } else {
            putBE16(m, 0);
            put8(m, 0);
            put8(m, 0);
            putBE16(m, 0);
            putBE16(m, 1);
        }
    }
    put8(m, 1);     // song length
    put8(m, 127);
    putZeros(m, 128);   // order table: pattern 0
    put(m, "M.K.", 4);
    for (int row = 0; row < 64; row++) {
        for (int ch = 0; ch < 4; ch++) {
            uint8_t cell[4] = {0, 0, 0, 0};
            if (row == 0 && ch == 0) {
                cell[0] = 0x00 | (428 >> 8);
                cell[1] = 428 & 0xFF;
                cell[2] = 0x10 | 0x0F;   // sample 1, set speed
                cell[3] = 1;             // one tick per row
            }
            if (row == rows - 1 && rows < 64 && ch == 1) {
                cell[2] = 0x0D;          // pattern break
                cell[3] = 0;
            }
            put(m, cell, 4);
        }
    }
    for (int i = 0; i < 32; i++)
        put8(m, (uint8_t)(int8_t)(i < 16 ? 64 : -64));
    return m;
}

std::vector<uint8_t> makeXm()
{
    std::vector<uint8_t> m;
    put(m, "Extended Module: ", 17);
    putText(m, "generated", 20);
    put8(m, 0x1A);
    putText(m, "mirandol tests", 20);
    putLE16(m, 0x0104);
    putLE32(m, 276);
    putLE16(m, 1);      // song length
    putLE16(m, 0);      // restart
    putLE16(m, 2);      // channels
    putLE16(m, 1);      // patterns
    putLE16(m, 1);      // instruments
    putLE16(m, 1);      // linear frequencies
    putLE16(m, 3);      // speed
    putLE16(m, 125);    // BPM
    putZeros(m, 256);   // order table

    std::vector<uint8_t> pattern;
    for (int row = 0; row < 16; row++) {
        if (row == 0) {
            put8(pattern, 0x83);   // note and instrument follow
            put8(pattern, 49);
            put8(pattern, 1);
        } else {
            put8(pattern, 0x80);
        }
        put8(pattern, 0x80);
    }
    putLE32(m, 9);
    put8(m, 0);
    putLE16(m, 16);
    putLE16(m, (unsigned)pattern.size());
    put(m, pattern.data(), pattern.size());

    size_t start = m.size();
    putLE32(m, 263);
    putText(m, "square", 22);
    put8(m, 0);
    putLE16(m, 1);      // samples
    putLE32(m, 40);     // sample header size
    putZeros(m, 96 + 48 + 48);
    putZeros(m, 2 + 6 + 2 + 4);
    putLE16(m, 0);      // fadeout
    putZeros(m, 263 - (m.size() - start));

    putLE32(m, 32);     // length
    putLE32(m, 0);      // loop start
    putLE32(m, 32);     // loop length
    put8(m, 64);        // volume
    put8(m, 0);         // finetune
    put8(m, 1);         // forward loop, 8-bit
    put8(m, 128);       // panning
    put8(m, 0);         // relative note
    put8(m, 0);
    putText(m, "square", 22);
    int8_t previous = 0;
    for (int i = 0; i < 32; i++) {
        int8_t value = i < 16 ? 64 : -64;
        put8(m, (uint8_t)(int8_t)(value - previous));
        previous = value;
    }
    return m;
}

std::vector<uint8_t> makeOgg(int rate, int channels, int frames, double hz, double amplitude)
{
    std::vector<uint8_t> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.5f) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1234);
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page)) {
        put(out, page.header, page.header_len);
        put(out, page.body, page.body_len);
    }
    const double pi = 3.14159265358979323846;
    int done = 0;
    bool eos = false;
    while (!eos) {
        int n = frames - done;
        if (n > 1024)
            n = 1024;
        if (n > 0) {
            float **buffer = vorbis_analysis_buffer(&vd, n);
            for (int i = 0; i < n; i++) {
                float s = (float)(amplitude * sin(2 * pi * hz * (done + i) / rate));
                for (int c = 0; c < channels; c++)
                    buffer[c][i] = s;
            }
            vorbis_analysis_wrote(&vd, n);
            done += n;
        } else {
            vorbis_analysis_wrote(&vd, 0);
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (!eos && ogg_stream_pageout(&os, &page)) {
                    put(out, page.header, page.header_len);
                    put(out, page.body, page.body_len);
                    if (ogg_page_eos(&page))
                        eos = true;
                }
            }
        }
        if (n <= 0 && !eos) {
            while (ogg_stream_flush(&os, &page)) {
                put(out, page.header, page.header_len);
                put(out, page.body, page.body_len);
                if (ogg_page_eos(&page))
                    eos = true;
            }
            eos = true;
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

namespace {

struct Reader {
    const std::vector<uint8_t> *data;
    size_t pos;
};

size_t readCb(void *ptr, size_t size, size_t nmemb, void *src)
{
    Reader *r = static_cast<Reader *>(src);
    size_t n = size * nmemb;
    size_t left = r->data->size() - r->pos;
    if (n > left)
        n = left;
    memcpy(ptr, r->data->data() + r->pos, n);
    r->pos += n;
    return size ? n / size : 0;
}

} // namespace

std::vector<int16_t> decodeOgg(const std::vector<uint8_t> &ogg, int *rate, int *channels)
{
    std::vector<int16_t> pcm;
    Reader reader{&ogg, 0};
    ov_callbacks cb = {readCb, nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    if (ov_open_callbacks(&reader, &vf, nullptr, 0, cb) < 0)
        return pcm;
    vorbis_info *vi = ov_info(&vf, -1);
    *rate = (int)vi->rate;
    *channels = vi->channels;
    char buffer[4096];
    int bitstream = 0;
    for (;;) {
        long n = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &bitstream);
        if (n <= 0)
            break;
        size_t old = pcm.size();
        pcm.resize(old + n / 2);
        memcpy(pcm.data() + old, buffer, (size_t)n);
    }
    ov_clear(&vf);
    return pcm;
}
