// Fuzz target for the PPMd model alone: the input is a run of PPMd blocks
// (flags, heap size, escape byte, coder bytes, coded data). Each block is
// decoded until the model reports damaged data or 256 Ki bytes are out; the next
// block then starts at the current input position. Checks that nothing
// crashes, hangs or grows without bound.
#include <cstdint>

#include "unpack/PpmModel.h"

namespace {

class BytesSource : public PpmByteSource {
public:
    BytesSource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    int readByte() override
    {
        if (pos_ >= size_) {
            exhausted = true;
            return 0;
        }
        return data_[pos_++];
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    BytesSource source(data, size);
    PpmModel model;
    int esc = 2;
    for (int block = 0; block < 4 && !source.exhausted; block++) {
        if (!model.decodeInit(source, esc))
            continue;
        // A well-predicted byte costs the coder a tiny fraction of a bit, so
        // a short input may decode to much output; cut long runs short (a
        // real hang is caught by the fuzzer's timeout).
        long n = 0;
        while (n < (256L << 10) && model.decodeChar() >= 0)
            n++;
    }
    return 0;
}
