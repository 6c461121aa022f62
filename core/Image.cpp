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

JPEGImage::JPEGImage(File *file, uint8_t *data, uint32_t size, int scale) : Image(file)
{
    DecodedPicture picture;
    bool fast = g_system->get_user_flag(USER_FLAG_FAST_JPEG) != 0;
    int fullWidth = 0, fullHeight = 0;
    bool ok = readJpegSize(data, size, fullWidth, fullHeight) && decodeJPEG(data, size, fast, picture, scale);
    delete[] data;
    failed = true;
    if (ok) {
        width = picture.width;
        height = picture.height;
        shrink = scale;
        ownWidth = fullWidth;
        ownHeight = fullHeight;
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

bool displayTakes(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           (uint64_t)width * (uint64_t)height <= kMaxImagePixels;
}

namespace {

// The scale 1/shrink at which a JPEG of width x height is decoded for
// drawing at drawnWidth x drawnHeight (0: at its own size that way). A
// picture the display takes whole is decoded whole, so it shows as it always
// did; a larger one at the smallest of libjpeg's scales that still covers
// the drawn size, or whole when none does.
int jpegShrink(int width, int height, int drawnWidth, int drawnHeight)
{
    if (displayTakes(width, height))
        return 1;
    int64_t needWidth = drawnWidth > 0 ? drawnWidth : width;
    int64_t needHeight = drawnHeight > 0 ? drawnHeight : height;
    for (size_t i = sizeof kJpegShrinks / sizeof kJpegShrinks[0]; i-- > 1;) {
        int shrink = kJpegShrinks[i];
        if (shrunkSide(width, shrink) >= needWidth && shrunkSide(height, shrink) >= needHeight)
            return shrink;
    }
    return 1;
}

// Whether a cached picture serves a drawing at drawnWidth x drawnHeight: a
// shrunk JPEG only where it is drawn no larger than it was decoded for.
bool serves(const Image *image, int drawnWidth, int drawnHeight)
{
    return image->shrink == 1 || image->shrink <= jpegShrink(image->ownWidth, image->ownHeight, drawnWidth, drawnHeight);
}

std::string sizeText(int64_t width, int64_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// Why a picture the display cannot take is left out, at the scale it would
// have been decoded at, with the limit.
std::string overLimitText(int64_t width, int64_t height, int shrink)
{
    std::string text = sizeText(width, height) + " pixels";
    if (shrink > 1)
        text += ", still " + sizeText(shrunkSide(width, shrink), shrunkSide(height, shrink)) + " at 1/" +
                std::to_string(shrink) + " of its size";
    return text + ", over the limit of " + std::to_string(kMaxImagePixels) + " pixels and " +
           std::to_string(kMaxImageSide) + " a side";
}

std::string mebibytes(uint64_t bytes)
{
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MiB";
}

void sayCannotShow(const char *name, const std::string &why)
{
    std::string text = std::string("The reader cannot show the picture '") + name + "': " + why;
    g_system->report(text.c_str());
}

// Names a picture that cannot be shown and says why, once per file, so that
// an editor learns why it is missing.
void reportUnreadable(File *file, const std::string &why)
{
    if (file->reported)
        return;
    file->reported = true;
    sayCannotShow(file->name.c_str(), why);
}

bool isPictureType(uint32_t type)
{
    return type == FILE_JPEG || type == FILE_BMP || type == FILE_ANI;
}

} // namespace

std::string PictureFit::reason() const
{
    switch (verdict) {
    case OVER_LIMIT:
        return "it is too large: " + why;
    case OVER_MEMORY:
        return "it is too large to decode within the reader's memory limit: " + why;
    default:
        return "";
    }
}

PictureFit fitPicture(uint32_t fileType, const uint8_t *data, size_t size, int drawnWidth, int drawnHeight)
{
    PictureFit fit;
    if (fileType == FILE_JPEG) {
        JpegHeader header;
        if (!readJpegHeader(data, size, header))
            return fit;
        fit.shrink = jpegShrink(header.width, header.height, drawnWidth, drawnHeight);
        if (!displayTakes(shrunkSide(header.width, fit.shrink), shrunkSide(header.height, fit.shrink))) {
            fit.verdict = PictureFit::OVER_LIMIT;
            fit.why = overLimitText(header.width, header.height, fit.shrink);
        } else if (fit.shrink > 1 && header.wholeCoefficientBytes > (uint64_t)kJpegShrunkWorkBytes) {
            // Shrinking spares the pixels, not the coefficients.
            fit.verdict = PictureFit::OVER_MEMORY;
            fit.why = "as a progressive JPEG of " + sizeText(header.width, header.height) + " pixels it needs " +
                      mebibytes(header.wholeCoefficientBytes) + " at any scale, over " +
                      mebibytes(kJpegShrunkWorkBytes);
        }
    } else if (fileType == FILE_BMP) {
        // Past the display's limit whether or not the decoder's own refuses it.
        BmpInfo info;
        PictureFault fault = checkBMP(data, size);
        if (readBmpInfo(data, size, info) && (fault == PICTURE_OK || fault == PICTURE_SIZE)) {
            int64_t rows = info.height < 0 ? -(int64_t)info.height : info.height;
            if (info.width > 0 && rows > 0 && !displayTakes(info.width, rows)) {
                fit.verdict = PictureFit::OVER_LIMIT;
                fit.why = overLimitText(info.width, rows, 1);
            }
        }
    }
    return fit;
}

bool jpegLargestShown(const uint8_t *data, size_t size, int &width, int &height, int &shrink)
{
    JpegHeader header;
    if (!readJpegHeader(data, size, header) || displayTakes(header.width, header.height))
        return false;
    for (size_t i = 1; i < sizeof kJpegShrinks / sizeof kJpegShrinks[0]; i++) {
        int w = (int)shrunkSide(header.width, kJpegShrinks[i]), h = (int)shrunkSide(header.height, kJpegShrinks[i]);
        PictureFit fit = fitPicture(FILE_JPEG, data, size, w, h);
        if (fit.verdict == PictureFit::FITS) {
            width = w;
            height = h;
            shrink = fit.shrink;
            return true;
        }
    }
    return false;
}

void reportMissingPicture(const char *name)
{
    if (g_container.missingPictures.insert(name).second)
        sayCannotShow(name, "the magazine has no such file");
}

Image *findPicture(const char *name, int drawnWidth, int drawnHeight)
{
    if (!name || !*name)
        return nullptr;
    File *file = g_container.find(name);
    if (!file) {
        reportMissingPicture(name);
        return nullptr;
    }
    if (!isPictureType(file->fileType)) {
        reportUnreadable(file, "it shows only .jpg, .bmp and .ani pictures");
        return nullptr;
    }
    return file->getImage(drawnWidth, drawnHeight);
}

Image *File::getImage(int drawnWidth, int drawnHeight)
{
    if (!isPictureType(fileType))
        return nullptr;
    if (cached && image && serves(image, drawnWidth, drawnHeight)) {
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
        // A picture the display cannot take, or libjpeg cannot decode in
        // the memory it may use, is refused from its header, before any
        // decoding.
        PictureFit fit = fitPicture(fileType, data, size, drawnWidth, drawnHeight);
        std::string tooLarge = fit.reason();
        if (fileType == FILE_JPEG) {
            why = "it cannot decode this JPEG";
            picture = tooLarge.empty() ? new JPEGImage(this, data, size, fit.shrink) : nullptr;
        } else {
            BmpInfo info;
            readBmpInfo(data, size, info);
            why = bmpFaultText(checkBMP(data, size), info);
            picture = tooLarge.empty() ? new BMPImage(this, data, size) : nullptr;
        }
        if (!picture) {
            delete[] data;
            reportUnreadable(this, tooLarge);
            return nullptr;
        }
    }
    if (picture->failed) {
        delete picture;
        reportUnreadable(this, why.empty() ? "it cannot make a surface of it" : why);
        return nullptr;
    }
    picture->references = 1;
    // A picture decoded smaller for another drawing lives on with its
    // holders, no longer cached here.
    if (image && image->owner == this)
        image->owner = nullptr;
    image = picture;
    cached = true;
    return picture;
}
