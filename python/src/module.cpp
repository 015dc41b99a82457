// The extension module zar._zar: every operation of the library on numpy
// arrays, each with the keywords roi, coi, mask, border and out.
#include <cmath>

#include "binding.h"

namespace zarpy {

namespace {

constexpr uint32_t kAllImages = 0xF;
// Set, Copy and Blur: a destination may be the same view as the source.
constexpr Behaviour kSameSize{kAllImages, kAllImages, false, true, false};
// Add and the logical functions may also treat rows and padding as one run.
constexpr Behaviour kArithmetic{kAllImages, kAllImages, true, true, false};
// Fixed filters and morphology read the source while the destination is written.
constexpr Behaviour kNeighbourhood{kAllImages, kAllImages, false, false, false};

// The destination of a same-size operation: a copy of the source where the
// call writes only part of it, so that the rest reads as the source.
Operand& sameSizeDestination(Call& call, const py::array& like, const Shape& shape) {
    return call.destination(like, shape, call.partial(shape.channels) ? Fill::Source : Fill::Empty,
                            true);
}

py::object set(const Keywords& kw, py::handle image, py::handle value) {
    Call call(kw, kSameSize, 1);
    const py::array like = asArray(image);
    Operand& dst = sameSizeDestination(call, like, shapeOf(like));
    if (dst.format.depth == ZAR_DEPTH_32F) {
        const auto v = value.cast<float>();
        call.run([v](ImageHeader* d) { zarSetFP(d, v); });
    } else {
        const int32_t v = saturatedInt(value);
        call.run([v](ImageHeader* d) { zarSet(d, v); });
    }
    return call.result();
}

py::object copy(const Keywords& kw, py::handle src) {
    Call call(kw, kSameSize, 2);
    Operand& s = call.source(src);
    // The library copies the common region: `out` may have any size.
    call.destination(s.array, s.shape, call.partial(s.shape.channels) ? Fill::Source : Fill::Empty,
                     false);
    call.run([&s](ImageHeader* d) { zarCopy(&s.header, d); });
    return call.result();
}

using TwoSources = void(ZAR_STDCALL*)(ImageHeader*, ImageHeader*, ImageHeader*);

py::object twoSources(const Keywords& kw, TwoSources function, py::handle a, py::handle b) {
    Call call(kw, kArithmetic, 3);
    Operand& sa = call.source(a);
    Operand& sb = call.source(b);
    sameSizeDestination(call, sa.array, sa.shape);
    call.run([&](ImageHeader* d) { function(&sa.header, &sb.header, d); });
    return call.result();
}

py::object add(const Keywords& kw, py::handle a, py::handle b) {
    return twoSources(kw, zarAdd, a, b);
}
py::object bitwiseOr(const Keywords& kw, py::handle a, py::handle b) {
    return twoSources(kw, zarOr, a, b);
}
py::object bitwiseAnd(const Keywords& kw, py::handle a, py::handle b) {
    return twoSources(kw, zarAnd, a, b);
}

py::object bitwiseXor(const Keywords& kw, py::handle src, py::handle value) {
    Call call(kw, kArithmetic, 2);
    Operand& s = call.source(src);
    sameSizeDestination(call, s.array, s.shape);
    const int32_t v = saturatedInt(value);
    call.run([&s, v](ImageHeader* d) { zarXorS(&s.header, d, v); });
    return call.result();
}

py::object blur(const Keywords& kw, py::handle src, py::handle ksize, py::handle anchor) {
    Call call(kw, kSameSize, 2);
    Operand& s = call.source(src);
    const auto size = ksize.cast<std::pair<int32_t, int32_t>>();
    const auto at = anchor.is_none() ? std::pair{size.first / 2, size.second / 2}
                                     : anchor.cast<std::pair<int32_t, int32_t>>();
    sameSizeDestination(call, s.array, s.shape);
    call.run([&](ImageHeader* d) {
        zarBlur(&s.header, d, size.first, size.second, at.first, at.second);
    });
    return call.result();
}

py::object fixedFilter(const Keywords& kw, py::handle src, py::handle name) {
    Call call(kw, kNeighbourhood, 2);
    Operand& s = call.source(src);
    const int32_t filter = fixedFilterOf(name);
    sameSizeDestination(call, s.array, s.shape);
    call.run([&s, filter](ImageHeader* d) { zarFixedFilter(&s.header, d, filter); });
    return call.result();
}

using Morphology = void(ZAR_STDCALL*)(ImageHeader*, ImageHeader*, int32_t);

py::object morphology(const Keywords& kw, Morphology function, py::handle src, int32_t n) {
    Call call(kw, kNeighbourhood, 2);
    Operand& s = call.source(src);
    sameSizeDestination(call, s.array, s.shape);
    call.run([&s, function, n](ImageHeader* d) { function(&s.header, d, n); });
    return call.result();
}

py::object dilate(const Keywords& kw, py::handle src, int32_t iterations) {
    return morphology(kw, zarDilate, src, iterations);
}
py::object erode(const Keywords& kw, py::handle src, int32_t iterations) {
    return morphology(kw, zarErode, src, iterations);
}

}  // namespace

void registerOperations(py::module_& m) {
    defOperation(m, "set", &set, "Fills the region with value (saturated to the type).",
                 py::arg("image"), py::arg("value"), py::kw_only());
    defOperation(m, "copy", &copy, "Copies the source region into the destination region.",
                 py::arg("src"), py::kw_only());
    defOperation(m, "add", &add, "a + b, saturated.", py::arg("a"), py::arg("b"), py::kw_only());
    defOperation(m, "bitwise_or", &bitwiseOr, "a | b on integer images.", py::arg("a"),
                 py::arg("b"), py::kw_only());
    defOperation(m, "bitwise_and", &bitwiseAnd, "a & b on integer images.", py::arg("a"),
                 py::arg("b"), py::kw_only());
    defOperation(m, "bitwise_xor", &bitwiseXor, "src ^ value on integer images.", py::arg("src"),
                 py::arg("value"), py::kw_only());
    defOperation(m, "blur", &blur,
                 "Box mean over ksize = (width, height) anchored at anchor (the centre by "
                 "default), truncated toward zero.",
                 py::arg("src"), py::arg("ksize"), py::arg("anchor") = py::none(), py::kw_only());
    defOperation(m, "fixed_filter", &fixedFilter, "One of the eleven fixed kernels, by name.",
                 py::arg("src"), py::arg("name"), py::kw_only());
    defOperation(m, "dilate", &dilate, "Maximum over the (2n+1) x (2n+1) square (n iterations).",
                 py::arg("src"), py::arg("iterations") = 1, py::kw_only());
    defOperation(m, "erode", &erode, "Minimum over the (2n+1) x (2n+1) square (n iterations).",
                 py::arg("src"), py::arg("iterations") = 1, py::kw_only());
}

}  // namespace zarpy

namespace py = pybind11;

PYBIND11_MODULE(_zar, m) {
    m.doc() = "zar image processing on numpy arrays (see the zar package).";
    zarpy::registerOperations(m);
    zarpy::registerGeometry(m);
    zarpy::registerFrame(m);
    m.def("from_bmp", &zarpy::fromBmp, py::arg("data"),
          "The picture of a .bmp file's bytes, top line first, channels blue first.");
}
