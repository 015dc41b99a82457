// JPEG through libjpeg-turbo: gray or colour, 8 bits, decoded straight into
// the blue-green-red order.  libjpeg reports errors by a long jump: the
// functions that call it hold only plain data.
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "formats.h"

namespace tool {

namespace {

struct JpegError {
    jpeg_error_mgr base;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = "";
};

void onError(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    longjmp(error->jump, 1);
}

void onMessage(j_common_ptr, int) {}  // warnings of damaged files are not the user's business

void useErrors(JpegError& error) {
    jpeg_std_error(&error.base);
    error.base.error_exit = onError;
    error.base.emit_message = onMessage;
}

bool startReading(jpeg_decompress_struct* d, JpegError* error, const FileBytes& file) {
    if (setjmp(error->jump)) return false;
    jpeg_mem_src(d, file.data.get(), static_cast<unsigned long>(file.size));
    jpeg_read_header(d, TRUE);
    if (d->jpeg_color_space == JCS_CMYK || d->jpeg_color_space == JCS_YCCK) {
        std::snprintf(error->message, sizeof error->message, "CMYK JPEG files are not supported");
        return false;
    }
    d->out_color_space = d->num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_start_decompress(d);
    return true;
}

bool readRows(jpeg_decompress_struct* d, JpegError* error, JSAMPROW* rows) {
    if (setjmp(error->jump)) return false;
    while (d->output_scanline < d->output_height)
        jpeg_read_scanlines(d, rows + d->output_scanline, d->output_height - d->output_scanline);
    jpeg_finish_decompress(d);
    return true;
}

}  // namespace

OwnedImage readJpeg(const FileBytes& file) {
    jpeg_decompress_struct d;
    JpegError error;
    useErrors(error);
    d.err = &error.base;
    jpeg_create_decompress(&d);
    OwnedImage image;
    bool ok = startReading(&d, &error, file);
    if (ok) {
        image = newImage(d.output_components, ZAR_DEPTH_8U, static_cast<int32_t>(d.output_width),
                         static_cast<int32_t>(d.output_height));
        std::vector<JSAMPROW> rows = pictureRows<JSAMPROW>(image.get());
        ok = readRows(&d, &error, rows.data());
    }
    jpeg_destroy_decompress(&d);
    if (!ok) throw UserError(std::string("not a JPEG file zar can read: ") + error.message);
    return image;
}

namespace {

bool writeRows(jpeg_compress_struct* c, JpegError* error, FILE* out, const ImageHeader* image,
               int quality, JSAMPROW* rows) {
    if (setjmp(error->jump)) return false;
    jpeg_stdio_dest(c, out);
    c->image_width = static_cast<JDIMENSION>(image->width);
    c->image_height = static_cast<JDIMENSION>(image->height);
    c->input_components = image->nChannels;
    c->in_color_space = image->nChannels == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(c);
    jpeg_set_quality(c, quality, TRUE);
    jpeg_start_compress(c, TRUE);
    while (c->next_scanline < c->image_height)
        jpeg_write_scanlines(c, rows + c->next_scanline, c->image_height - c->next_scanline);
    jpeg_finish_compress(c);
    return true;
}

}  // namespace

void writeJpeg(const ImageHeader* image, FILE* out, int quality) {
    OwnedImage holder;  // JPEG holds no alpha: it is dropped
    const ImageHeader* picture = shaped(image, colourChannels(image), ZAR_DEPTH_8U, holder);
    jpeg_compress_struct c;
    JpegError error;
    useErrors(error);
    c.err = &error.base;
    jpeg_create_compress(&c);
    std::vector<JSAMPROW> rows = pictureRows<JSAMPROW>(picture);
    bool ok = writeRows(&c, &error, out, picture, quality, rows.data());
    jpeg_destroy_compress(&c);
    if (!ok) throw UserError(std::string("cannot write the JPEG: ") + error.message);
}

std::string jpegVersion() {
#ifdef LIBJPEG_TURBO_VERSION
#define ZAR_TEXT(x) #x
#define ZAR_VERSION_TEXT(x) ZAR_TEXT(x)
    return "libjpeg-turbo " ZAR_VERSION_TEXT(LIBJPEG_TURBO_VERSION);
#else
    return "libjpeg " + std::to_string(JPEG_LIB_VERSION);
#endif
}

}  // namespace tool
