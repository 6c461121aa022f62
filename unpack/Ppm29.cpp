// The PPMd model as the version 2.9 decoder's PPMd extension: packed bytes come
// from the unpacker's input buffer, refilled as the LZ decoder refills it.
#include "PpmModel.h"
#include "Unpack.h"

namespace {

// Output from which a model is likely to fill megabytes of its heap.
const int64_t kLongOutput = int64_t(1) << 20;

class Ppm29Model : public Ppm29, private PpmByteSource {
public:
    bool decodeInit(Unpacker &u, int32_t &escChar) override
    {
        unpacker_ = &u;
        exhausted = false;
        int esc = escChar;
        bool ok = model_.decodeInit(*this, esc, u.outLeft - u.outWritten >= kLongOutput);
        escChar = esc;
        return ok;
    }

    int decodeChar() override { return model_.decodeChar(); }
    int decodeRun(uint8_t *out, int max, int stop, const int32_t *inPos, const int32_t *border, int &last) override
    {
        return model_.decodeRun(out, max, stop, inPos, border, last);
    }

private:
    // One byte at the input position. Past the last packed byte the model
    // gets zeros and the block fails instead of reading stale buffer bytes.
    int readByte() override
    {
        Unpacker &u = *unpacker_;
        if (u.inPos > kInBufSize - kRefillMargin || u.inPos >= u.inTop)
            u.refillInput();
        if (u.inPos >= u.inTop) {
            exhausted = true;
            return 0;
        }
        return u.inBuf[u.inPos++];
    }

    Unpacker *unpacker_ = nullptr;
    PpmModel model_;
};

}  // namespace

std::unique_ptr<Ppm29> createPpm29()
{
    return std::unique_ptr<Ppm29>(new Ppm29Model);
}
