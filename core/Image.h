// Pictures of a magazine: decoded once into a System image surface, shared
// by reference count and cached in the File they came from.
#ifndef MIRANDOL_IMAGE_H
#define MIRANDOL_IMAGE_H

#include <stdint.h>

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

// Names on standard error, once per name, a picture the magazine lacks.
void reportMissingPicture(const char *name);

// The Image shown as the animated pointer, advanced by the main loop's tick.
extern Image *g_pointer_image;
// The surface last handed to set_cursor.
extern ImageHandle g_pointer_surface;

#endif
