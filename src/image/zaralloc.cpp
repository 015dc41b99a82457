// Image headers (creation, validation, border settings) and image memory
// (the aligned allocator, pixel allocation with fill, release).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "frame/frame.h"
#include "image/image.h"

namespace {

constexpr const char* kFile = "zaralloc";
constexpr const char* kBadArgs = "Incorrect data-ins";

// The mask rule shared by creation, allocation and validation: a mask must be
// an untiled, valid 1-bit image; its own failure c becomes c - 100.
ZarStatus checkMask(const ImageHeader* mask) {
    if (mask == nullptr) return STATUS_OK;
    if (mask->depth != ZAR_DEPTH_1U) return STATUS_MASK_BAD_DEPTH;
    if (mask->tileInfo != nullptr) return STATUS_MASK_TILED;
    ZarStatus own = validateHeader(mask);
    return own != STATUS_OK ? own - STATUS_MASK_OFFSET : STATUS_OK;
}

// Row stride and pixel block size by the widthStep rule, in 64 bits so that
// absurd sizes are detected instead of wrapping.
struct PixelLayout {
    int64_t widthStep, imageSize;
};

// Products saturate: a header may carry any numbers, and only sizes that fit
// 32 bits are ever allocated.
int64_t saturatingProduct(int64_t a, int64_t b) {
    int64_t product;
    if (__builtin_mul_overflow(a, b, &product)) return std::numeric_limits<int64_t>::max() / 2;
    return product;
}

PixelLayout pixelLayout(int32_t dataOrder, int32_t depth, int32_t align, int32_t nChannels,
                        int32_t width, int32_t height) {
    int64_t bits = saturatingProduct(width, bitDepth(depth));
    if (dataOrder == ZAR_DATA_ORDER_PIXEL) bits = saturatingProduct(bits, nChannels);
    int64_t unit = 8 * static_cast<int64_t>(align);
    int64_t widthStep = (bits + unit - 1) / unit * unit / 8;
    int64_t imageSize = saturatingProduct(widthStep, height);
    if (dataOrder == ZAR_DATA_ORDER_PLANE) imageSize = saturatingProduct(imageSize, nChannels);
    return {widthStep, imageSize};
}

int32_t clampTo(int32_t value, int32_t lo, int32_t hi) {
    return value < lo ? lo : value > hi ? hi : value;
}

// The 32-bit word written by the fill of an integer-depth image.
uint32_t fillPattern(int32_t depth, int32_t fillValue) {
    uint32_t v = static_cast<uint32_t>(fillValue);
    switch (bitDepth(depth)) {
        case 1:
            return (v & 1u) ? 0xFFFFFFFFu : 0u;
        case 8:
            return (v & 0xFFu) * 0x01010101u;
        case 16:
            return (v & 0xFFFFu) * 0x00010001u;
        default:
            return v;
    }
}

void fillWords(char* data, int32_t imageSize, uint32_t pattern) {
    // imageSize is a multiple of align, hence of 4.
    for (int32_t offset = 0; offset + 4 <= imageSize; offset += 4)
        std::memcpy(data + offset, &pattern, 4);
}

// Checks shared by zarAllocateImage and zarAllocateImageFP; the lines of the
// four argument reports and of the header check differ between the two.
struct AllocateSite {
    const char* funcName;
    int32_t lineNull, lineHasData, lineTiled, lineDepth, lineHeader;
    bool floatDepth;  // true: the image must be 32F; false: it must not be
};

bool allocationArgumentsValid(const ImageHeader* image, const AllocateSite& site) {
    if (image == nullptr) {
        zarReportError(STATUS_BAD_ARG, site.funcName, "( image == ((void *)0) )", kFile,
                       site.lineNull);
        return false;
    }
    if (image->imageData != nullptr) {
        zarReportError(STATUS_BAD_ARG, site.funcName, "( image->imageData != ((void *)0) )", kFile,
                       site.lineHasData);
        return false;
    }
    if (image->tileInfo != nullptr) {
        zarReportError(STATUS_BAD_ARG, site.funcName, "( image->tileInfo != ((void *)0) )", kFile,
                       site.lineTiled);
        return false;
    }
    if (!site.floatDepth && image->depth == ZAR_DEPTH_32F) {
        zarReportError(STATUS_BAD_ARG, site.funcName, "( image->depth == 32 )", kFile,
                       site.lineDepth);
        return false;
    }
    if (site.floatDepth && image->depth != ZAR_DEPTH_32F) {
        zarReportError(STATUS_BAD_ARG, site.funcName, "( image->depth != 32 )", kFile,
                       site.lineDepth);
        return false;
    }
    ZarStatus code = checkHeaderArgs(image->nChannels, image->alphaChannel, image->depth,
                                     image->colorModel, image->channelSeq, image->dataOrder,
                                     image->origin, image->align, image->width, image->height,
                                     image->maskImage);
    if (code != STATUS_OK) {
        zarReportError(code, site.funcName, kBadArgs, kFile, site.lineHeader);
        return false;
    }
    return true;
}

// Gives image a pixel block by the widthStep rule and, with doFill, writes
// pattern into every 32-bit word (row padding included).  A failed runtime
// allocation is not reported: imageData stays null.  A block whose size does
// not fit the header's 32-bit imageSize counts as such a failure.
void allocatePixels(ImageHeader* image, int32_t doFill, uint32_t pattern) {
    PixelLayout layout = pixelLayout(image->dataOrder, image->depth, image->align, image->nChannels,
                                     image->width, image->height);
    constexpr int64_t kMaxSize = std::numeric_limits<int32_t>::max();
    if (layout.imageSize > kMaxSize - image->align) {
        image->imageDataBlock = nullptr;
        return;
    }
    int32_t imageSize = static_cast<int32_t>(layout.imageSize);
    image->imageDataBlock = static_cast<char*>(
        std::malloc(static_cast<size_t>(image->align) + imageSize - 1));
    if (image->imageDataBlock == nullptr) return;
    uintptr_t block = reinterpret_cast<uintptr_t>(image->imageDataBlock);
    uintptr_t align = static_cast<uintptr_t>(image->align);
    image->imageData = image->imageDataBlock + ((align - block % align) % align);
    image->imageSize = imageSize;
    image->widthStep = static_cast<int32_t>(layout.widthStep);
    if (doFill != 0) fillWords(image->imageData, imageSize, pattern);
}

}  // namespace

// ---------------------------------------------------------------- headers

bool isValidDepth(int32_t depth) {
    switch (depth) {
        case ZAR_DEPTH_1U:
        case ZAR_DEPTH_8U:
        case ZAR_DEPTH_8S:
        case ZAR_DEPTH_16U:
        case ZAR_DEPTH_16S:
        case ZAR_DEPTH_32S:
        case ZAR_DEPTH_32F:
            return true;
        default:
            return false;
    }
}

bool isValidAlign(int32_t align) { return align == 4 || align == 8 || align == 16 || align == 32; }

ZarStatus checkHeaderArgs(int32_t nChannels, int32_t alphaChannel, int32_t depth,
                          const char* colorModel, const char* channelSeq, int32_t dataOrder,
                          int32_t origin, int32_t align, int32_t width, int32_t height,
                          const ImageHeader* maskImage) {
    if (height < 1 || width < 1) return STATUS_BAD_IMAGE_SIZE;
    if (nChannels < 1) return STATUS_BAD_CHANNELS;
    if (nChannels != 1 && depth == ZAR_DEPTH_1U) return STATUS_BAD_1U_CHANNELS;
    if (colorModel == nullptr || channelSeq == nullptr) return STATUS_BAD_COLOR_MODEL;
    if (!isValidDepth(depth)) return STATUS_BAD_DEPTH;
    if (alphaChannel != 0 && alphaChannel != nChannels) return STATUS_BAD_ALPHA;
    if (dataOrder != ZAR_DATA_ORDER_PIXEL && dataOrder != ZAR_DATA_ORDER_PLANE)
        return STATUS_BAD_ORDER;
    if (origin != ZAR_ORIGIN_TL && origin != ZAR_ORIGIN_BL) return STATUS_BAD_ORIGIN;
    if (!isValidAlign(align)) return STATUS_BAD_ALIGN;
    return checkMask(maskImage);
}

namespace {
ZarStatus firstHeaderFault(const ImageHeader* image) {
    if (image == nullptr) return STATUS_NULL_HEADER;
    bool tiled = image->tileInfo != nullptr;
    if ((image->imageData == nullptr) == !tiled) return STATUS_BAD_DATA_POINTERS;
    if (image->imageSize < 1 && !tiled) return STATUS_BAD_IMAGE_SIZE;
    if (image->widthStep < 1 && !tiled) return STATUS_BAD_WIDTH_STEP;
    if (image->width < 1 || image->height < 1) return STATUS_BAD_IMAGE_SIZE;
    if (image->nChannels < 1) return STATUS_BAD_CHANNELS;
    if (image->nChannels != 1 && image->depth == ZAR_DEPTH_1U) return STATUS_BAD_1U_CHANNELS;
    if (!isValidDepth(image->depth)) return STATUS_BAD_DEPTH;
    if (image->alphaChannel != 0 && image->alphaChannel != image->nChannels)
        return STATUS_BAD_ALPHA;
    if (image->dataOrder != ZAR_DATA_ORDER_PIXEL && image->dataOrder != ZAR_DATA_ORDER_PLANE)
        return STATUS_BAD_ORDER;
    if (image->origin != ZAR_ORIGIN_TL && image->origin != ZAR_ORIGIN_BL) return STATUS_BAD_ORIGIN;
    if (!isValidAlign(image->align)) return STATUS_BAD_ALIGN;
    if (ZarStatus mask = checkMask(image->maskImage); mask != STATUS_OK) return mask;
    if (tiled) {
        const TileInfo* tile = image->tileInfo;
        if (tile->callBack == nullptr) return STATUS_NULL_CALLBACK;
        if (tile->width < 1) return STATUS_BAD_TILE_SIZE;
        if (tile->height < 1 || tile->width % 8 != 0 || tile->height % 8 != 0)
            return STATUS_BAD_TILE_SIZE;
    }
    if (const Roi* roi = image->roi) {
        if (roi->coi < 0 || roi->coi > image->nChannels) return STATUS_BAD_COI;
        if (roi->height < 1 || roi->width < 1) return STATUS_BAD_ROI_SIZE;
        if (roi->xOffset < 0 || roi->yOffset < 0) return STATUS_BAD_ROI_OFFSET;
    }
    return STATUS_OK;
}
}  // namespace

ZarStatus validateHeader(const ImageHeader* image) {
    ZarStatus code = firstHeaderFault(image);
    if (code != STATUS_OK) zarSetStatus(code);
    return code;
}

Roi* makeRoi(int32_t coi, int32_t xOffset, int32_t yOffset, int32_t width, int32_t height) {
    Roi* roi = static_cast<Roi*>(alignedMalloc(sizeof(Roi)));
    if (roi != nullptr) *roi = Roi{coi, xOffset, yOffset, width, height};
    return roi;
}

void setBorderMode(ImageHeader* image, int32_t mode, int32_t sides, int32_t value) {
    // Border constants are kept within the depth's range; 32-bit depths take
    // the value as given.
    switch (image->depth) {
        case ZAR_DEPTH_1U:
            value = clampTo(value, 0, 1);
            break;
        case ZAR_DEPTH_8U:
            value = clampTo(value, 0, 255);
            break;
        case ZAR_DEPTH_8S:
            value = clampTo(value, -128, 127);
            break;
        case ZAR_DEPTH_16U:
            value = clampTo(value, 0, 65535);
            break;
        case ZAR_DEPTH_16S:
            value = clampTo(value, -32768, 32767);
            break;
        default:
            break;
    }
    for (int side = 0; side < 4; ++side) {
        if ((sides & (1 << side)) == 0) continue;
        image->borderModes[side] = mode;
        image->borderValues[side] = value;
    }
}

int32_t computeWidthStep(int32_t dataOrder, int32_t depth, int32_t align, int32_t nChannels,
                         int32_t width) {
    PixelLayout layout = pixelLayout(dataOrder, depth, align, nChannels, width, 1);
    return static_cast<int32_t>(layout.widthStep);
}

int32_t tileWidthStep(const ImageHeader* image) {
    if (image == nullptr || image->tileInfo == nullptr || validateHeader(image) != STATUS_OK)
        return 0;
    return computeWidthStep(image->dataOrder, image->depth, image->align, image->nChannels,
                            image->tileInfo->width);
}

ImageHeader* ZAR_STDCALL zarCreateImageHeader(int32_t nChannels, int32_t alphaChannel,
                                              int32_t depth, const char* colorModel,
                                              const char* channelSeq, int32_t dataOrder,
                                              int32_t origin, int32_t align, int32_t width,
                                              int32_t height, Roi* roi, ImageHeader* maskImage,
                                              void* imageTag, TileInfo* tileInfo) {
    ZarStatus code = checkHeaderArgs(nChannels, alphaChannel, depth, colorModel, channelSeq,
                                     dataOrder, origin, align, width, height, maskImage);
    if (code != STATUS_OK) {
        zarReportError(code, "zarCreateImageHeader", kBadArgs, kFile, 148);
        return nullptr;
    }
    auto* image = static_cast<ImageHeader*>(alignedMalloc(sizeof(ImageHeader)));
    if (image == nullptr) return nullptr;
    std::memset(image, 0, sizeof(ImageHeader));
    image->headerSize = sizeof(ImageHeader);
    image->headerId = 0;
    image->nChannels = nChannels;
    image->alphaChannel = alphaChannel;
    image->depth = depth;
    std::memcpy(image->colorModel, colorModel, 4);
    std::memcpy(image->channelSeq, channelSeq, 4);
    image->dataOrder = dataOrder;
    image->origin = origin;
    image->align = align;
    image->width = width;
    image->height = height;
    image->roi = roi;
    image->maskImage = maskImage;
    image->imageTag = imageTag;
    image->tileInfo = tileInfo;
    image->imageData = nullptr;
    image->imageDataBlock = nullptr;
    // Sizes beyond 32 bits do not fit the header's fields and are cut to
    // 32 bits here; the allocator refuses such images.
    PixelLayout layout = pixelLayout(dataOrder, depth, align, nChannels, width, height);
    image->widthStep = static_cast<int32_t>(layout.widthStep);
    image->imageSize = static_cast<int32_t>(layout.imageSize);
    setBorderMode(image, ZAR_BORDER_CONSTANT, ZAR_SIDE_ALL, 0);
    return image;
}

// ----------------------------------------------------------------- memory

void* alignedMalloc(size_t size) {
    // A block larger than any image (whose imageSize is an int32) is refused
    // as the runtime would refuse it on the 32-bit machines the sizes were
    // made for: only a hostile size asks for one, and trying would exhaust
    // the machine rather than fail.
    if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return nullptr;
    // The runtime block's address is stored just below the result; the result
    // is the first multiple of 32 that leaves room for it.
    constexpr uintptr_t kAlign = 32;
    char* raw = static_cast<char*>(std::malloc(size + 68));
    if (raw == nullptr) return nullptr;
    uintptr_t rawAddress = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (rawAddress + sizeof(void*) + kAlign - 1) & ~(kAlign - 1);
    char* result = raw + (aligned - rawAddress);
    std::memcpy(result - sizeof(void*), &raw, sizeof(void*));
    return result;
}

void alignedFree(void* p) {
    if (p == nullptr) return;
    void* raw;
    std::memcpy(&raw, static_cast<char*>(p) - sizeof(void*), sizeof(void*));
    std::free(raw);
}

void ZAR_STDCALL zarAllocateImage(ImageHeader* image, int32_t doFill, int32_t fillValue) {
    static constexpr AllocateSite site{"zarAllocateImage", 256, 257, 258, 259, 269, false};
    if (!allocationArgumentsValid(image, site)) return;
    allocatePixels(image, doFill, fillPattern(image->depth, fillValue));
}

void ZAR_STDCALL zarAllocateImageFP(ImageHeader* image, int32_t doFill, float fillValue) {
    static constexpr AllocateSite site{"zarAllocateImageFP", 321, 322, 323, 324, 334, true};
    if (!allocationArgumentsValid(image, site)) return;
    uint32_t pattern;
    std::memcpy(&pattern, &fillValue, 4);
    allocatePixels(image, doFill, pattern);
}

void ZAR_STDCALL zarDeallocate(ImageHeader* image, int32_t flags) {
    if (image == nullptr) return;
    if ((flags & ZAR_FREE_ROI) && image->roi != nullptr) {
        alignedFree(image->roi);
        image->roi = nullptr;
    }
    if ((flags & ZAR_FREE_MASK) && image->maskImage != nullptr) {
        // The mask's header, pixels, roi and tile record; not the mask's own mask.
        zarDeallocate(image->maskImage,
                      ZAR_FREE_HEADER | ZAR_FREE_DATA | ZAR_FREE_ROI | ZAR_FREE_TILE);
        image->maskImage = nullptr;
    }
    if ((flags & ZAR_FREE_TILE) && image->tileInfo != nullptr) {
        alignedFree(image->tileInfo);
        image->tileInfo = nullptr;
    }
    if ((flags & ZAR_FREE_DATA) && image->imageDataBlock != nullptr) {
        std::free(image->imageDataBlock);
        image->imageData = nullptr;
        image->imageDataBlock = nullptr;
    }
    if (flags & ZAR_FREE_HEADER) alignedFree(image);
}
