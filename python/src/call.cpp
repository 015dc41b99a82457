// The frame of one operation: its images described as headers with the call's
// regions, channels, borders and mask, the library call made without the GIL,
// and the result handed back (copied into `out` when a stand-in was used).
#include <algorithm>
#include <climits>
#include <cstring>

#include "binding.h"

namespace zarpy {

Call::Call(const Keywords& keywords, const Behaviour& behaviour, int count)
    : keywords_(keywords), behaviour_(behaviour), count_(count) {
    rois_ = parseRois(keywords.roi, count, behaviour.roiTargets);
    cois_ = parseCois(keywords.coi, count, behaviour.coiTargets);
}

// A view whose row padding holds other pixels is described as its parent's
// full rows with a region on the view, so that a function may not treat its
// rows and padding as one run.
bool Call::useParentRows(Operand& operand, int64_t stride) const {
    if (!behaviour_.parentRows || ownsRowPadding(operand.array, operand.shape, stride)) return true;
    const int64_t pixelBytes = operand.shape.channels * operand.format.size;
    if (stride % pixelBytes != 0) return false;
    operand.header.width = static_cast<int32_t>(stride / pixelBytes);
    return true;
}

Operand& Call::source(py::handle object) {
    const int index = added_++;
    Operand& operand = operands_[index];
    py::array array = asArray(object);
    operand.format = formatOf(array);
    operand.shape = shapeOf(array);
    const int64_t stride = inPlaceStride(array, operand.format, operand.shape);
    if (stride != 0) describe(operand, array, stride);
    if (stride == 0 || !useParentRows(operand, stride)) {
        const py::array copy = copyOf(array);
        describe(operand, copy, inPlaceStride(copy, operand.format, operand.shape));
    }
    applyOptions(operand, index, false);
    return operand;
}

bool Call::needsStandIn(const py::array& out, const Shape& shape, int64_t stride) const {
    if (stride == 0) return true;
    for (int i = 0; i + 1 < added_; ++i) {  // the sources, added before the destination
        const py::array& input = operands_[i].array;
        if (overlaps(out, input) && !(behaviour_.inPlace && sameView(out, input))) return true;
    }
    const int64_t pixelBytes = shape.channels * out.itemsize();
    return behaviour_.parentRows && !ownsRowPadding(out, shape, stride) && stride % pixelBytes != 0;
}

Operand& Call::destination(const py::array& like, const Shape& shape, Fill fill, bool exactShape) {
    const int index = added_++;
    Operand& operand = operands_[index];
    operand.format = formatOf(like);
    if (keywords_.out.is_none()) {
        py::array array = newImage(like.dtype(), shape);
        if (fill == Fill::Source) copyInto(array, like);
        if (fill == Fill::Zeros)
            std::memset(array.mutable_data(), 0, shape.height * array.strides(0));
        operand.shape = shape;
        describe(operand, array, inPlaceStride(array, operand.format, shape));
    } else {
        if (!py::isinstance<py::array>(keywords_.out)) throw py::type_error("out is a numpy array");
        py::array out = py::reinterpret_borrow<py::array>(keywords_.out);
        operand.shape = shapeOf(out);
        if (!out.dtype().equal(like.dtype()) || out.ndim() != like.ndim() ||
            operand.shape.channels != shape.channels ||
            (exactShape &&
             (operand.shape.height != shape.height || operand.shape.width != shape.width)))
            throw py::value_error("out has another type or shape than the result");
        if (!out.writeable()) throw py::value_error("out is read-only");
        const int64_t stride = inPlaceStride(out, operand.format, operand.shape);
        if (needsStandIn(out, operand.shape, stride)) {
            operand.target = out;
            out = copyOf(out);
        }
        describe(operand, out, inPlaceStride(out, operand.format, operand.shape));
        useParentRows(operand, operand.header.widthStep);
    }
    applyOptions(operand, index, true);
    return operand;
}

namespace {

// A region the caller gave, clipped to an image described with its parent's
// wider rows as the library would clip it to the view itself.
Rect clipToView(Rect r, const Operand& operand) {
    if (r.x < 0 || r.y < 0 || r.width < 1 || r.height < 1) return r;  // the library refuses it
    const auto width = static_cast<int32_t>(operand.shape.width);
    const auto height = static_cast<int32_t>(operand.shape.height);
    if (r.x >= width || r.y >= height) return {operand.header.width, r.y, r.width, r.height};
    return {r.x, r.y, std::min(r.width, width - r.x), std::min(r.height, height - r.y)};
}

}  // namespace

void Call::applyOptions(Operand& operand, int index, bool isDestination) {
    const bool parentRows = operand.header.width != operand.shape.width;
    if (rois_[index] || cois_[index] != 0 || parentRows) {
        Rect r = rois_[index].value_or(Rect{0, 0, operand.header.width, operand.header.height});
        if (parentRows)
            r = clipToView(rois_[index].value_or(Rect{0, 0, INT32_MAX, INT32_MAX}), operand);
        operand.roi = {cois_[index], r.x, r.y, r.width, r.height};
        operand.header.roi = &operand.roi;
    }
    if (!isDestination) {
        if (!keywords_.border.is_none()) {
            parseBorder(keywords_.border, operand.format.depth, operand.header.borderModes,
                        operand.header.borderValues);
        }
        return;
    }
    if (keywords_.mask.is_none()) return;
    packMask(mask_, keywords_.mask, operand.shape);
    if (operand.header.roi) {
        mask_.roi = {0, operand.roi.xOffset, operand.roi.yOffset, operand.roi.width,
                     operand.roi.height};
        mask_.header.roi = &mask_.roi;
    }
    masked_ = true;
    if (!behaviour_.maskByCopy) operand.header.maskImage = &mask_.header;
}

bool Call::partial(int64_t channels) const {
    return !keywords_.roi.is_none() || !keywords_.mask.is_none() ||
           (!keywords_.coi.is_none() && channels > 1);
}

Rect Call::region(int index) const {
    const Operand& operand = operands_[index];
    const auto width = static_cast<int32_t>(operand.shape.width);
    const auto height = static_cast<int32_t>(operand.shape.height);
    if (!rois_[index]) return {0, 0, width, height};
    const Rect r = *rois_[index];
    const int32_t x = std::max(r.x, 0), y = std::max(r.y, 0);
    return {x, y, std::max(0, std::min(r.x + r.width, width) - x),
            std::max(0, std::min(r.y + r.height, height) - y)};
}

namespace {

// What runs without the GIL: the library call, then for a function that takes
// no mask the copy of its result through the mask.
struct Work {
    void* call;
    void (*invoke)(void*, ImageHeader*);
    ImageHeader* target;
    ImageHeader* result = nullptr;  // the stand-in's whole image, copied ...
    ImageHeader* masked = nullptr;  // ... into the destination's under the mask
};

void runWork(void* context) {
    auto* work = static_cast<Work*>(context);
    work->invoke(work->call, work->target);
    if (work->masked) zarCopy(work->result, work->masked);
}

}  // namespace

void Call::runErased(void* call, void (*invoke)(void*, ImageHeader*)) {
    Operand& dst = operands_[added_ - 1];
    Work work{call, invoke, &dst.header};
    Operand standIn;
    ImageHeader result{}, masked{};
    if (masked_ && behaviour_.maskByCopy) {
        standIn.shape = dst.shape;
        standIn.format = dst.format;
        const py::array copy = copyOf(dst.array);
        describe(standIn, copy, inPlaceStride(copy, standIn.format, standIn.shape));
        standIn.roi = dst.roi;
        standIn.header.roi = dst.header.roi ? &standIn.roi : nullptr;
        result = standIn.header;
        result.roi = nullptr;
        masked = dst.header;
        masked.roi = nullptr;
        masked.maskImage = &mask_.header;
        mask_.header.roi = nullptr;
        work = {call, invoke, &standIn.header, &result, &masked};
    }
    beginLibraryCall(operands_, added_);
    {
        py::gil_scoped_release release;
        timedRun(&work, &runWork);
    }
    raiseIfReported();
}

py::object Call::result() {
    Operand& dst = operands_[added_ - 1];
    if (!dst.target) return dst.array;
    copyInto(py::reinterpret_borrow<py::array>(dst.target), dst.array);
    return dst.target;
}

}  // namespace zarpy
