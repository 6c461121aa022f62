// Test media for the sound tests, generated in memory: tracker modules
// and Ogg Vorbis streams.
#ifndef MIRANDOL_TEST_SOUND_MEDIA_H
#define MIRANDOL_TEST_SOUND_MEDIA_H

#include <cstdint>
#include <vector>

// A one-pattern, four-channel ProTracker module: one looping square-wave
// note held for `rows` rows at one tick per row (20 ms per row).
std::vector<uint8_t> makeMod(int rows);

// A two-channel FastTracker 2 module: one looping square-wave note over a
// 16-row pattern.
std::vector<uint8_t> makeXm();

// An Ogg Vorbis stream of `frames` frames of a sine tone (the same tone in
// every channel).
std::vector<uint8_t> makeOgg(int rate, int channels, int frames, double hz = 441.0,
                             double amplitude = 0.5);

// Decodes a whole Ogg stream from memory as 16-bit little-endian samples.
std::vector<int16_t> decodeOgg(const std::vector<uint8_t> &ogg, int *rate, int *channels);

#endif
