// libFuzzer target over every public operation (the catalogue of
// tests/support/operations.h).  The input chooses the operation, its integer
// arguments and up to four images: format, size, region, channel of interest,
// alpha channel, mask, border rules, plain or tiled (through a callback that
// may refuse tiles), in place or over another image's memory.  Images are at
// most 48 x 48, or tiled up to INT32_MAX wide with a region of at most 48 x 48
// (given to every such image), so the work is bounded by what the input chose.
// After every call each tile handed out must have been handed back.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "support/operations.h"

namespace {

constexpr int32_t kDepths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                               ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};

// Tiles of every tiled image of one input, made when first asked for.
struct TiledImage {
    std::map<std::pair<int32_t, int32_t>, std::vector<char>> tiles;
    size_t tileBytes = 0;
    uint64_t refused = 0;  // tile (c, r) is refused when bit (7 c + 13 r) mod 64 is set
    uint8_t fill = 0;
    int32_t outstanding = 0;
};
std::map<const ImageHeader*, TiledImage> tiledImages;

void ZAR_STDCALL tileCallback(ImageHeader* image, int32_t column, int32_t row, int32_t mode) {
    auto it = tiledImages.find(image);
    if (it == tiledImages.end()) {  // a header the application never made
        if (image && image->tileInfo) image->tileInfo->tileData = nullptr;
        return;
    }
    TiledImage& t = it->second;
    if (mode == ZAR_TILE_RELEASE) {
        if (image->tileInfo->tileData) --t.outstanding;
        return;
    }
    const bool refuse = (t.refused >> ((7u * column + 13u * row) % 64)) & 1;
    char* data = nullptr;
    if (!refuse) {
        auto [at, made] = t.tiles.try_emplace({column, row});
        if (made) at->second.assign(t.tileBytes, static_cast<char>(t.fill));
        data = at->second.data();
        ++t.outstanding;
    }
    image->tileInfo->tileData = data;
}

// One image of the input and the records it owns.
struct FuzzImage {
    ImageHeader* header = nullptr;
    ImageHeader* mask = nullptr;
    ImageHeader shared{};  // a header over another image's memory
    Roi roi{}, maskRoi{};
    TileInfo tileInfo{};
    bool huge = false;  // tiled, up to INT32_MAX wide
    ~FuzzImage() {
        if (header) {
            tiledImages.erase(header);
            header->tileInfo = nullptr;
            header->roi = nullptr;
            header->maskImage = nullptr;
            zarDeallocate(header, ZAR_FREE_DATA | ZAR_FREE_HEADER);
        }
        if (mask) {
            mask->roi = nullptr;
            zarDeallocate(mask, ZAR_FREE_DATA | ZAR_FREE_HEADER);
        }
    }
};

void fillPixels(FuzzedDataProvider& in, ImageHeader* image) {
    if (!image || !image->imageData) return;
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(
        in.ConsumeIntegralInRange<size_t>(0, static_cast<size_t>(image->imageSize)));
    if (!bytes.empty()) std::memcpy(image->imageData, bytes.data(), bytes.size());
}

Roi makeRoi(FuzzedDataProvider& in, int32_t nChannels, int32_t width, int32_t height) {
    Roi r;
    r.coi = in.ConsumeIntegralInRange<int32_t>(0, nChannels);
    r.xOffset = in.ConsumeIntegralInRange<int32_t>(0, width + 2);
    r.yOffset = in.ConsumeIntegralInRange<int32_t>(0, height + 2);
    r.width = in.ConsumeIntegralInRange<int32_t>(1, 50);
    r.height = in.ConsumeIntegralInRange<int32_t>(1, 50);
    return r;
}

// A header (or null) from the input: mostly valid, at times with one field
// that validation refuses.
void makeImage(FuzzedDataProvider& in, FuzzImage& f, const FuzzImage* other) {
    if (other && other->header && other->header->imageData && in.ConsumeBool()) {
        // Another image's memory from one of its rows on.
        const ImageHeader* o = other->header;
        const int32_t skip = in.ConsumeIntegralInRange<int32_t>(0, o->height - 1);
        f.shared = *o;
        f.shared.imageData += static_cast<ptrdiff_t>(skip) * o->widthStep;
        f.shared.height -= skip;
        f.shared.imageSize = f.shared.widthStep * f.shared.height;
        f.shared.roi = nullptr;
        f.shared.maskImage = nullptr;
        if (o->dataOrder == ZAR_DATA_ORDER_PLANE) f.shared.nChannels = 1;
        if (in.ConsumeBool()) {
            f.roi = makeRoi(in, f.shared.nChannels, f.shared.width, f.shared.height);
            f.shared.roi = &f.roi;
        }
        return;
    }
    const int32_t depth = kDepths[in.ConsumeIntegralInRange<int32_t>(0, 6)];
    const int32_t channels = depth == ZAR_DEPTH_1U ? 1 : in.ConsumeIntegralInRange<int32_t>(1, 4);
    const int32_t alpha = in.ConsumeBool() ? channels : 0;
    const int32_t order = in.ConsumeIntegralInRange<int32_t>(0, 1);
    const int32_t align = 4 << in.ConsumeIntegralInRange<int32_t>(0, 3);
    const bool tiled = in.ConsumeBool();
    const bool huge = tiled && in.ConsumeBool();
    f.huge = huge;
    const int32_t width = huge ? INT_MAX - in.ConsumeIntegralInRange<int32_t>(0, 64)
                               : in.ConsumeIntegralInRange<int32_t>(1, 48);
    const int32_t height = huge ? in.ConsumeIntegralInRange<int32_t>(1, 1 << 20)
                                : in.ConsumeIntegralInRange<int32_t>(1, 48);
    f.header = zarCreateImageHeader(channels, alpha, depth, "RGBA", "BGRA", order,
                                    in.ConsumeIntegralInRange<int32_t>(0, 1), align, width, height,
                                    nullptr, nullptr, nullptr, nullptr);
    if (!f.header) return;
    ImageHeader* h = f.header;
    for (int32_t side = 0; side < 4; ++side) {
        h->borderModes[side] = in.ConsumeIntegralInRange<int32_t>(0, 3);
        h->borderValues[side] = in.ConsumeIntegral<int32_t>();
    }
    if (tiled) {
        TiledImage& t = tiledImages[h];
        f.tileInfo.callBack = in.ConsumeIntegralInRange<int32_t>(0, 40) ? tileCallback : nullptr;
        f.tileInfo.width = 8 * in.ConsumeIntegralInRange<int32_t>(1, 8);
        f.tileInfo.height = 8 * in.ConsumeIntegralInRange<int32_t>(1, 8);
        ImageHeader* one = zarCreateImageHeader(channels, alpha, depth, "RGBA", "BGRA", order, 0,
                                                align, f.tileInfo.width, f.tileInfo.height, nullptr,
                                                nullptr, nullptr, nullptr);
        t.tileBytes = one ? static_cast<size_t>(one->imageSize) : 0;
        zarDeallocate(one, ZAR_FREE_HEADER);
        t.refused = in.ConsumeBool() ? in.ConsumeIntegral<uint64_t>() : 0;
        t.fill = in.ConsumeIntegral<uint8_t>();
        h->tileInfo = &f.tileInfo;
    } else if (depth == ZAR_DEPTH_32F) {
        zarAllocateImageFP(h, 0, 0.0f);
        fillPixels(in, h);
    } else {
        zarAllocateImage(h, 0, 0);
        fillPixels(in, h);
    }
    if (huge || in.ConsumeBool()) {
        f.roi = makeRoi(in, channels, huge ? 48 : width, huge ? 48 : height);
        if (huge) f.roi.xOffset = width - 48 + f.roi.xOffset % 48;
        h->roi = &f.roi;
    }
    if (in.ConsumeIntegralInRange<int32_t>(0, 3) == 0) {  // a mask
        f.mask = zarCreateImageHeader(
            1, 0, ZAR_DEPTH_1U, "GRAY", "G\0\0", 0, 0, 4, in.ConsumeIntegralInRange<int32_t>(1, 48),
            in.ConsumeIntegralInRange<int32_t>(1, 48), nullptr, nullptr, nullptr, nullptr);
        if (f.mask) {
            zarAllocateImage(f.mask, 1, -1);
            fillPixels(in, f.mask);
            if (in.ConsumeBool()) {
                f.maskRoi = makeRoi(in, 1, f.mask->width, f.mask->height);
                f.mask->roi = &f.maskRoi;
            }
            h->maskImage = f.mask;
        }
    }
    switch (in.ConsumeIntegralInRange<int32_t>(0, 24)) {  // a field validation refuses
        case 0:
            h->depth = 7;
            break;
        case 1:
            h->alphaChannel = h->nChannels + 1;
            break;
        case 2:
            h->align = 3;
            break;
        case 3:
            if (h->roi) h->roi->coi = h->nChannels + 1;
            break;
        case 4:
            f.tileInfo.width = 12;
            break;
        default:
            break;
    }
}

ImageHeader* headerOf(FuzzImage& f) { return f.shared.imageData ? &f.shared : f.header; }

// Arguments: mostly small, at times the ends of the int32 range.
int32_t argument(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int32_t>(0, 9)) {
        case 0:
            return in.ConsumeIntegral<int32_t>();
        case 1:
            return in.PickValueInArray({INT_MAX, INT_MIN, 65536, -1, 0});
        default:
            return in.ConsumeIntegralInRange<int32_t>(0, 9);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarSetStatus(in.ConsumeBool() ? STATUS_OK : STATUS_BAD_ARG);
    const zt::CatalogueEntry& op =
        zt::kOperations[in.ConsumeIntegralInRange<int32_t>(0, zt::kOperationCount - 1)];
    if (op.readsPastBlock) return 0;
    zt::Operands o;
    for (int32_t& a : o.args) a = argument(in);
    FuzzImage images[4];
    for (int32_t i = 0; i < 4; ++i) makeImage(in, images[i], i > 0 ? &images[0] : nullptr);
    o.src = headerOf(images[0]);
    o.src2 = in.ConsumeBool() ? o.src : headerOf(images[1]);
    o.dst = in.ConsumeBool() ? o.src : headerOf(images[2]);
    o.xMap = headerOf(images[3]);
    o.yMap = in.ConsumeBool() ? o.xMap : headerOf(images[1]);
    const std::vector<uint8_t> block = in.ConsumeRemainingBytes<uint8_t>();
    o.block = block.data();
    o.blockSize = block.size();
    // The calls that make a whole image of the source's size: work the size of
    // a huge image, which no region bounds.
    const bool wholeImage = !std::strcmp(op.name, "zarAllocateImage") ||
                            !std::strcmp(op.name, "zarCloneImage") ||
                            !std::strcmp(op.name, "zarDeallocate");
    if (wholeImage && images[0].huge) return 0;
    // A neighbourhood reaching far into a huge source covers real pixels, as
    // many as it is large: it stays small there.
    if (!std::strcmp(op.name, "zarBlur") && images[0].huge)
        for (int32_t i = 0; i < 4; ++i) o.args[i] = std::clamp(o.args[i], 0, 64);
    op.call(o);
    for (auto& [header, tiled] : tiledImages)
        if (tiled.outstanding != 0) std::abort();  // a tile handed out and never handed back
    if (o.made) zarDeallocate(o.made, ZAR_FREE_ALL);
    return 0;
}
