// zar.from_bmp: a .bmp file's bytes through the library's bitmap translation,
// handed back as a top-down (H, W) or (H, W, C) array in the image's channel
// order (blue first); a 1-bit black-and-white bitmap gives a bool array.
#include <cstring>
#include <memory>

#include "binding.h"

namespace zarpy {

namespace {

struct BufferView {
    Py_buffer view{};
    explicit BufferView(py::handle data) {
        if (PyObject_GetBuffer(data.ptr(), &view, PyBUF_SIMPLE) != 0) throw py::error_already_set();
    }
    ~BufferView() { PyBuffer_Release(&view); }
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
};

struct ImageRelease {
    int32_t flags;
    void operator()(ImageHeader* image) const { zarDeallocate(image, flags); }
};

// Row y of the picture, counted from its top line, in one plane.
const uint8_t* pictureRow(const ImageHeader& image, int32_t y, int32_t plane) {
    const int32_t row = image.origin == ZAR_ORIGIN_BL ? image.height - 1 - y : y;
    const int64_t planeBytes = static_cast<int64_t>(image.height) * image.widthStep;
    return reinterpret_cast<const uint8_t*>(image.imageData) + plane * planeBytes +
           static_cast<int64_t>(row) * image.widthStep;
}

py::array bitsOf(const ImageHeader& image) {
    py::array_t<bool> array({image.height, image.width});
    auto out = array.mutable_unchecked<2>();
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = pictureRow(image, y, 0);
        for (int32_t x = 0; x < image.width; ++x) out(y, x) = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    return array;
}

py::array bytesOf(const ImageHeader& image) {
    const Shape shape{image.height, image.width, image.nChannels, image.nChannels > 1};
    py::array array = newImage(py::dtype::of<uint8_t>(), shape);
    const int64_t rowBytes = static_cast<int64_t>(image.width) * image.nChannels;
    for (int32_t y = 0; y < image.height; ++y) {
        auto* out = static_cast<uint8_t*>(array.mutable_data()) + y * array.strides(0);
        if (image.dataOrder == ZAR_DATA_ORDER_PIXEL || image.nChannels == 1) {
            std::memcpy(out, pictureRow(image, y, 0), static_cast<size_t>(rowBytes));
            continue;
        }
        for (int32_t c = 0; c < image.nChannels; ++c) {
            const uint8_t* plane = pictureRow(image, y, c);
            for (int32_t x = 0; x < image.width; ++x) out[x * image.nChannels + c] = plane[x];
        }
    }
    return array;
}

}  // namespace

py::array fromBmp(py::handle data) {
    const BufferView buffer(data);
    int32_t cloned = 0;
    ImageHeader* translated = nullptr;
    beginLibraryCall();
    {
        py::gil_scoped_release release;
        translated = zarTranslateDIBBlock(buffer.view.buf, static_cast<size_t>(buffer.view.len),
                                          &cloned);
    }
    // A referenced image points into the caller's bytes: only its header is ours.
    const std::unique_ptr<ImageHeader, ImageRelease> image(
        translated, ImageRelease{cloned ? ZAR_FREE_ALL : ZAR_FREE_HEADER});
    raiseIfReported();
    if (!image) throw py::value_error("not a bitmap zar can translate");
    if (image->depth == ZAR_DEPTH_1U) return bitsOf(*image);
    if (image->depth != ZAR_DEPTH_8U)
        throw py::value_error("unexpected depth of a translated bitmap");
    return bytesOf(*image);
}

}  // namespace zarpy
