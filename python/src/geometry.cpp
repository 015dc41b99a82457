// decimate, zoom, resize and remap.  The result is sized from the source region
// as the library sizes it; a roi given alone applies to the source.  Decimation
// and remapping take no mask in the library: their result reaches the
// destination through a masked copy.
#include <algorithm>
#include <cmath>

#include "binding.h"

namespace zarpy {

namespace {

enum class Scaling { Decimate, Zoom, Resize };

struct Factors {
    Ratio x, y;
};

Factors factorsOf(py::handle size, py::handle fx, py::handle fy, py::handle out,
                  const Rect& region) {
    if (region.width < 1 || region.height < 1) throw py::value_error("the source region is empty");
    if (!size.is_none()) {
        const auto wh = size.cast<std::pair<int32_t, int32_t>>();
        return {{wh.first, region.width}, {wh.second, region.height}};
    }
    if (!fx.is_none()) {
        const Ratio x = ratioOf(fx);
        return {x, fy.is_none() ? x : ratioOf(fy)};
    }
    if (!out.is_none()) {
        const py::array array = asArray(out);
        const auto width = static_cast<int32_t>(array.shape(1));
        const auto height = static_cast<int32_t>(array.shape(0));
        return {{width, region.width}, {height, region.height}};
    }
    throw py::type_error("give the size (width, height), the factors fx (and fy), or out");
}

// Result pixels along an axis: decimation floors region × num / den; the zoom
// engine takes nearest(region / scale − 0.5 + 0.00001), at least 1.
int64_t scaledSize(int32_t region, Ratio r, bool decimates) {
    if (decimates) return static_cast<int64_t>(region) * r.num / r.den;
    const double scale = static_cast<double>(r.den) / r.num;
    const double v = std::nearbyint(region / scale - 0.5 + 0.00001);
    return std::max<int64_t>(1, static_cast<int64_t>(std::clamp(v, 0.0, 2147483647.0)));
}

py::object scale(const Keywords& kw, Scaling kind, py::handle src, py::handle size, py::handle fx,
                 py::handle fy, py::handle interpolation) {
    const int32_t mode = interpolationOf(interpolation);
    const bool decimates = kind == Scaling::Decimate ||
                           (kind == Scaling::Resize && mode == ZAR_INTER_SUPER);
    Call call(kw, Behaviour{1u, 1u | 2u, false, false, decimates}, 2);
    Operand& s = call.source(src);
    const Factors f = factorsOf(size, fx, fy, kw.out, call.region(0));
    Shape shape = s.shape;
    shape.width = scaledSize(call.region(0).width, f.x, decimates);
    shape.height = scaledSize(call.region(0).height, f.y, decimates);
    if (shape.width < 1 || shape.height < 1) throw py::value_error("the result would be empty");
    call.destination(s.array, shape, call.partial(shape.channels) ? Fill::Zeros : Fill::Empty,
                     false);
    call.run([&](ImageHeader* d) {
        const int32_t xDst = f.x.num, xSrc = f.x.den, yDst = f.y.num, ySrc = f.y.den;
        if (kind == Scaling::Decimate) zarDecimate(&s.header, d, xDst, xSrc, yDst, ySrc, mode);
        if (kind == Scaling::Zoom) zarZoom(&s.header, d, xDst, xSrc, yDst, ySrc, mode);
        if (kind == Scaling::Resize) zarResize(&s.header, d, xDst, xSrc, yDst, ySrc, mode);
    });
    return call.result();
}

py::object decimate(const Keywords& kw, py::handle src, py::handle size, py::handle fx,
                    py::handle fy, py::handle interpolation) {
    return scale(kw, Scaling::Decimate, src, size, fx, fy, interpolation);
}
py::object zoom(const Keywords& kw, py::handle src, py::handle size, py::handle fx, py::handle fy,
                py::handle interpolation) {
    return scale(kw, Scaling::Zoom, src, size, fx, fy, interpolation);
}
py::object resize(const Keywords& kw, py::handle src, py::handle size, py::handle fx, py::handle fy,
                  py::handle interpolation) {
    return scale(kw, Scaling::Resize, src, size, fx, fy, interpolation);
}

py::object remap(const Keywords& kw, py::handle src, py::handle xmap, py::handle ymap,
                 py::handle interpolation) {
    const int32_t mode = interpolationOf(interpolation);
    Call call(kw, Behaviour{1u, 1u | 8u, false, false, true}, 4);
    Operand& s = call.source(src);
    Operand& mx = call.source(xmap);
    Operand& my = call.source(ymap);
    Shape shape = s.shape;
    shape.width = mx.shape.width;
    shape.height = mx.shape.height;
    // Pixels whose position falls outside the source region are not written.
    call.destination(s.array, shape, Fill::Zeros, false);
    call.run([&](ImageHeader* d) { zarRemap(&s.header, &mx.header, &my.header, d, mode); });
    return call.result();
}

}  // namespace

void registerGeometry(py::module_& m) {
#define ZAR_SIZING                                                                           \
    " Give the result size (width, height), or the factors fx and fy (a number, a Fraction " \
    "or (numerator, denominator); fy defaults to fx), or out."
    const auto scaled = [&m](const char* name, auto function, const char* doc) {
        defOperation(m, name, function, doc, py::arg("src"), py::arg("size") = py::none(),
                     py::kw_only(), py::arg("fx") = py::none(), py::arg("fy") = py::none(),
                     py::arg("interpolation") = "linear");
    };
    scaled("decimate", &decimate, "Shrinks the source region (factors at most 1)." ZAR_SIZING);
    scaled("zoom", &zoom, "Enlarges the source region (factors at least 1)." ZAR_SIZING);
    scaled("resize", &resize, "Scales the source region by any factors." ZAR_SIZING);
#undef ZAR_SIZING
    defOperation(m, "remap", &remap,
                 "dst[r, c] = src at (xmap[r, c], ymap[r, c]), maps of float32; positions outside "
                 "the source region leave the destination pixel as it was.",
                 py::arg("src"), py::arg("xmap"), py::arg("ymap"),
                 py::arg("interpolation") = "linear", py::kw_only());
}

}  // namespace zarpy
