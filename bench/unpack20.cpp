// Decompressor speed: the version 2.0 decoder over real archive members, LZ
// and multimedia (audio) ones, member by member beside zlib's inflate of the
// same bytes (compressed at level 9).
#include "BenchMembers.h"

namespace {

const std::vector<BenchMember> &members()
{
    static const std::vector<BenchMember> all =
        loadMembers({ "v20/Rar2.rar", "v20/rar2_lz.rar", "v20/rar2_lz_repeat.rar", "v20/test_v2.rar",
                      "v20-audio/BoatModernEnglish-audio-text-unpack20.rar", "v20-audio/mm.rar" },
                    20);
    return all;
}

const int registered = registerPerMember(members(), "BM_Decode20", "v20");

}  // namespace
