// The Python binding's shared pieces: numpy arrays described by image headers,
// the keyword options every operation takes, and the call frame that runs one
// library call with the GIL released and turns its report into zar.ZarError.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "zar.h"

namespace zarpy {

namespace py = pybind11;

// ------------------------------------------------------------------ arrays.cpp

// A numpy element type that has a library depth.
struct PixelFormat {
    int32_t depth = 0;
    int32_t size = 0;  // bytes per value
};

// The (H, W) or (H, W, C) extent of an image array.
struct Shape {
    int64_t height = 0, width = 0, channels = 1;
    bool hasChannelAxis = false;
};

// One image of a call: a header over the memory of `array`.
struct Operand {
    ImageHeader header{};
    Roi roi{};
    PixelFormat format;
    Shape shape;
    // The memory the header describes.  (A default py::array would be a new
    // empty numpy array: this one starts as no object.)
    py::array array = py::reinterpret_steal<py::array>(py::handle());
    py::object target;  // the caller's `out`, when `array` stands in for it
};

// A 1-bit mask image packed from a boolean or 0/1 array.
struct Mask {
    ImageHeader header{};
    Roi roi{};
    std::vector<uint8_t> bits;
};

py::array asArray(py::handle object);
PixelFormat formatOf(const py::array& array);
Shape shapeOf(const py::array& array);
// A new array of that size whose rows lie as the library lays out its own images.
py::array newImage(const py::dtype& dtype, const Shape& shape);
py::array copyOf(const py::array& array);
void copyInto(const py::array& destination, const py::array& source);
// Row stride in bytes with which the library can address the array in place, or 0.
int64_t inPlaceStride(const py::array& array, const PixelFormat& format, const Shape& shape);
// True when the bytes between the array's rows belong to the array alone.
bool ownsRowPadding(const py::array& array, const Shape& shape, int64_t stride);
bool overlaps(const py::array& a, const py::array& b);
bool sameView(const py::array& a, const py::array& b);
void describe(Operand& operand, const py::array& array, int64_t stride);
void packMask(Mask& mask, py::handle object, const Shape& shape);

// ---------------------------------------------------------------- options.cpp

struct Rect {
    int32_t x = 0, y = 0, width = 0, height = 0;
};

// What a single roi or coi value applies to, and what the call's library
// function needs of its images.
struct Behaviour {
    uint32_t roiTargets;  // bit i: operand i (sources in order, destination last)
    uint32_t coiTargets;
    bool parentRows;  // the function may treat an image's rows and padding as one run
    bool inPlace;     // the destination may be the same view as a source
    bool maskByCopy;  // the function takes no mask: the result is copied through it
};

struct Keywords {
    py::object roi, coi, mask, border, out;
};

std::array<std::optional<Rect>, 4> parseRois(py::handle roi, int count, uint32_t targets);
std::array<int32_t, 4> parseCois(py::handle coi, int count, uint32_t targets);
// Fills the four border modes and constants (top, bottom, left, right).
void parseBorder(py::handle border, int32_t depth, int32_t modes[4], int32_t values[4]);
int32_t interpolationOf(py::handle interpolation);
int32_t fixedFilterOf(py::handle name);
int32_t saturatedInt(py::handle value);

struct Ratio {
    int32_t num = 1, den = 1;
};
Ratio ratioOf(py::handle value);

// ------------------------------------------------------------------- call.cpp

enum class Fill { Empty, Source, Zeros };

// The images of one library call, sources first and the destination last.
class Call {
  public:
    Call(const Keywords& keywords, const Behaviour& behaviour, int count);
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // A source image: in place when the library can address the array, else a copy.
    Operand& source(py::handle object);
    // The destination: `out` when given (or a stand-in copied back into it
    // afterwards), else a new array filled as asked.  With exactShape false `out`
    // may have any height and width.
    Operand& destination(const py::array& like, const Shape& shape, Fill fill, bool exactShape);
    // True when the call leaves part of a destination of the first source's
    // shape unwritten (a region, a channel or a mask).
    bool partial(int64_t channels) const;
    // The region of operand i clipped to its array (the whole array without one).
    Rect region(int index) const;

    // Runs the library call on the destination header with the GIL released.
    template <class F>
    void run(F&& libraryCall) {
        runErased(&libraryCall,
                  [](void* call, ImageHeader* dst) { (*static_cast<F*>(call))(dst); });
    }
    py::object result();

  private:
    void runErased(void* call, void (*invoke)(void*, ImageHeader*));
    void applyOptions(Operand& operand, int index, bool isDestination);
    bool needsStandIn(const py::array& out, const Shape& shape, int64_t stride) const;
    bool useParentRows(Operand& operand, int64_t stride) const;

    const Keywords& keywords_;
    const Behaviour behaviour_;
    const int count_;
    int added_ = 0;
    std::array<Operand, 4> operands_;
    std::array<std::optional<Rect>, 4> rois_;
    std::array<int32_t, 4> cois_{};
    Mask mask_;
    bool masked_ = false;
};

// ------------------------------------------------------------------ frame.cpp

// Return mode and the recording handler for the calling thread, a clean status
// word, and the images' addresses for _image_addresses.
void beginLibraryCall(const std::array<Operand, 4>& operands, int count);
void beginLibraryCall();
void raiseIfReported();
// Runs `work` once, or many times timing each run when a timing was asked for.
void timedRun(void* context, void (*work)(void*));
void registerFrame(py::module_& m);

// Binds f(keywords, positional...) as name(positional..., roi=, coi=, mask=, border=, out=).
template <class... Args, class... Extra>
void defOperation(py::module_& m, const char* name, py::object (*f)(const Keywords&, Args...),
                  const char* doc, const Extra&... extra) {
    m.def(
        name,
        [f](Args... args, py::object roi, py::object coi, py::object mask, py::object border,
            py::object out) {
            return f(Keywords{roi, coi, mask, border, out}, args...);
        },
        doc, extra..., py::arg("roi") = py::none(), py::arg("coi") = py::none(),
        py::arg("mask") = py::none(), py::arg("border") = py::none(), py::arg("out") = py::none());
}

void registerOperations(py::module_& m);
void registerGeometry(py::module_& m);

// ------------------------------------------------------------------ bitmap.cpp

py::array fromBmp(py::handle data);

}  // namespace zarpy
