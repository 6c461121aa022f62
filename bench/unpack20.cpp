// Decompressor speed: the version 2.0 decoder over real archive members, LZ
// and multimedia (audio) ones, beside zlib's raw inflate and libdeflate's raw
// decoder of the same bytes (see BenchMembers.h).
#include "BenchMembers.h"

namespace {

const int registered = [] {
    registerSet("BM_Decode20", "real",
                loadMembers({ "v20/Rar2.rar:exe\\test.exe", "v20/Rar2.rar:jpg\\test.jpg", "v20/Rar2.rar:????.txt",
                              "v20/rar2_lz.rar:PROSE.TXT", "v20/test_v2.rar:p5.bin",
                              "v20-audio/BoatModernEnglish-audio-text-unpack20.rar:BoatModernEnglish.wav",
                              "v20-audio/mm.rar:1.M" }));
    registerSet("BM_Decode20", "synthetic", loadMembers({ "v20/rar2_lz_repeat.rar:REPEAT.TXT" }));
    return 0;
}();

}  // namespace
