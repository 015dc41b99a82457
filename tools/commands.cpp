#include "commands.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats.h"
#include "messages.h"

namespace tool {

namespace {

// A destination of the source's size and pixels, with the job's region and
// mask, so the operation changes only the region (and the masked pixels).
OwnedImage sameSizeDestination(Job& job, const ImageHeader* src) {
    OwnedImage dst = duplicate(src);
    dst->roi = job.roi;
    dst->maskImage = job.mask;
    return dst;
}

OwnedImage runBlur(Job& job) {
    ImageHeader* src = job.inputs[0].get();
    const Pair size = job.options.size.value_or(Pair{3, 3});
    const Pair anchor = job.options.anchor.value_or(Pair{size.a / 2, size.b / 2});
    OwnedImage dst = sameSizeDestination(job, src);
    zarBlur(src, dst.get(), size.a, size.b, anchor.a, anchor.b);
    return dst;
}

OwnedImage runFilter(Job& job) {
    OwnedImage dst = sameSizeDestination(job, job.inputs[0].get());
    zarFixedFilter(job.inputs[0].get(), dst.get(), job.options.kernel);
    return dst;
}

template <auto Morph>
OwnedImage runMorph(Job& job) {
    OwnedImage dst = sameSizeDestination(job, job.inputs[0].get());
    Morph(job.inputs[0].get(), dst.get(), job.options.iterations);
    return dst;
}

// Geometry moves an alpha channel with the colours: while the library works,
// the images have none.
struct AlphaAsColour {
    ImageHeader *src, *dst;
    int32_t alpha;
    AlphaAsColour(ImageHeader* s, ImageHeader* d) : src(s), dst(d), alpha(s->alphaChannel) {
        src->alphaChannel = dst->alphaChannel = 0;
    }
    ~AlphaAsColour() { src->alphaChannel = dst->alphaChannel = alpha; }
};

// The region's size: the image's, or the region cut at the image's edges.
Pair regionSize(const ImageHeader* image, const Options& o) {
    if (!o.roi) return {image->width, image->height};
    return {std::min(o.roi->width, image->width - o.roi->xOffset),
            std::min(o.roi->height, image->height - o.roi->yOffset)};
}

struct Scale {
    int32_t xDst, xSrc, yDst, ySrc;
    int32_t width, height;  // output size
};

Scale scaleOf(const ImageHeader* src, const Options& o) {
    const Pair region = regionSize(src, o);
    if (o.size) return {o.size->a, region.a, o.size->b, region.b, o.size->a, o.size->b};
    const Ratio r = *o.scale;
    const int64_t w = std::max<int64_t>(1, int64_t{region.a} * r.num / r.den);
    const int64_t h = std::max<int64_t>(1, int64_t{region.b} * r.num / r.den);
    if (w > 1 << 16 || h > 1 << 16 || w * h > int64_t{1} << 28)
        throw UserError("--scale " + o.textOf("--scale") + " makes an image of " +
                        std::to_string(w) + "x" + std::to_string(h) + " pixels, too large");
    return {r.num, r.den, r.num, r.den, static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

template <auto Scaling>
OwnedImage runScaling(Job& job) {
    ImageHeader* src = job.inputs[0].get();
    const Scale s = scaleOf(src, job.options);
    OwnedImage dst = newLike(src, s.width, s.height);
    AlphaAsColour alpha(src, dst.get());
    Scaling(src, dst.get(), s.xDst, s.xSrc, s.yDst, s.ySrc, job.options.interp);
    return dst;
}

OwnedImage loadMap(const std::string& path, const char* option) {
    OwnedImage map = loadImage(path);
    if (map->depth != ZAR_DEPTH_32F || map->nChannels != 1)
        throw UserError(std::string(option) + " '" + path +
                        "' must be a one-channel float map (.pfm or float TIFF)");
    return map;
}

// Maps that turn the picture clockwise by --rotate degrees and magnify it
// by --scale, both about its centre.
void rotationMaps(const ImageHeader* src, const Options& o, OwnedImage& xMap, OwnedImage& yMap) {
    xMap = newImage(1, ZAR_DEPTH_32F, src->width, src->height);
    yMap = newImage(1, ZAR_DEPTH_32F, src->width, src->height);
    const double angle = o.rotate * M_PI / 180.0;
    const double zoom = o.scale ? o.scale->value() : 1.0;
    const double cx = (src->width - 1) / 2.0, cy = (src->height - 1) / 2.0;
    // Whole turns are exact: no stray 1e-16 puts a border pixel outside the picture.
    auto exact = [](double v) { return std::round(v * 1e12) / 1e12; };
    const double c = exact(std::cos(angle)) / zoom, s = exact(std::sin(angle)) / zoom;
    for (int32_t y = 0; y < src->height; ++y) {
        auto* xs = reinterpret_cast<float*>(rowOf(xMap.get(), y));
        auto* ys = reinterpret_cast<float*>(rowOf(yMap.get(), y));
        for (int32_t x = 0; x < src->width; ++x) {
            const double dx = x - cx, dy = y - cy;
            xs[x] = static_cast<float>(cx + c * dx + s * dy);
            ys[x] = static_cast<float>(cy - s * dx + c * dy);
        }
    }
}

OwnedImage runRemap(Job& job) {
    const Options& o = job.options;
    ImageHeader* src = job.inputs[0].get();
    OwnedImage xMap, yMap;
    if (o.has("--xmap")) {
        xMap = loadMap(o.xmap, "--xmap");
        yMap = loadMap(o.ymap, "--ymap");
        if (xMap->width != yMap->width || xMap->height != yMap->height)
            throw UserError("--xmap and --ymap differ in size");
    } else {
        rotationMaps(src, o, xMap, yMap);
    }
    OwnedImage dst = newLike(src, xMap->width, xMap->height);
    AlphaAsColour alpha(src, dst.get());
    zarRemap(src, xMap.get(), yMap.get(), dst.get(), o.interp);
    return dst;
}

OwnedImage runAdd(Job& job) {
    OwnedImage dst = sameSizeDestination(job, job.inputs[0].get());
    zarAdd(job.inputs[0].get(), job.inputs[1].get(), dst.get());
    return dst;
}

OwnedImage runCopy(Job& job) {
    ImageHeader* src = job.inputs[0].get();
    const Pair region = regionSize(src, job.options);
    // With --coi the one channel becomes a gray image.
    OwnedImage dst = job.options.coi ? newImage(1, src->depth, region.a, region.b)
                                     : newLike(src, region.a, region.b);
    zarCopy(src, dst.get());
    return dst;
}

OwnedImage runSet(Job& job) {
    OwnedImage dst = sameSizeDestination(job, job.inputs[0].get());
    const double value = *job.options.value;
    if (dst->depth == ZAR_DEPTH_32F)
        zarSetFP(dst.get(), static_cast<float>(value));
    else
        zarSet(dst.get(), static_cast<int32_t>(
                              std::clamp(std::nearbyint(value), -2147483648.0, 2147483647.0)));
    return dst;
}

OwnedImage runConvert(Job& job) { return std::move(job.inputs[0]); }

void resizeCall(ImageHeader* s, ImageHeader* d, int32_t a, int32_t b, int32_t c, int32_t e,
                int32_t i) {
    zarResize(s, d, a, b, c, e, i);
}

const char* const kRoi = "--roi";
const char* const kCoi = "--coi";
const char* const kMask = "--mask";
const char* const kBorder = "--border";

const std::vector<Command> kCommands = {
    {"blur",
     "box blur: the mean of a neighbourhood",
     "Every pixel of the region becomes the mean of the WxH neighbourhood whose\n"
     "anchor cell lies on it: the sum times 1/(W*H), cut toward zero.",
     {{"--size", "WxH: the neighbourhood (default 3x3)"},
      {"--anchor",
       "X,Y: the neighbourhood's cell that lies on the pixel, counted from its\n"
       "top-left cell from 0 (default the centre, W/2,H/2)"},
      {kBorder, nullptr},
      {kRoi, nullptr},
      {kCoi, nullptr},
      {kMask, nullptr}},
     "zar blur --size 5x5 --border replicate photo.png soft.png",
     1,
     runBlur},
    {"filter",
     "one of eleven fixed 3x3 and 5x5 kernels",
     "Convolves the region with a fixed kernel (--kernel, required).",
     {{"--kernel", nullptr},
      {kBorder, nullptr},
      {kRoi, nullptr},
      {kCoi, nullptr},
      {kMask, nullptr}},
     "zar filter --kernel sobel-x photo.png edges.png",
     1,
     runFilter},
    {"dilate",
     "maximum over a square: bright areas grow",
     "Every pixel of the region becomes the maximum of the (2N+1)x(2N+1) square around\n"
     "it, the same as N rounds of the 3x3 maximum.  8- and 16-bit images.",
     {{"--iterations", nullptr},
      {kBorder, nullptr},
      {kRoi, nullptr},
      {kCoi, nullptr},
      {kMask, nullptr}},
     "zar dilate --iterations 2 shapes.png fat.png",
     1,
     runMorph<zarDilate>},
    {"erode",
     "minimum over a square: dark areas grow",
     "Every pixel of the region becomes the minimum of the (2N+1)x(2N+1) square around\n"
     "it, the same as N rounds of the 3x3 minimum.  8- and 16-bit images.",
     {{"--iterations", nullptr},
      {kBorder, nullptr},
      {kRoi, nullptr},
      {kCoi, nullptr},
      {kMask, nullptr}},
     "zar erode --border replicate shapes.png thin.png",
     1,
     runMorph<zarErode>},
    {"resize",
     "scale up or down",
     "Scales the region (the whole image without --roi) into a new image, up or down\n"
     "and each direction on its own.  8- and 16-bit images; alpha is scaled too.",
     {{"--size", "WxH: the output size"},
      {"--scale", nullptr},
      {"--interp", nullptr},
      {kRoi, nullptr}},
     "zar resize --scale 50% --interp super photo.png half.png",
     1,
     runScaling<resizeCall>},
    {"zoom",
     "enlarge",
     "Enlarges the region (the whole image without --roi) into a new image; the first\n"
     "and last output pixels lie on the first and last input pixels.  8- and 16-bit\n"
     "images; alpha is scaled too.",
     {{"--size", "WxH: the output size"},
      {"--scale", nullptr},
      {"--interp", nullptr},
      {kRoi, nullptr}},
     "zar zoom --scale 2 --interp cubic photo.png big.png",
     1,
     runScaling<zarZoom>},
    {"decimate",
     "shrink",
     "Shrinks the region (the whole image without --roi) into a new image.  8- and\n"
     "16-bit images; alpha is scaled too.",
     {{"--size", "WxH: the output size"},
      {"--scale", nullptr},
      {"--interp", nullptr},
      {kRoi, nullptr}},
     "zar decimate --scale 1/3 --interp super photo.png small.png",
     1,
     runScaling<zarDecimate>},
    {"remap",
     "rotate, magnify, or move pixels through coordinate maps",
     "Output pixel (x, y) takes the input at the position the maps give: turned by\n"
     "--rotate and magnified by --scale about the centre of the picture, the pixel\n"
     "((width-1)/2, (height-1)/2), or read from --xmap and --ymap.  Output pixels\n"
     "whose position lies outside the input stay black (and transparent).  8- and\n"
     "16-bit images.",
     {{"--rotate", nullptr},
      {"--scale", "S: magnify about the centre by S (default 1)"},
      {"--xmap", nullptr},
      {"--ymap", nullptr},
      {"--interp", "MODE: nn, linear (default) or cubic"}},
     "zar remap --rotate 30 --interp cubic photo.png turned.png",
     1,
     runRemap},
    {"add",
     "saturating sum of two images",
     "Adds the second image to the first over their common region; sums above the\n"
     "maximum stay at the maximum.  The second image is first brought to the first\n"
     "one's channels and depth.",
     {{kRoi, nullptr}, {kCoi, nullptr}, {kMask, nullptr}},
     "zar add day.png night.png both.png",
     2,
     runAdd},
    {"copy",
     "copy the region into a new image (crop)",
     "Copies the region into a new image of the region's size; with --coi N, channel\n"
     "N of the region alone, as a gray image.",
     {{kRoi, nullptr}, {kCoi, nullptr}},
     "zar copy --roi 100,50,320,240 photo.png crop.png",
     1,
     runCopy},
    {"set",
     "fill the region with a value",
     "Fills the region (and the mask's pixels) with --value, in the image's sample\n"
     "units (0 to 255 for 8-bit images), saturated to that range.",
     {{"--value", nullptr}, {kRoi, nullptr}, {kCoi, nullptr}, {kMask, nullptr}},
     "zar set --value 255 --roi 0,0,32,32 photo.png marked.png",
     1,
     runSet},
    {"convert",
     "change the file format",
     "Reads any supported file and writes it in the format of the output's extension.",
     {},
     "zar convert photo.bmp photo.png",
     1,
     runConvert},
};

// A 1-bit mask of the image's size: set where the mask file is not 0.
OwnedImage loadMask(const std::string& path, const ImageHeader* like) {
    OwnedImage picture = loadImage(path);
    if (picture->width != like->width || picture->height != like->height)
        throw UserError("--mask '" + path + "' is " + std::to_string(picture->width) + "x" +
                        std::to_string(picture->height) + ", the image " +
                        std::to_string(like->width) + "x" + std::to_string(like->height));
    OwnedImage holder;
    const ImageHeader* gray = shaped(picture.get(), 1, ZAR_DEPTH_8U, holder);
    OwnedImage mask(zarCreateImageHeader(1, 0, ZAR_DEPTH_1U, "GRAY", "GRAY", ZAR_DATA_ORDER_PIXEL,
                                         ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, like->width, like->height,
                                         nullptr, nullptr, nullptr, nullptr));
    if (!mask.get()) throw UserError("out of memory");
    zarAllocateImage(mask.get(), 1, 0);
    if (!mask->imageData) throw UserError("out of memory");
    for (int32_t y = 0; y < like->height; ++y) {
        const auto* in = reinterpret_cast<const uint8_t*>(pictureRow(gray, y));
        auto* out = reinterpret_cast<uint8_t*>(rowOf(mask.get(), y));
        for (int32_t x = 0; x < like->width; ++x)
            if (in[x]) out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
    return mask;
}

// The region and channel must lie in the image.
void checkRegion(const Options& o, const ImageHeader* image) {
    const std::string size = std::to_string(image->width) + "x" + std::to_string(image->height);
    if (o.roi && (o.roi->xOffset >= image->width || o.roi->yOffset >= image->height))
        throw UserError("--roi " + o.textOf(kRoi) + " lies outside the " + size + " image");
    if (o.coi > image->nChannels)
        throw UserError("--coi " + std::to_string(o.coi) + ": the image has " +
                        std::to_string(image->nChannels) + " channel" +
                        (image->nChannels > 1 ? "s" : ""));
}

// Takes the region, mask and borders off the images when the call is over.
struct Attachments {
    std::vector<OwnedImage>& inputs;
    ~Attachments() {
        for (OwnedImage& image : inputs)
            if (image.get()) image->roi = nullptr, image->maskImage = nullptr;
    }
};

}  // namespace

const std::vector<Command>& commands() { return kCommands; }

const Command* findCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

void checkOptions(const Command& command, const Options& o) {
    for (const std::string& name : o.given) {
        bool used = name == "--quality" || name == "--format" || name == "-o";
        for (const OptionUse& use : command.options) used = used || name == use.name;
        if (!used)
            throw UserError(std::string(command.name) + " does not use " + name + " (see zar " +
                            command.name + " --help)");
    }
    const std::string op = command.name;
    if (op == "filter" && o.kernel < 0) throw UserError("filter needs --kernel NAME");
    if (op == "set" && !o.value) throw UserError("set needs --value V");
    if (o.has("--anchor") && !o.has("--size")) throw UserError("--anchor needs --size");
    if (op == "remap") {
        const bool maps = o.has("--xmap") || o.has("--ymap");
        if (maps && (o.xmap.empty() || o.ymap.empty()))
            throw UserError("give both --xmap and --ymap");
        if (maps && (o.has("--rotate") || o.has("--scale")))
            throw UserError("--xmap and --ymap replace --rotate and --scale");
        if (!maps && !o.has("--rotate") && !o.has("--scale"))
            throw UserError("remap needs --rotate DEG, --scale S or --xmap/--ymap");
    }
    const bool scaling = op == "resize" || op == "zoom" || op == "decimate";
    if (scaling && o.size && o.scale) throw UserError("give --size or --scale, not both");
    if (scaling && !o.size && !o.scale) throw UserError(op + " needs --size WxH or --scale S");
    if (o.has("--format") && o.outputDir.empty())
        throw UserError(
            "--format names the outputs' type with -o DIR; otherwise the output's "
            "extension does");
}

OwnedImage runCommand(const Command& command, std::vector<OwnedImage>& inputs,
                      const Options& options) {
    ImageHeader* first = inputs[0].get();
    // Operations see the picture top line first; a conversion keeps the rows.
    if (std::strcmp(command.name, "convert") != 0)
        for (OwnedImage& image : inputs) makeTopDown(image.get());
    checkRegion(options, first);
    if (command.inputs == 2) {
        OwnedImage holder;
        if (shaped(inputs[1].get(), first->nChannels, first->depth, holder) != inputs[1].get())
            inputs[1] = std::move(holder);
    }
    Roi roi = options.roi.value_or(Roi{0, 0, 0, first->width, first->height});
    roi.coi = options.coi;
    const bool withRoi = options.roi || options.coi != 0;
    Attachments attached{inputs};
    for (OwnedImage& image : inputs) {
        for (int side = 0; options.borderMode && side < 4; ++side) {
            image->borderModes[side] = *options.borderMode;
            image->borderValues[side] = options.borderValue;
        }
        if (withRoi) image->roi = &roi;
    }
    OwnedImage mask;
    if (!options.mask.empty()) mask = loadMask(options.mask, first);
    Job job{inputs, options, withRoi ? &roi : nullptr, mask.get()};
    clearReport();
    OwnedImage result = command.run(job);
    result->roi = nullptr;
    result->maskImage = nullptr;
    LibraryReport report;
    if (libraryFailed(&report))
        throw UserError(
            inUserWords(report, command.name, inputs[0].get() ? inputs[0].get() : result.get()));
    return result;
}

}  // namespace tool
