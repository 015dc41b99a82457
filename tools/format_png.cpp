// PNG through libpng: gray, gray with alpha, colour and colour with alpha, 8
// or 16 bits; palettes, low bit depths and transparency chunks are expanded.
// libpng reports errors by a long jump: the functions that call it hold only
// plain data, so nothing with a destructor is skipped.
#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "formats.h"

namespace tool {

namespace {

struct PngJob {
    const unsigned char* data = nullptr;
    size_t size = 0, pos = 0;
    char message[200] = "";
};

void onError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, size_t n) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (job->size - job->pos < n) png_error(png, "the file is truncated");
    std::memcpy(out, job->data + job->pos, n);
    job->pos += n;
}

struct PngShape {
    png_uint_32 width = 0, height = 0;
    int channels = 0, bits = 0;
};

// Samples arrive blue first and, at 16 bits, in the machine's byte order.
void sampleOrder(png_structp png, int bits) {
    png_set_bgr(png);
    if (bits == 16 && std::endian::native == std::endian::little) png_set_swap(png);
}

bool readShape(png_structp png, png_infop info, PngShape* shape) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_set_expand(png);
    sampleOrder(png, png_get_bit_depth(png, info));
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    shape->width = png_get_image_width(png, info);
    shape->height = png_get_image_height(png, info);
    shape->channels = png_get_channels(png, info);
    shape->bits = png_get_bit_depth(png, info);
    return true;
}

bool readRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

}  // namespace

OwnedImage readPng(const FileBytes& file) {
    PngJob job;
    job.data = file.data.get();
    job.size = file.size;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) throw UserError("out of memory");
    png_set_read_fn(png, &job, readBytes);
    PngShape shape;
    OwnedImage image;
    bool ok = readShape(png, info, &shape) && shape.width < (1u << 24) && shape.height < (1u << 24);
    if (ok) {
        image = newImage(shape.channels, shape.bits == 16 ? ZAR_DEPTH_16U : ZAR_DEPTH_8U,
                         static_cast<int32_t>(shape.width), static_cast<int32_t>(shape.height));
        std::vector<png_bytep> rows = pictureRows<png_bytep>(image.get());
        ok = readRows(png, info, rows.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) throw UserError(std::string("not a PNG file zar can read: ") + job.message);
    return image;
}

namespace {

bool writeRows(png_structp png, png_infop info, FILE* out, const PngShape& shape, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    static const int types[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                PNG_COLOR_TYPE_RGB_ALPHA};
    png_init_io(png, out);
    png_set_IHDR(png, info, shape.width, shape.height, shape.bits, types[shape.channels - 1],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    sampleOrder(png, shape.bits);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

void writePng(const ImageHeader* image, FILE* out) {
    const int32_t depth = image->depth == ZAR_DEPTH_8U ? ZAR_DEPTH_8U : ZAR_DEPTH_16U;
    OwnedImage holder;
    const ImageHeader* picture = shaped(image, image->nChannels, depth, holder);
    PngJob job;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) throw UserError("out of memory");
    PngShape shape{static_cast<png_uint_32>(picture->width),
                   static_cast<png_uint_32>(picture->height), picture->nChannels,
                   depth == ZAR_DEPTH_16U ? 16 : 8};
    std::vector<png_bytep> rows = pictureRows<png_bytep>(picture);
    bool ok = writeRows(png, info, out, shape, rows.data());
    png_destroy_write_struct(&png, &info);
    if (!ok) throw UserError(std::string("cannot write the PNG: ") + job.message);
}

std::string pngVersion() { return std::string("libpng ") + png_get_libpng_ver(nullptr); }

}  // namespace tool
