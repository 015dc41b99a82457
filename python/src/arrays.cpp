// numpy arrays as image headers: in place when the library can address the
// array's rows, otherwise through a copy laid out as the library lays out its
// own images.  New arrays get 32-byte row strides and 64-byte-aligned data, so
// a result passed to the next call is described in place.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "binding.h"

namespace zarpy {

namespace {

constexpr int64_t kRowAlign = 32;  // ZAR_ALIGN_32BYTES
constexpr int64_t kDataAlign = 64;
constexpr const char* kPixelsName = "zar.pixels";

int64_t roundUp(int64_t value, int64_t step) { return (value + step - 1) / step * step; }

// The largest header alignment that divides the row stride.
int32_t alignOf(int64_t stride) {
    for (int32_t align : {32, 16, 8}) {
        if (stride % align == 0) return align;
    }
    return 4;
}

void freePixels(PyObject* capsule) { std::free(PyCapsule_GetPointer(capsule, kPixelsName)); }

const py::handle& numpyCopyTo() {
    // Released on purpose: the module keeps it for the life of the interpreter.
    static const py::handle copyTo = py::object(py::module_::import("numpy").attr("copyto"))
                                         .release();
    return copyTo;
}

}  // namespace

py::array asArray(py::handle object) {
    if (py::isinstance<py::array>(object)) return py::reinterpret_borrow<py::array>(object);
    py::array array = py::array::ensure(object);
    if (!array) throw py::type_error("zar takes numpy arrays (or objects numpy can turn into one)");
    return array;
}

PixelFormat formatOf(const py::array& array) {
    const py::dtype dtype = array.dtype();
    const char kind = dtype.kind();
    const auto size = static_cast<int32_t>(dtype.itemsize());
    if (py::detail::array_descriptor_proxy(dtype.ptr())->byteorder != '>') {
        if (kind == 'u' && size == 1) return {ZAR_DEPTH_8U, 1};
        if (kind == 'i' && size == 1) return {ZAR_DEPTH_8S, 1};
        if (kind == 'u' && size == 2) return {ZAR_DEPTH_16U, 2};
        if (kind == 'i' && size == 2) return {ZAR_DEPTH_16S, 2};
        if (kind == 'i' && size == 4) return {ZAR_DEPTH_32S, 4};
        if (kind == 'f' && size == 4) return {ZAR_DEPTH_32F, 4};
    }
    throw py::type_error("zar takes arrays of uint8, int8, uint16, int16, int32 or float32, not " +
                         py::str(dtype.ptr()).cast<std::string>());
}

Shape shapeOf(const py::array& array) {
    const auto ndim = array.ndim();
    if (ndim != 2 && ndim != 3)
        throw py::value_error("zar takes 2-D (H, W) or 3-D (H, W, C) arrays");
    Shape shape{array.shape(0), array.shape(1), ndim == 3 ? array.shape(2) : 1, ndim == 3};
    if (shape.height < 1 || shape.width < 1 || shape.channels < 1)
        throw py::value_error("zar takes arrays with at least one pixel and one channel");
    const int64_t rowBytes = shape.width * shape.channels * array.itemsize();
    if (shape.height * roundUp(rowBytes, kRowAlign) > INT32_MAX)
        throw py::value_error("image too large for 32-bit sizes");
    return shape;
}

py::array newImage(const py::dtype& dtype, const Shape& shape) {
    const int64_t size = dtype.itemsize();
    const int64_t stride = roundUp(shape.width * shape.channels * size, kRowAlign);
    const auto bytes = static_cast<size_t>(roundUp(shape.height * stride, kDataAlign));
    std::unique_ptr<void, void (*)(void*)> memory(std::aligned_alloc(kDataAlign, bytes), std::free);
    if (!memory) throw std::bad_alloc();
    py::capsule owner(memory.get(), kPixelsName, &freePixels);
    void* data = memory.release();
    std::vector<py::ssize_t> extent{shape.height, shape.width},
        strides{stride, shape.channels * size};
    if (shape.hasChannelAxis) {
        extent.push_back(shape.channels);
        strides.push_back(size);
    }
    return py::array(dtype, std::move(extent), std::move(strides), data, owner);
}

py::array copyOf(const py::array& array) {
    py::array copy = newImage(array.dtype(), shapeOf(array));
    copyInto(copy, array);
    return copy;
}

void copyInto(const py::array& destination, const py::array& source) {
    numpyCopyTo()(destination, source);
}

int64_t inPlaceStride(const py::array& array, const PixelFormat& format, const Shape& shape) {
    const int64_t pixelBytes = shape.channels * format.size;
    // numpy gives axes of extent 1 any stride; those are never stepped.
    if (shape.channels > 1 && array.strides(2) != format.size) return 0;
    if (shape.width > 1 && array.strides(1) != pixelBytes) return 0;
    const int64_t rowBytes = shape.width * pixelBytes;
    const int64_t stride = shape.height > 1 ? array.strides(0) : rowBytes;
    if (stride < rowBytes || stride % 4 != 0) return 0;
    if (reinterpret_cast<uintptr_t>(array.data()) % static_cast<uintptr_t>(format.size) != 0)
        return 0;
    if (shape.height * stride > INT32_MAX) return 0;
    return stride;
}

bool ownsRowPadding(const py::array& array, const Shape& shape, int64_t stride) {
    if (stride == shape.width * shape.channels * array.itemsize()) return true;
    // An array made by newImage, not a view of one: its base is the capsule.
    const py::object base = array.base();
    return base && PyCapsule_CheckExact(base.ptr()) &&
           std::strcmp(PyCapsule_GetName(base.ptr()), kPixelsName) == 0;
}

namespace {

// First and one-past-last byte an array's elements occupy.
std::pair<uintptr_t, uintptr_t> byteBounds(const py::array& a) {
    auto low = reinterpret_cast<uintptr_t>(a.data()), high = low;
    for (py::ssize_t axis = 0; axis < a.ndim(); ++axis) {
        const auto span = static_cast<intptr_t>(a.shape(axis) - 1) * a.strides(axis);
        (span < 0 ? low : high) += static_cast<uintptr_t>(span);
    }
    return {low, high + static_cast<uintptr_t>(a.itemsize())};
}

}  // namespace

bool overlaps(const py::array& a, const py::array& b) {
    const auto [lowA, highA] = byteBounds(a);
    const auto [lowB, highB] = byteBounds(b);
    return lowA < highB && lowB < highA;
}

bool sameView(const py::array& a, const py::array& b) {
    if (a.data() != b.data() || a.ndim() != b.ndim()) return false;
    for (py::ssize_t axis = 0; axis < a.ndim(); ++axis) {
        if (a.shape(axis) != b.shape(axis) || a.strides(axis) != b.strides(axis)) return false;
    }
    return true;
}

void describe(Operand& operand, const py::array& array, int64_t stride) {
    ImageHeader& h = operand.header;
    const Shape& shape = operand.shape;
    h.headerSize = sizeof(ImageHeader);
    h.nChannels = static_cast<int32_t>(shape.channels);
    h.depth = operand.format.depth;
    std::memcpy(h.colorModel, shape.channels == 1 ? "GRAY" : "RGB", 4);
    std::memcpy(h.channelSeq, shape.channels == 1 ? "G\0\0" : "BGR", 4);
    h.dataOrder = ZAR_DATA_ORDER_PIXEL;
    h.origin = ZAR_ORIGIN_TL;
    h.align = alignOf(stride);
    h.width = static_cast<int32_t>(shape.width);
    h.height = static_cast<int32_t>(shape.height);
    h.widthStep = static_cast<int32_t>(stride);
    h.imageSize = static_cast<int32_t>(shape.height * stride);
    h.imageData = static_cast<char*>(const_cast<void*>(array.data()));
    operand.array = array;
}

void packMask(Mask& mask, py::handle object, const Shape& shape) {
    const py::array array = asArray(object);
    const char kind = array.dtype().kind();
    if (array.itemsize() != 1 || (kind != 'b' && kind != 'u'))
        throw py::type_error("a mask is a bool or uint8 (0/1) array");
    if (array.ndim() != 2 || array.shape(0) != shape.height || array.shape(1) != shape.width)
        throw py::value_error("a mask has the (H, W) shape of the image it masks");
    const int64_t stride = roundUp((shape.width + 7) / 8, 4);
    mask.bits.assign(static_cast<size_t>(shape.height * stride), 0);
    const auto* base = static_cast<const uint8_t*>(array.data());
    for (int64_t y = 0; y < shape.height; ++y) {
        const uint8_t* row = base + y * array.strides(0);
        uint8_t* bits = mask.bits.data() + y * stride;
        for (int64_t x = 0; x < shape.width; ++x) {
            if (row[x * array.strides(1)] != 0)
                bits[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
    }
    ImageHeader& h = mask.header;
    h.headerSize = sizeof(ImageHeader);
    h.nChannels = 1;
    h.depth = ZAR_DEPTH_1U;
    std::memcpy(h.colorModel, "GRAY", 4);
    std::memcpy(h.channelSeq, "G\0\0", 4);
    h.align = 4;
    h.width = static_cast<int32_t>(shape.width);
    h.height = static_cast<int32_t>(shape.height);
    h.widthStep = static_cast<int32_t>(stride);
    h.imageSize = static_cast<int32_t>(shape.height * stride);
    h.imageData = reinterpret_cast<char*>(mask.bits.data());
}

}  // namespace zarpy
