#include "FilterTestSupport.h"

std::vector<uint8_t> hexBytes(const std::string &hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back((uint8_t)std::stoul(hex.substr(i, 2), nullptr, 16));
    return out;
}

const char *const kE8Program =
    "971b012807069808000000d13a101592ec50cb9920b925f0291915530312ae511035592b6004156d4066ab023449043602523e9700";
const char *const kE8E9Program =
    "841b0128111069808000000d13a101c689d280ac9762855cc905c92f8148c8aa981895728881aac95b0020ab6a03355811a24821b01291f4b8";
const char *const kDeltaProgram = "2f019a4180ec27482f09766dd3ea415b5944e8175ce16c914c4e3f7700";
const char *const kRgbProgram =
    "c5019a4195c9a64dba4b140af49b804c0015a6a807262ac9c48b8662320f8664240666711998cc433331990066883330ccd10e980b333440"
    "0cd14666199a28cc4980b3334500cd18666199a30cc8980b3334604cd10668a520626688334628050f320c4cd14668c50041e48fc8855e02"
    "7cc9268183b09dc2de9c78acd668b40e71dbb249386e022a2c412b109882490314f4e19700";
const char *const kAudioProgram =
    "47019a4195e5720dc26482749324b14006d8384400a8013411dca1ba01990cc4033119a4066622604d9a400d668e60d030401826c1c8f6e6"
    "2613789208e850bc5a07c6e9f520a9a0ed3733473966907019a39bcf258380c1bd30166e233493811609b050183b4dc84c059b88c528e076"
    "9390980b37118a59c480424843a947ee43346047d44a0dbbd359a486ee05094026c9342476a0306a20ea022004a041509e503fe6e1289446"
    "01bd8b40f0681136c9a1923811419ca89510ee50662b00209511040262ac668c6aca2640b2671b4b26cc648a6271a2b8";

std::vector<uint8_t> genericProgram(const FilterCodeWriter &body)
{
    std::vector<uint8_t> code(1, 0);
    for (uint8_t b : body.bytes()) {
        code.push_back(b);
        code[0] ^= b;
    }
    return code;
}

std::vector<uint8_t> ppmFilterRecord(const FilterRecordFields &s, bool newFilter)
{
    FilterCodeWriter w;
    if (s.flags & 0x80)
        w.data(s.number);
    w.data(s.blockStart);
    if (s.flags & 0x20)
        w.data(s.blockLength);
    if (s.flags & 0x10) {
        w.bits(s.registerMask, 7);
        for (int i = 0; i < 7; i++)
            if (s.registerMask & (1u << i))
                w.data(s.registers[i]);
    }
    if (newFilter) {
        w.data((uint32_t)s.code.size());
        w.byteArray(s.code);
    }
    if (s.flags & 0x08) {
        w.data((uint32_t)s.globalData.size());
        w.byteArray(s.globalData);
    }
    const std::vector<uint8_t> &body = w.bytes();
    std::vector<uint8_t> out;
    out.push_back((uint8_t)((s.flags & 0xF8) | 7));
    out.push_back((uint8_t)(body.size() >> 8));
    out.push_back((uint8_t)body.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
