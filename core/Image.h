// Pictures of a magazine: decoded once into a System image surface, shared
// by reference count and cached in the File they came from.
#ifndef MIRANDOL_IMAGE_H
#define MIRANDOL_IMAGE_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "System.h"

class File;

class Image {
public:
    bool failed = false;
    ImageHandle surface = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t references = 0;
    File *owner = nullptr;
    bool opaque = false;   // a surface without transparent pixels: nothing behind it shows
    // A JPEG too large to show whole is decoded at 1/shrink of its size
    // (libjpeg's scaling) where it is drawn smaller; ownWidth x ownHeight
    // is then its size in the file. 1 for every other picture.
    int32_t shrink = 1;
    int32_t ownWidth = 0;
    int32_t ownHeight = 0;

    explicit Image(File *owner);
    virtual ~Image();

    virtual void setAsPointer();
    virtual Image *getFrame(int index) { return this; }
    virtual unsigned getFrameDuration(int index) { return 32767; }
    virtual void advance() {}

    // Drops one reference; the last one deletes the Image. True when deleted.
    bool release();

protected:
    // Applies the owner's mask and creates the surface from host RGB words.
    void createSurface(const uint32_t *pixels);
};

class JPEGImage : public Image {
public:
    // Takes the data buffer over (delete[]) and frees it before returning.
    // Decodes at 1/shrink of the picture's size (see decodeJPEG).
    JPEGImage(File *owner, uint8_t *data, uint32_t size, int shrink = 1);
    ~JPEGImage() override {}
};

class BMPImage : public Image {
public:
    BMPImage(File *owner, uint8_t *data, uint32_t size);
    ~BMPImage() override {}
};

// The picture an article, a theme or an image list names, one reference
// added, for drawing at drawnWidth x drawnHeight (0: at its own size that
// way). Null when there is none; a name the magazine lacks, or a file of a
// kind the reader does not show, is then named once on standard error, as a
// picture it cannot read is.
Image *findPicture(const char *name, int drawnWidth = 0, int drawnHeight = 0);

// Whether create_image takes a picture of width x height.
bool displayTakes(int64_t width, int64_t height);

// How the reader takes a JPEG or BMP file drawn at drawnWidth x drawnHeight
// (0: at its own size that way), told from its header alone, before
// anything is decoded. mkmag asks the same of an editor's pictures.
struct PictureFit {
    enum Verdict {
        FITS,          // decoded (a file it cannot read fails then)
        OVER_LIMIT,    // larger than the display takes, even at 1/shrink
        OVER_MEMORY,   // a JPEG whose shrunk decode needs more than libjpeg may use
    };
    Verdict verdict = FITS;
    int shrink = 1;    // a JPEG is decoded at 1/shrink of its size
    std::string why;   // for a picture left out: its numbers against the limit
    // The reason the reader gives for leaving it out ("it is too large: ...").
    std::string reason() const;
};
PictureFit fitPicture(uint32_t fileType, const uint8_t *data, size_t size, int drawnWidth, int drawnHeight);

// The largest drawn size at which the reader shows a JPEG too large to show
// whole, and the scale it is decoded at then; false when it shows whole, or
// nowhere, or has no header libjpeg reads.
bool jpegLargestShown(const uint8_t *data, size_t size, int &width, int &height, int &shrink);

// Names on standard error, once per name, a picture the magazine lacks.
void reportMissingPicture(const char *name);

// The Image shown as the animated pointer, advanced by the main loop's tick.
extern Image *g_pointer_image;
// The surface last handed to set_cursor.
extern ImageHandle g_pointer_surface;

#endif
