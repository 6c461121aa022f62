// Fuzz target for filter records and the filtered flush. The input is a
// script: byte 0 then a record in the PPMd record form (first byte, length,
// body) follows; byte n > 0 puts the next n input bytes into the window;
// after every step the window is flushed when enough is pending. Checks that
// nothing is written past the output and that the run stays bounded.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "unpack/Unpack.h"

namespace {

class ScriptPpm : public Ppm29 {
public:
    ScriptPpm(const uint8_t *data, size_t size, size_t &pos) : data_(data), size_(size), pos_(pos) {}
    bool decodeInit(Unpacker &, int32_t &) override { return false; }
    int decodeChar() override { return pos_ < size_ ? data_[pos_++] : -1; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t &pos_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint32_t outSize = (uint32_t)data[0] | ((uint32_t)data[1] << 8);
    const size_t guard = 32;
    std::vector<uint8_t> out(outSize + guard, 0xA5);
    memset(out.data(), 0, outSize);
    try {
        UnpackIo io = { nullptr, 0, out.data(), outSize };
        Unpacker u(&io);
        u.filters = createFilters29();
        u.init(nullptr);
        u.setOutputSize(outSize);
        size_t pos = 2;
        ScriptPpm ppm(data, size, pos);
        while (pos < size && !u.outputDone()) {
            uint8_t op = data[pos++];
            if (op == 0) {
                if (!u.filters->readFilterPpm(u, ppm))
                    break;
            } else {
                for (uint32_t i = 0; i < op && pos < size; i++) {
                    u.window[u.outPos] = data[pos++];
                    u.outPos = (u.outPos + 1) & kWindowMask;
                }
            }
            if (((u.flushedPos - u.outPos) & kWindowMask) < kFlushMargin + 256 && u.flushedPos != u.outPos)
                u.flush29();
        }
        if (!u.outputDone())
            u.flush29();
        if (io.destinationLeft > outSize)
            abort();
    } catch (int) {
    }
    for (size_t i = outSize; i < out.size(); i++)
        if (out[i] != 0xA5)
            abort();
    return 0;
}
