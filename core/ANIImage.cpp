#include "ANIImage.h"

#include <new>

#include "Browser.h"
#include "File.h"
#include "MagazineConfig.h"
#include "Strings.h"
#include "TextReader.h"
#include "containr.h"

PointerAnimation g_pointer_animation = {0, 0, 0};

namespace {

bool randomSeeded = false;
uint32_t randomSeed = 0;

bool effectsOn() { return g_magazine_config.userFlag(USER_FLAG_EFFECTS) != 0; }

// first, or first plus a random number of ticks below last - first.
uint32_t displayTime(const ANIFrame &frame)
{
    if (frame.last == frame.first)
        return frame.first;
    return frame.first + randomBelow(frame.last - frame.first);
}

} // namespace

uint32_t randomNumber()
{
    if (!randomSeeded) {
        randomSeed = g_system->get_ticks();
        randomSeeded = true;
    }
    randomSeed *= 134775813u;
    return randomSeed;
}

uint32_t randomBelow(uint32_t range)
{
    // The generator has no addend, so its low bits repeat with a short
    // period (the lowest two never change): the high bits choose.
    return (uint32_t)(((uint64_t)randomNumber() * range) >> 32);
}

ANIImage::ANIImage(File *file, const char *name) : Image(file)
{
    failed = true;
    frames = new (std::nothrow) ANIFrame[FRAME_STEP];
    if (!frames)
        return;
    capacity = FRAME_STEP;
    TextReader script(name);
    String line;
    while (script.readLine(line)) {
        unsigned first, last;
        parseNumberRange(line.str, first, last);
        if (first != 0)
            addFrame(line.str, first, last);
    }
    if (count > 0) {
        failed = false;
        surface = frames[0].image->surface;
        width = frames[0].image->width;
        height = frames[0].image->height;
    }
}

ANIImage::~ANIImage()
{
    // The surface is frame 0's: the base destructor must not unload it.
    surface = nullptr;
    for (uint32_t i = 0; i < count; i++)
        frames[i].image->release();
    delete[] frames;
    if (owner && owner->image == this) {
        owner->cached = false;
        owner->image = nullptr;
    }
}

void ANIImage::addFrame(const char *name, uint32_t first, uint32_t last)
{
    if (count >= MAX_FRAMES)
        return;
    File *file = static_cast<File *>(Tree::findPath(g_container.root, name));
    if (!file || file == owner || (file->fileType != FILE_JPEG && file->fileType != FILE_BMP))
        return;
    Image *image = file->getImage();
    if (!image)
        return;
    if (count == capacity) {
        ANIFrame *grown = new (std::nothrow) ANIFrame[capacity + FRAME_STEP];
        if (!grown) {
            image->release();
            return;
        }
        for (uint32_t i = 0; i < count; i++)
            grown[i] = frames[i];
        delete[] frames;
        frames = grown;
        capacity += FRAME_STEP;
    }
    frames[count++] = {image, first, last};
}

void ANIImage::setAsPointer()
{
    PointerAnimation &state = g_pointer_animation;
    if (count == 0)
        return;
    if (state.frameIndex >= count) {
        // A pointer with fewer frames than the one before starts afresh at
        // its first frame rather than leaving the old one on screen.
        state.frameIndex = 0;
        state.tickCount = 0;
        state.displayTime = displayTime(frames[0]);
    }
    uint32_t index = state.frameIndex;
    if (!frames[index].image)
        return;
    frames[index].image->setAsPointer();
    if (currentArticle)
        g_pointer_image = this;
}

Image *ANIImage::getFrame(int index)
{
    if (index < 0 || (uint32_t)index >= count)
        return nullptr;
    if (index > 0 && !effectsOn())
        return nullptr;
    return frames[index].image;
}

unsigned ANIImage::getFrameDuration(int index)
{
    if (index < 0 || (uint32_t)index >= count)
        return 0;
    return displayTime(frames[index]);
}

void ANIImage::advance()
{
    PointerAnimation &state = g_pointer_animation;
    if (!effectsOn() || count == 0) {
        // Still pointer: frame 0 only, and no frame change on the way there.
        state.tickCount = 0;
        state.frameIndex = 0;
        setAsPointer();
        return;
    }
    if (++state.tickCount > state.displayTime) {
        state.tickCount = 0;
        state.frameIndex++;
    }
    if (state.frameIndex >= count)
        state.frameIndex = 0;
    if (state.tickCount == 0)
        state.displayTime = displayTime(frames[state.frameIndex]);
    setAsPointer();
}
