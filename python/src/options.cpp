// The keyword values every operation takes, turned into header fields: regions,
// channels of interest, border rules; and the names of modes and filters.
#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "binding.h"

namespace zarpy {

namespace {

int32_t toInt32(py::handle value, const char* what) {
    if (!PyLong_Check(value.ptr())) throw py::type_error(std::string(what) + " must be integers");
    const long long v = PyLong_AsLongLong(value.ptr());
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (v < INT32_MIN || v > INT32_MAX) throw py::value_error(std::string(what) + " out of range");
    return static_cast<int32_t>(v);
}

Rect rectOf(py::handle value) {
    const auto seq = py::reinterpret_borrow<py::sequence>(value);
    if (!py::isinstance<py::sequence>(value) || py::len(seq) != 4)
        throw py::type_error("a roi is (x, y, width, height)");
    return {toInt32(seq[0], "roi values"), toInt32(seq[1], "roi values"),
            toInt32(seq[2], "roi values"), toInt32(seq[3], "roi values")};
}

// A sequence with one entry per image of the call, or nullopt for a single value.
std::optional<py::sequence> perImage(py::handle value, bool singleIsSequence, int count) {
    if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value)) return {};
    const auto seq = py::reinterpret_borrow<py::sequence>(value);
    if (singleIsSequence && py::len(seq) > 0 && PyLong_Check(seq[0].ptr())) return {};
    if (static_cast<int>(py::len(seq)) != count)
        throw py::value_error("per-image values need one entry (or None) per image, " +
                              std::to_string(count) + " here, the destination last");
    return seq;
}

struct NamedValue {
    const char* name;
    int32_t value;
};

template <size_t N>
int32_t lookUp(py::handle value, const NamedValue (&table)[N], const char* what) {
    if (PyLong_Check(value.ptr())) return toInt32(value, what);
    const std::string name = py::str(value);
    for (const NamedValue& entry : table) {
        if (name == entry.name) return entry.value;
    }
    std::string names;
    for (const NamedValue& entry : table)
        names += std::string(names.empty() ? "" : ", ") + entry.name;
    throw py::value_error("unknown " + std::string(what) + " '" + name + "' (one of " + names +
                          ")");
}

constexpr NamedValue kBorderModes[] = {{"constant", ZAR_BORDER_CONSTANT},
                                       {"replicate", ZAR_BORDER_REPLICATE},
                                       {"reflect", ZAR_BORDER_REFLECT},
                                       {"wrap", ZAR_BORDER_WRAP}};

constexpr NamedValue kInterpolations[] = {{"nn", ZAR_INTER_NN},         {"nearest", ZAR_INTER_NN},
                                          {"linear", ZAR_INTER_LINEAR}, {"cubic", ZAR_INTER_CUBIC},
                                          {"super", ZAR_INTER_SUPER},   {"area", ZAR_INTER_SUPER}};

constexpr NamedValue kFixedFilters[] = {
    {"prewitt_x", ZAR_FIXED_PREWITT_X},   {"prewitt_y", ZAR_FIXED_PREWITT_Y},
    {"sobel_x", ZAR_FIXED_SOBEL_X},       {"sobel_y", ZAR_FIXED_SOBEL_Y},
    {"laplace_3", ZAR_FIXED_LAPLACE_3},   {"laplace_5", ZAR_FIXED_LAPLACE_5},
    {"gauss_3", ZAR_FIXED_GAUSS_3},       {"gauss_5", ZAR_FIXED_GAUSS_5},
    {"highpass_3", ZAR_FIXED_HIGHPASS_3}, {"highpass_5", ZAR_FIXED_HIGHPASS_5},
    {"sharpen_3", ZAR_FIXED_SHARPEN_3}};

// The border constant held to the depth's range, as the library's own setter does.
int32_t clampToDepth(int64_t value, int32_t depth) {
    std::pair<int64_t, int64_t> range{INT32_MIN, INT32_MAX};
    if (depth == ZAR_DEPTH_8U) range = {0, 255};
    if (depth == ZAR_DEPTH_8S) range = {-128, 127};
    if (depth == ZAR_DEPTH_16U) range = {0, 65535};
    if (depth == ZAR_DEPTH_16S) range = {-32768, 32767};
    return static_cast<int32_t>(std::clamp(value, range.first, range.second));
}

// One side: "mode", or ("constant", value).
std::pair<int32_t, int32_t> sideOf(py::handle side, int32_t depth) {
    if (py::isinstance<py::tuple>(side) || py::isinstance<py::list>(side)) {
        const auto pair = py::reinterpret_borrow<py::sequence>(side);
        if (py::len(pair) != 2) throw py::type_error("a border side is 'mode' or (mode, value)");
        return {lookUp(pair[0], kBorderModes, "border mode"),
                clampToDepth(toInt32(pair[1], "border values"), depth)};
    }
    return {lookUp(side, kBorderModes, "border mode"), 0};
}

}  // namespace

std::array<std::optional<Rect>, 4> parseRois(py::handle roi, int count, uint32_t targets) {
    std::array<std::optional<Rect>, 4> rois;
    if (roi.is_none()) return rois;
    if (const auto entries = perImage(roi, true, count)) {
        for (int i = 0; i < count; ++i) {
            if (!(*entries)[i].is_none()) rois[i] = rectOf((*entries)[i]);
        }
        return rois;
    }
    const Rect rect = rectOf(roi);
    for (int i = 0; i < count; ++i) {
        if (targets & (1u << i)) rois[i] = rect;
    }
    return rois;
}

std::array<int32_t, 4> parseCois(py::handle coi, int count, uint32_t targets) {
    std::array<int32_t, 4> cois{};
    if (coi.is_none()) return cois;
    if (const auto entries = perImage(coi, false, count)) {
        for (int i = 0; i < count; ++i) {
            if (!(*entries)[i].is_none()) cois[i] = toInt32((*entries)[i], "coi");
        }
        return cois;
    }
    const int32_t channel = toInt32(coi, "coi");
    for (int i = 0; i < count; ++i) {
        if (targets & (1u << i)) cois[i] = channel;
    }
    return cois;
}

void parseBorder(py::handle border, int32_t depth, int32_t modes[4], int32_t values[4]) {
    const auto seq = py::reinterpret_borrow<py::sequence>(border);
    const bool perSide = (py::isinstance<py::tuple>(border) || py::isinstance<py::list>(border)) &&
                         py::len(seq) == 4;
    for (int side = 0; side < 4; ++side) {
        std::tie(modes[side], values[side]) = sideOf(perSide ? seq[side] : border, depth);
    }
}

int32_t interpolationOf(py::handle interpolation) {
    return lookUp(interpolation, kInterpolations, "interpolation");
}

int32_t fixedFilterOf(py::handle name) { return lookUp(name, kFixedFilters, "fixed filter"); }

int32_t saturatedInt(py::handle value) {
    if (!PyLong_Check(value.ptr()))
        throw py::type_error("the value for an integer image is an int");
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0) return overflow > 0 ? INT32_MAX : INT32_MIN;
    return static_cast<int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

Ratio ratioOf(py::handle value) {
    py::object pair;
    if (py::isinstance<py::tuple>(value) || py::isinstance<py::list>(value)) {
        pair = py::reinterpret_borrow<py::object>(value);
    } else if (py::isinstance<py::float_>(value)) {
        // A float becomes the nearest fraction with a denominator up to 4096.
        const py::object fraction = py::module_::import("fractions").attr("Fraction")(value);
        const py::object limited = fraction.attr("limit_denominator")(4096);
        pair = py::make_tuple(limited.attr("numerator"), limited.attr("denominator"));
    } else {
        pair = py::make_tuple(value.attr("numerator"), value.attr("denominator"));
    }
    const auto seq = py::reinterpret_borrow<py::sequence>(pair);
    if (py::len(seq) != 2) throw py::type_error("a factor is a number or (numerator, denominator)");
    const Ratio ratio{toInt32(seq[0], "factors"), toInt32(seq[1], "factors")};
    if (ratio.num < 1 || ratio.den < 1) throw py::value_error("factors must be positive");
    return ratio;
}

}  // namespace zarpy
