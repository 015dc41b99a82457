// zarCloneImage: a new plain image with the format, roi values and border
// settings of its source and a copy of its pixels.
#include <algorithm>
#include <cstring>

#include "frame/frame.h"
#include "image/image.h"

namespace {

constexpr ReportSite kSite{"zarCloneImage", "zarClone"};

// Copies the source's pixels into the clone, whose block follows the
// widthStep rule.  A header filled by the application may carry a different
// widthStep (a larger padding, say) and imageSize: then the rows are copied
// one by one, each no longer than either row stride, and nothing is read past
// the source's imageSize nor written past the clone's.
void copyPixels(const ImageHeader* source, ImageHeader* clone) {
    if (source->widthStep == clone->widthStep) {
        std::memcpy(clone->imageData, source->imageData,
                    static_cast<size_t>(std::min(source->imageSize, clone->imageSize)));
        return;
    }
    const int64_t rows = static_cast<int64_t>(clone->height) *
                         (clone->dataOrder == ZAR_DATA_ORDER_PLANE ? clone->nChannels : 1);
    const int64_t rowBytes = std::min(source->widthStep, clone->widthStep);
    for (int64_t row = 0; row < rows; ++row) {
        const int64_t from = row * source->widthStep;
        const int64_t available = static_cast<int64_t>(source->imageSize) - from;
        if (available <= 0) break;
        std::memcpy(clone->imageData + row * clone->widthStep, source->imageData + from,
                    static_cast<size_t>(std::min(rowBytes, available)));
    }
}

}  // namespace

ImageHeader* ZAR_STDCALL zarCloneImage(const ImageHeader* image) {
    if (ZarStatus code = validateHeader(image); code != STATUS_OK) {
        report(kSite, code, "Incorrect Image", 37);
        return nullptr;
    }
    ImageHeader* clone = zarCreateImageHeader(
        image->nChannels, image->alphaChannel, image->depth, image->colorModel, image->channelSeq,
        image->dataOrder, image->origin, image->align, image->width, image->height, nullptr,
        nullptr, nullptr, nullptr);
    if (clone == nullptr) {
        report(kSite, STATUS_NO_MEMORY, "Not enough memory to allocate header for clone image", 57);
        return nullptr;
    }
    // Every field of the source (border settings included), then the parts a
    // clone never shares: pixels, tiles, mask and the application's tag.
    *clone = *image;
    clone->imageData = nullptr;
    clone->imageDataBlock = nullptr;
    clone->tileInfo = nullptr;
    clone->maskImage = nullptr;
    clone->imageTag = nullptr;
    clone->headerId = 0;
    if (const Roi* roi = image->roi) {
        clone->roi = makeRoi(roi->coi, roi->xOffset, roi->yOffset, roi->width, roi->height);
        if (clone->roi == nullptr) {
            report(kSite, STATUS_NO_MEMORY, "Not enough memory to allocate roi for clone image",
                   75);
            zarDeallocate(clone, ZAR_FREE_HEADER);
            return nullptr;
        }
    }
    if (clone->depth == ZAR_DEPTH_32F)
        zarAllocateImageFP(clone, 0, 0.0f);
    else
        zarAllocateImage(clone, 0, 0);
    if (clone->imageData == nullptr) {
        report(kSite, STATUS_NO_MEMORY, "Not enough memory to allocate imageData for clone image",
               88);
        zarDeallocate(clone, ZAR_FREE_HEADER | ZAR_FREE_ROI);
        return nullptr;
    }
    // A tiled source's pixels are not read: the clone keeps what the
    // allocator gave it.
    if (image->tileInfo == nullptr) copyPixels(image, clone);
    return clone;
}
