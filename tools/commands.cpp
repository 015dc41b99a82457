#include "commands.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace tool {

namespace {

// ------------------------------------------------------------ option values

int32_t parseInt(const std::string& text, const std::string& what) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < -(1L << 30) || value > (1L << 30))
        throw UserError("bad " + what + " '" + text + "'");
    return static_cast<int32_t>(value);
}

double parseReal(const std::string& text, const std::string& what) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        throw UserError("bad " + what + " '" + text + "'");
    return value;
}

std::vector<int32_t> parseList(const std::string& text, char separator, size_t count,
                               const std::string& what) {
    std::vector<int32_t> values;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        values.push_back(parseInt(text.substr(start, end - start), what));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (values.size() != count) throw UserError("bad " + what + " '" + text + "'");
    return values;
}

struct Ratio {
    int32_t num, den;
};

// "3/2", "0.5" or "2": a positive ratio of small integers.
Ratio parseRatio(const std::string& text) {
    size_t slash = text.find('/');
    Ratio r{};
    if (slash != std::string::npos) {
        r = {parseInt(text.substr(0, slash), "scale"), parseInt(text.substr(slash + 1), "scale")};
    } else {
        double v = parseReal(text, "scale");
        r = {static_cast<int32_t>(std::lround(v * 1000)), 1000};
    }
    if (r.num < 1 || r.den < 1 || r.num > 100000 || r.den > 100000)
        throw UserError("bad scale '" + text + "'");
    int32_t g = std::gcd(r.num, r.den);
    return {r.num / g, r.den / g};
}

int32_t parseInterp(const std::string& text) {
    if (text == "nn") return ZAR_INTER_NN;
    if (text == "linear") return ZAR_INTER_LINEAR;
    if (text == "cubic") return ZAR_INTER_CUBIC;
    if (text == "super") return ZAR_INTER_SUPER;
    throw UserError("bad --interp '" + text + "' (nn, linear, cubic or super)");
}

void parseBorder(const std::string& text, Options& options) {
    std::string mode = text.substr(0, text.find('='));
    if (mode == "constant") {
        options.borderMode = ZAR_BORDER_CONSTANT;
        if (mode.size() < text.size())
            options.borderValue = parseInt(text.substr(mode.size() + 1), "border value");
    } else if (text == "replicate") {
        options.borderMode = ZAR_BORDER_REPLICATE;
    } else if (text == "reflect") {
        options.borderMode = ZAR_BORDER_REFLECT;
    } else if (text == "wrap") {
        options.borderMode = ZAR_BORDER_WRAP;
    } else {
        throw UserError("bad --border '" + text + "' (constant[=V], replicate, reflect or wrap)");
    }
}

// ------------------------------------------------------- library helpers

// Clears the status word, and afterwards turns a reported error into a UserError
// (the report itself was already printed by the tool's handler).
struct LibraryCall {
    LibraryCall() { beginLibraryCall(); }
    static void check() {
        if (zarGetStatus() < 0) throw UserError("");
    }
};

// A copy of image with the same pixels: the part outside the region keeps them.
OwnedImage duplicate(const ImageHeader* image) {
    OwnedImage copy = newLike(image, image->width, image->height);
    std::memcpy(copy->imageData, image->imageData, static_cast<size_t>(image->imageSize));
    return copy;
}

struct Scale {
    int32_t xDst, xSrc, yDst, ySrc;
    int32_t width, height;  // output size
};

Scale scaleOf(const ImageHeader* src, const Options& options) {
    int32_t w = options.roi ? options.roi->width : src->width;
    int32_t h = options.roi ? options.roi->height : src->height;
    if (!options.size.empty()) {
        std::vector<int32_t> wh = parseList(options.size, 'x', 2, "--size");
        if (wh[0] < 1 || wh[1] < 1 || wh[0] > 1 << 15 || wh[1] > 1 << 15)
            throw UserError("bad --size '" + options.size + "'");
        return {wh[0], w, wh[1], h, wh[0], wh[1]};
    }
    if (options.scale.empty()) throw UserError("give --size WxH or --scale S");
    Ratio r = parseRatio(options.scale);
    int64_t outW = std::max<int64_t>(1, (static_cast<int64_t>(w) * r.num + r.den / 2) / r.den);
    int64_t outH = std::max<int64_t>(1, (static_cast<int64_t>(h) * r.num + r.den / 2) / r.den);
    if (outW > 1 << 15 || outH > 1 << 15) throw UserError("the scaled image is too large");
    return {r.num, r.den, r.num, r.den, static_cast<int32_t>(outW), static_cast<int32_t>(outH)};
}

// ------------------------------------------------------------ operations

// A destination of the source's size and pixels, with the job's region and
// mask, so the operation changes only the region (and the masked pixels).
OwnedImage sameSizeDestination(Job& job, const ImageHeader* src) {
    OwnedImage dst = duplicate(src);
    dst->roi = job.roi;
    dst->maskImage = job.mask;
    return dst;
}

OwnedImage runBlur(Job& job) {
    auto& in = job.inputs;
    const Options& o = job.options;
    ImageHeader* src = in[0].get();
    std::vector<int32_t> size = o.size.empty() ? std::vector<int32_t>{3, 3}
                                               : parseList(o.size, 'x', 2, "--size");
    std::vector<int32_t> anchor = o.anchor.empty() ? std::vector<int32_t>{size[0] / 2, size[1] / 2}
                                                   : parseList(o.anchor, ',', 2, "--anchor");
    OwnedImage dst = sameSizeDestination(job, src);
    zarBlur(src, dst.get(), size[0], size[1], anchor[0], anchor[1]);
    return dst;
}

OwnedImage runFilter(Job& job) {
    auto& in = job.inputs;
    const Options& o = job.options;
    const std::vector<std::string>& names = filterNames();
    int32_t filter = -1;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == o.kernel) filter = static_cast<int32_t>(i);
    if (filter < 0) {
        std::string list;
        for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
        throw UserError("give --kernel NAME, one of " + list);
    }
    OwnedImage dst = sameSizeDestination(job, in[0].get());
    zarFixedFilter(in[0].get(), dst.get(), filter);
    return dst;
}

OwnedImage runDilate(Job& job) {
    auto& in = job.inputs;
    const Options& o = job.options;
    OwnedImage dst = sameSizeDestination(job, in[0].get());
    zarDilate(in[0].get(), dst.get(), o.iterations);
    return dst;
}

OwnedImage runErode(Job& job) {
    auto& in = job.inputs;
    const Options& o = job.options;
    OwnedImage dst = sameSizeDestination(job, in[0].get());
    zarErode(in[0].get(), dst.get(), o.iterations);
    return dst;
}

template <auto Operation>
OwnedImage runScaling(Job& job) {
    auto& in = job.inputs;
    const Options& o = job.options;
    ImageHeader* src = in[0].get();
    if (job.mask) throw UserError("--mask needs an operation that keeps the image size");
    Scale s = scaleOf(src, o);
    OwnedImage dst = newLike(src, s.width, s.height);
    Operation(src, dst.get(), s.xDst, s.xSrc, s.yDst, s.ySrc, o.interp.value_or(ZAR_INTER_LINEAR));
    return dst;
}

void resizeCall(ImageHeader* s, ImageHeader* d, int32_t a, int32_t b, int32_t c, int32_t e,
                int32_t i) {
    zarResize(s, d, a, b, c, e, i);
}
void zoomCall(ImageHeader* s, ImageHeader* d, int32_t a, int32_t b, int32_t c, int32_t e,
              int32_t i) {
    zarZoom(s, d, a, b, c, e, i);
}
void decimateCall(ImageHeader* s, ImageHeader* d, int32_t a, int32_t b, int32_t c, int32_t e,
                  int32_t i) {
    zarDecimate(s, d, a, b, c, e, i);
}

// Coordinate maps: rotation by --rotate degrees and scaling by --scale about
// the centre, or maps read from files.
void buildMaps(const ImageHeader* src, const Options& o, OwnedImage& xMap, OwnedImage& yMap) {
    if (!o.xmap.empty() || !o.ymap.empty()) {
        if (o.xmap.empty() || o.ymap.empty()) throw UserError("give both --xmap and --ymap");
        xMap = loadImage(o.xmap);
        yMap = loadImage(o.ymap);
        if (xMap->depth != ZAR_DEPTH_32F || yMap->depth != ZAR_DEPTH_32F)
            throw UserError("maps must be float maps (.pfm)");
        return;
    }
    if (!o.rotate && o.scale.empty())
        throw UserError("give --rotate DEG, --scale S or --xmap/--ymap");
    double angle = o.rotate.value_or(0.0) * M_PI / 180.0;
    double zoom = o.scale.empty() ? 1.0 : parseReal(o.scale, "--scale");
    if (zoom <= 0) throw UserError("bad --scale '" + o.scale + "'");
    xMap = newCanonical(1, ZAR_DEPTH_32F, src->width, src->height);
    yMap = newCanonical(1, ZAR_DEPTH_32F, src->width, src->height);
    double cx = (src->width - 1) / 2.0, cy = (src->height - 1) / 2.0;
    double c = std::cos(angle) / zoom, s = std::sin(angle) / zoom;
    for (int32_t y = 0; y < src->height; ++y)
        for (int32_t x = 0; x < src->width; ++x) {
            double dx = x - cx, dy = y - cy;
            storeAt(xMap.get(), x, y, 0, cx + c * dx + s * dy);
            storeAt(yMap.get(), x, y, 0, cy - s * dx + c * dy);
        }
}

OwnedImage runRemap(Job& job) {
    auto& in = job.inputs;
    const Options& o = job.options;
    OwnedImage xMap, yMap;
    buildMaps(in[0].get(), o, xMap, yMap);
    OwnedImage dst = newLike(in[0].get(), xMap->width, xMap->height);
    if (job.mask) throw UserError("--mask is not supported by remap");
    zarRemap(in[0].get(), xMap.get(), yMap.get(), dst.get(), o.interp.value_or(ZAR_INTER_LINEAR));
    return dst;
}

OwnedImage runAdd(Job& job) {
    auto& in = job.inputs;
    OwnedImage dst = sameSizeDestination(job, in[0].get());
    zarAdd(in[0].get(), in[1].get(), dst.get());
    return dst;
}

OwnedImage runCopy(Job& job) {
    auto& in = job.inputs;
    const Options& o = job.options;
    ImageHeader* src = in[0].get();
    int32_t w = o.roi ? std::min(o.roi->width, src->width - o.roi->xOffset) : src->width;
    int32_t h = o.roi ? std::min(o.roi->height, src->height - o.roi->yOffset) : src->height;
    if (w < 1 || h < 1) throw UserError("the region lies outside the image");
    OwnedImage dst = newLike(src, w, h);
    if (job.mask)
        throw UserError("--mask is not supported by copy (the output has the region's size)");
    zarCopy(src, dst.get());
    return dst;
}

OwnedImage runSet(Job& job) {
    auto& in = job.inputs;
    const Options& o = job.options;
    OwnedImage dst = sameSizeDestination(job, in[0].get());
    in[0]->roi = nullptr;
    zarSet(dst.get(), static_cast<int32_t>(o.value));
    return dst;
}

OwnedImage runConvert(Job& job) { return duplicate(job.inputs[0].get()); }

const std::vector<Command> kCommands = {
    {"blur", "blur [--size WxH] [--anchor x,y] IN OUT",
     "box blur over a WxH neighbourhood (default 3x3)",
     "zar blur --size 5x5 --border replicate photo.bmp soft.bmp", 1, runBlur},
    {"filter", "filter --kernel NAME IN OUT", "one of the eleven fixed 3x3 / 5x5 kernels",
     "zar filter --kernel sobel-x photo.bmp edges.bmp", 1, runFilter},
    {"dilate", "dilate [--iterations N] IN OUT", "3x3 maximum, N times",
     "zar dilate --iterations 2 shapes.pgm fat.pgm", 1, runDilate},
    {"erode", "erode [--iterations N] IN OUT", "3x3 minimum, N times",
     "zar erode shapes.pgm thin.pgm", 1, runErode},
    {"resize", "resize (--size WxH | --scale S) [--interp M] IN OUT", "scale in any direction",
     "zar resize --scale 1/2 --interp super photo.bmp half.bmp", 1, runScaling<resizeCall>},
    {"zoom", "zoom (--size WxH | --scale S) [--interp nn|linear|cubic] IN OUT", "enlarge",
     "zar zoom --scale 2 --interp cubic photo.bmp big.bmp", 1, runScaling<zoomCall>},
    {"decimate", "decimate (--size WxH | --scale S) [--interp M] IN OUT", "shrink",
     "zar decimate --scale 1/3 --interp super photo.bmp small.bmp", 1, runScaling<decimateCall>},
    {"remap", "remap (--rotate DEG | --scale S | --xmap F.pfm --ymap F.pfm) [--interp M] IN OUT",
     "resample through coordinate maps",
     "zar remap --rotate 30 --interp cubic photo.bmp turned.bmp", 1, runRemap},
    {"add", "add IN1 IN2 OUT", "saturating sum of two images of the same format",
     "zar add a.pgm b.pgm sum.pgm", 2, runAdd},
    {"copy", "copy [--roi x,y,w,h] IN OUT", "copy the region into a new image",
     "zar copy --roi 10,10,64,48 photo.bmp crop.bmp", 1, runCopy},
    {"set", "set --value V IN OUT", "fill the region (and mask) with a value",
     "zar set --value 255 --roi 0,0,32,32 photo.bmp marked.bmp", 1, runSet},
    {"convert", "convert IN OUT", "convert between BMP, PGM and PPM",
     "zar convert photo.bmp photo.ppm", 1, runConvert},
};

const char* const kOptionHelp =
    "options that apply to every operation:\n"
    "  --roi x,y,w,h     region of interest (source and destination)\n"
    "  --coi N           channel of interest (1-based)\n"
    "  --mask FILE       only pixels where FILE is non-zero change\n"
    "  --border MODE     constant[=V], replicate, reflect or wrap (pixels outside the image)\n"
    "  --interp MODE     nn, linear, cubic or super\n";

}  // namespace

const std::vector<std::string>& filterNames() {
    static const std::vector<std::string> names = {
        "prewitt-x", "prewitt-y", "sobel-x",    "sobel-y",    "laplace-3", "laplace-5",
        "gauss-3",   "gauss-5",   "highpass-3", "highpass-5", "sharpen-3"};
    return names;
}

const std::vector<Command>& commands() { return kCommands; }

const Command* findCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

std::string commandHelp(const Command& c) {
    return std::string("usage: zar ") + c.synopsis + "\n" + c.description + "\n\n" + kOptionHelp +
           "\nexample: " + c.example + "\n";
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            o.positional.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        size_t eq = arg.find('=');
        if (eq != std::string::npos && arg.rfind("--border", 0) != 0) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (value.empty()) {
            if (name.rfind("--border=", 0) == 0) {
                value = name.substr(9);
                name = "--border";
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                throw UserError("option " + name + " needs a value");
            }
        }
        if (name == "--roi") {
            std::vector<int32_t> v = parseList(value, ',', 4, "--roi");
            if (v[0] < 0 || v[1] < 0 || v[2] < 1 || v[3] < 1)
                throw UserError("bad --roi '" + value + "'");
            o.roi = Roi{0, v[0], v[1], v[2], v[3]};
        } else if (name == "--coi") {
            o.coi = parseInt(value, "--coi");
        } else if (name == "--mask") {
            o.mask = value;
        } else if (name == "--border") {
            parseBorder(value, o);
        } else if (name == "--interp") {
            o.interp = parseInterp(value);
        } else if (name == "--size") {
            o.size = value;
        } else if (name == "--scale") {
            o.scale = value;
        } else if (name == "--anchor") {
            o.anchor = value;
        } else if (name == "--kernel") {
            o.kernel = value;
        } else if (name == "--iterations") {
            o.iterations = parseInt(value, "--iterations");
        } else if (name == "--rotate") {
            o.rotate = parseReal(value, "--rotate");
        } else if (name == "--xmap") {
            o.xmap = value;
        } else if (name == "--ymap") {
            o.ymap = value;
        } else if (name == "--value") {
            o.value = parseReal(value, "--value");
        } else {
            throw UserError("unknown option " + name);
        }
    }
    return o;
}

namespace {

// A 1-bit mask of the image's size: set where the mask file is non-zero.
OwnedImage loadMask(const std::string& path, const ImageHeader* like) {
    OwnedImage picture = loadImage(path);
    if (picture->width != like->width || picture->height != like->height)
        throw UserError("the mask '" + path + "' is not the size of the image");
    OwnedImage mask(zarCreateImageHeader(1, 0, ZAR_DEPTH_1U, "GRAY", "GRAY", ZAR_DATA_ORDER_PIXEL,
                                         ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, like->width, like->height,
                                         nullptr, nullptr, nullptr, nullptr));
    if (!mask.get()) throw UserError("cannot create the mask");
    zarAllocateImage(mask.get(), 1, 0);
    if (!mask->imageData) throw UserError("out of memory");
    for (int32_t y = 0; y < like->height; ++y)
        for (int32_t x = 0; x < like->width; ++x)
            storeAt(mask.get(), x, y, 0, sampleAt(picture.get(), x, y, 0) != 0 ? 1 : 0);
    return mask;
}

}  // namespace

OwnedImage runCommand(const Command& command, std::vector<OwnedImage>& inputs,
                      const Options& options) {
    Roi roi = options.roi.value_or(Roi{0, 0, 0, inputs[0]->width, inputs[0]->height});
    roi.coi = options.coi;
    bool withRoi = options.roi || options.coi != 0;
    for (OwnedImage& image : inputs) {
        if (options.borderMode) {
            for (int side = 0; side < 4; ++side) {
                image->borderModes[side] = *options.borderMode;
                image->borderValues[side] = options.borderValue;
            }
        }
        if (withRoi) image->roi = &roi;
    }
    OwnedImage mask;
    if (!options.mask.empty()) mask = loadMask(options.mask, inputs[0].get());

    Job job{inputs, options, withRoi ? &roi : nullptr, mask.get()};
    LibraryCall call;
    OwnedImage result = command.run(job);
    // The region and mask belong to this frame: detach them before they go.
    for (OwnedImage& image : inputs) image->roi = nullptr;
    result->roi = nullptr;
    result->maskImage = nullptr;
    LibraryCall::check();
    return result;
}

std::string infoText(const std::string& path) {
    std::vector<unsigned char> bytes = readFile(path);
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        int32_t cloneData = 0;
        ImageHeader* raw = translateBitmap(bytes.data(), bytes.size(), path, &cloneData);
        std::string text = describe(raw) + "pixels      " +
                           (cloneData ? "converted into a new block"
                                      : "read in place from the file") +
                           "\n";
        releaseTranslated(raw, cloneData);
        return text;
    }
    OwnedImage image = loadImage(path);
    return describe(image.get());
}

}  // namespace tool
