// Animated mouse pointers: a ".ani" script of the magazine lists still
// pictures, each with a display time in main-loop ticks (fixed or random).
#ifndef MIRANDOL_ANIIMAGE_H
#define MIRANDOL_ANIIMAGE_H

#include <stdint.h>

#include "Image.h"

struct ANIFrame {
    Image *image;    // one reference held
    uint32_t first;  // ticks
    uint32_t last;   // ticks, never below first
};

class ANIImage : public Image {
public:
    enum : uint32_t {
        FRAME_STEP = 16,   // the frame array starts with and grows by this many
        MAX_FRAMES = 256   // lines beyond this add no frame
    };

    // Builds the frames from the script that is the owner file itself. The
    // frames are still pictures only: a script naming itself or another
    // script adds no frame for that line, so scripts can never recurse.
    ANIImage(File *owner, const char *name);
    ~ANIImage() override;

    void setAsPointer() override;
    Image *getFrame(int index) override;
    unsigned getFrameDuration(int index) override;
    void advance() override;

    ANIFrame *frames = nullptr;  // owned, script order
    uint32_t count = 0;
    uint32_t capacity = 0;

private:
    void addFrame(const char *name, uint32_t first, uint32_t last);
};

// The program's one random generator: seeded from get_ticks on the first draw.
uint32_t randomNumber();
// A number below range (0 when range is 0), drawn from randomNumber.
uint32_t randomBelow(uint32_t range);

// The shared pointer animation state: every animated pointer continues from it.
struct PointerAnimation {
    uint32_t frameIndex;
    uint32_t tickCount;
    uint32_t displayTime;
};
extern PointerAnimation g_pointer_animation;

#endif
