#include "Image.h"

#include <string.h>
#include <string>
#include <vector>

#include "ANIImage.h"
#include "Browser.h"
#include "File.h"
#include "PictureDecoders.h"
#include "containr.h"

Image *g_pointer_image = nullptr;
ImageHandle g_pointer_surface = nullptr;

Image::Image(File *file) : owner(file) {}

Image::~Image()
{
    // Nothing may keep pointing at a picture that is gone.
    if (g_pointer_image == this)
        g_pointer_image = nullptr;
    if (surface) {
        if (g_pointer_surface == surface)
            g_pointer_surface = nullptr;
        if (g_system)
            g_system->unload_image(surface);
        surface = nullptr;
    }
    if (owner && owner->image == this) {
        owner->cached = false;
        owner->image = nullptr;
    }
}

bool Image::release()
{
    if (--references <= 0) {
        delete this;
        return true;
    }
    return false;
}

void Image::setAsPointer()
{
    if (!surface || surface == g_pointer_surface)
        return;
    int hotX = owner ? (int)owner->hotspotX : 0;
    int hotY = owner ? (int)owner->hotspotY : 0;
    g_system->set_cursor(surface, hotX, hotY);
    g_pointer_surface = surface;
    if (currentArticle)
        g_pointer_image = this;
}

void Image::createSurface(const uint32_t *pixels)
{
    std::vector<uint8_t> mask;
    bool haveMask = false;
    if (owner && !owner->name.isEmpty()) {
        std::string maskName = owner->name.c_str();
        size_t dot = maskName.rfind('.');
        if (dot != std::string::npos) {
            maskName.replace(dot + 1, std::string::npos, "msk");
            File *maskFile = static_cast<File *>(Tree::findPath(g_container.root, maskName.c_str()));
            uint8_t *data = nullptr;
            uint32_t size = 0;
            if (maskFile && maskFile->load(data, size)) {
                haveMask = decodeMask(data, size, width, height, mask);
                delete[] data;
            }
        }
    }
    surface = g_system->create_image(width, height, pixels, haveMask ? mask.data() : nullptr);
    failed = surface == nullptr;
    // Bits past the width in a row's padding mean nothing.
    opaque = surface != nullptr;
    size_t rowBytes = maskRowBytes(width);
    for (int32_t y = 0; haveMask && opaque && y < height; y++)
        for (int32_t x = 0; opaque && x < width; x++)
            opaque = !(mask[(size_t)y * rowBytes + (size_t)(x >> 3)] & (0x80 >> (x & 7)));
}

JPEGImage::JPEGImage(File *file, uint8_t *data, uint32_t size) : Image(file)
{
    DecodedPicture picture;
    bool fast = g_system->get_user_flag(USER_FLAG_FAST_JPEG) != 0;
    bool ok = decodeJPEG(data, size, fast, picture);
    delete[] data;
    failed = true;
    if (ok) {
        width = picture.width;
        height = picture.height;
        createSurface(picture.pixels.data());
    }
}

BMPImage::BMPImage(File *file, uint8_t *data, uint32_t size) : Image(file)
{
    DecodedPicture picture;
    bool ok = decodeBMP(data, size, picture);
    delete[] data;
    failed = true;
    if (ok) {
        width = picture.width;
        height = picture.height;
        createSurface(picture.pixels.data());
    }
}

// Names a picture that cannot be shown and says why, once per file, so that
// an editor learns why it is missing.
static void reportUnreadable(File *file, const std::string &why)
{
    if (file->reported)
        return;
    file->reported = true;
    std::string text = std::string("The reader cannot show the picture '") + file->name.c_str() + "': " + why;
    g_system->report(text.c_str());
}

Image *File::getImage()
{
    if (fileType != FILE_JPEG && fileType != FILE_BMP && fileType != FILE_ANI)
        return nullptr;
    if (cached && image) {
        image->references++;
        return image;
    }
    Image *picture;
    std::string why = "none of its frames can be shown";
    if (fileType == FILE_ANI) {
        picture = new ANIImage(this, name.c_str());
    } else {
        uint8_t *data = nullptr;
        uint32_t size = 0;
        if (!load(data, size)) {
            reportUnreadable(this, "it cannot be read from the magazine");
            return nullptr;
        }
        if (fileType == FILE_JPEG) {
            why = "it cannot decode this JPEG";
            picture = new JPEGImage(this, data, size);
        } else {
            BmpInfo info;
            readBmpInfo(data, size, info);
            why = bmpFaultText(checkBMP(data, size), info);
            picture = new BMPImage(this, data, size);
        }
    }
    if (picture->failed) {
        delete picture;
        reportUnreadable(this, why.empty() ? "it cannot make a surface of it" : why);
        return nullptr;
    }
    picture->references = 1;
    image = picture;
    cached = true;
    return picture;
}
