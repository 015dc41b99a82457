// Times zar and OpenCV on the same inputs, alternating calls, and prints the
// median of each, their ratio, and memcpy of the same bytes for point operations.
// Each case checks that both sides produced output that differs from their
// input, so no case times an empty call.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "zar.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// ---------------------------------------------------------------- images

struct ZarImage {
    ImageHeader* image = nullptr;
    ZarImage() = default;
    ZarImage(int channels, int depth, int width = kWidth, int height = kHeight) {
        image = zarCreateImageHeader(channels, 0, depth, channels == 1 ? "GRAY" : "RGB",
                                     channels == 1 ? "GRAY" : "BGR", ZAR_DATA_ORDER_PIXEL,
                                     ZAR_ORIGIN_TL, ZAR_ALIGN_32BYTES, width, height, nullptr,
                                     nullptr, nullptr, nullptr);
        if (depth == ZAR_DEPTH_32F)
            zarAllocateImageFP(image, 1, 0.0f);
        else
            zarAllocateImage(image, 1, 0);
    }
    ~ZarImage() {
        if (image) zarDeallocate(image, ZAR_FREE_ALL);
    }
    ZarImage(ZarImage&& o) noexcept : image(o.image) { o.image = nullptr; }
    ZarImage& operator=(ZarImage&& o) noexcept {
        std::swap(image, o.image);
        return *this;
    }
    void setBorders(int mode) {
        for (int i = 0; i < 4; ++i) {
            image->borderModes[i] = mode;
            image->borderValues[i] = 0;
        }
    }
};

int cvType(int channels, int depth) {
    int d = depth == ZAR_DEPTH_16U ? CV_16U : depth == ZAR_DEPTH_32F ? CV_32F : CV_8U;
    return CV_MAKETYPE(d, channels);
}

// A view of a zar image's pixels as a Mat (no copy).
cv::Mat view(const ZarImage& z) {
    return cv::Mat(z.image->height, z.image->width, cvType(z.image->nChannels, z.image->depth),
                   z.image->imageData, static_cast<size_t>(z.image->widthStep));
}

// A smooth picture with texture and noise, so filters and scalings have work to do.
void fillPicture(ZarImage& z, unsigned seed) {
    cv::Mat m = view(z);
    cv::RNG rng(seed);
    cv::Mat noise(m.size(), m.type());
    rng.fill(noise, cv::RNG::UNIFORM, 0, m.depth() == CV_16U ? 65535 : 255);
    cv::GaussianBlur(noise, m, cv::Size(0, 0), 3.0);
    cv::addWeighted(m, 0.7, noise, 0.3, 0, m);
}

uint64_t checksum(const cv::Mat& m) {
    uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < m.rows; ++y) {
        const unsigned char* p = m.ptr(y);
        for (size_t i = 0; i < m.cols * m.elemSize(); ++i) h = (h ^ p[i]) * 1099511628211ull;
    }
    return h;
}

// ------------------------------------------------------------- harness

struct Case {
    std::string name;
    std::string opencv;  // the nearest OpenCV call
    std::string note;    // where the semantics differ
    std::function<void()> zar, cv;
    std::function<bool()> check;  // both sides wrote something new
    size_t floorBytes = 0;        // bytes for the memcpy floor (point operations)
};

double seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Result {
    double zar, cv, floor;
    bool ok;
};

Result measure(Case& c, double budget) {
    c.zar();  // warm up both, then check they computed something
    c.cv();
    bool ok = c.check();
    double one = std::max(seconds(c.zar), seconds(c.cv));
    int reps = std::clamp(static_cast<int>(budget / std::max(one, 1e-6) / 2), 5, 200);
    std::vector<double> tz, tc, tf;
    std::vector<unsigned char> a(c.floorBytes), b(c.floorBytes);
    for (int i = 0; i < reps; ++i) {
        // Each side goes first every other time: where both read the same
        // sources (the point operations), the second finds some of them in the
        // cache (about 4% at 1920x1080 when both sides are the same memcpy).
        if (i % 2 == 0) tz.push_back(seconds(c.zar));
        tc.push_back(seconds(c.cv));
        if (i % 2 == 1) tz.push_back(seconds(c.zar));
        if (c.floorBytes) tf.push_back(seconds([&] { std::memcpy(b.data(), a.data(), a.size()); }));
    }
    return {median(tz), median(tc), tf.empty() ? 0.0 : median(tf), ok};
}

// ------------------------------------------------------------------ cases

std::vector<Case> cases;

bool differs(const cv::Mat& out, const cv::Mat& in) { return checksum(out) != checksum(in); }

std::string typeName(int channels, int depth) {
    return std::string(depth == ZAR_DEPTH_16U ? "16U" : "8U") + "C" + std::to_string(channels);
}

// Keeps the images of every case alive for the whole run.
std::vector<std::shared_ptr<ZarImage>> keep;
std::shared_ptr<ZarImage> image(int channels, int depth, int w = kWidth, int h = kHeight) {
    keep.push_back(std::make_shared<ZarImage>(channels, depth, w, h));
    return keep.back();
}

void pointCases(int ch, int depth) {
    std::string t = typeName(ch, depth);
    auto src = image(ch, depth), src2 = image(ch, depth), dz = image(ch, depth),
         dc = image(ch, depth);
    fillPicture(*src, 1);
    fillPicture(*src2, 2);
    size_t bytes = static_cast<size_t>(src->image->imageSize);
    cases.push_back({"copy " + t, "Mat::copyTo", "same result",
                     [=] { zarCopy(src->image, dz->image); }, [=] { view(*src).copyTo(view(*dc)); },
                     [=] {
                         return checksum(view(*dz)) == checksum(view(*src)) &&
                                checksum(view(*dc)) == checksum(view(*src));
                     },
                     bytes});
    cases.push_back({"set " + t, "Mat::setTo", "same result", [=] { zarSet(dz->image, 77); },
                     [=] { view(*dc).setTo(cv::Scalar::all(77)); },
                     [=] {
                         return differs(view(*dz), view(*src)) &&
                                checksum(view(*dz)) == checksum(view(*dc));
                     },
                     bytes});
    cases.push_back({"add " + t, "cv::add", "same result (saturating)",
                     [=] { zarAdd(src->image, src2->image, dz->image); },
                     [=] { cv::add(view(*src), view(*src2), view(*dc)); },
                     [=] {
                         return differs(view(*dz), view(*src)) &&
                                checksum(view(*dz)) == checksum(view(*dc));
                     },
                     bytes});
}

void filterCase(const std::string& name, int ch, int depth, const std::string& opencv,
                const std::string& note, std::function<void(ImageHeader*, ImageHeader*)> zarCall,
                std::function<void(const cv::Mat&, cv::Mat&)> cvCall,
                int border = ZAR_BORDER_REPLICATE) {
    auto src = image(ch, depth), dz = image(ch, depth), dc = image(ch, depth);
    fillPicture(*src, 3);
    src->setBorders(border);
    cases.push_back(
        {name + " " + typeName(ch, depth), opencv, note, [=] { zarCall(src->image, dz->image); },
         [=] {
             cv::Mat out = view(*dc);
             cvCall(view(*src), out);
         },
         [=] { return differs(view(*dz), view(*src)) && differs(view(*dc), view(*src)); }});
}

void filterCases(int ch, int depth) {
    for (int k : {3, 5, 15})
        filterCase(
            "blur " + std::to_string(k) + "x" + std::to_string(k), ch, depth,
            "cv::blur, BORDER_REPLICATE", "zar truncates the mean, OpenCV rounds",
            [k](ImageHeader* s, ImageHeader* d) { zarBlur(s, d, k, k, k / 2, k / 2); },
            [k](const cv::Mat& s, cv::Mat& d) {
                cv::blur(s, d, cv::Size(k, k), cv::Point(-1, -1), cv::BORDER_REPLICATE);
            });
    filterCase(
        "sobel x", ch, depth, "cv::Sobel dx=1, ksize 3, same depth",
        "zar's kernel is [1 0 -1] (OpenCV's negated); both saturate",
        [](ImageHeader* s, ImageHeader* d) { zarFixedFilter(s, d, ZAR_FIXED_SOBEL_X); },
        [](const cv::Mat& s, cv::Mat& d) {
            cv::Sobel(s, d, -1, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
        });
    filterCase(
        "gauss 3x3", ch, depth, "cv::GaussianBlur 3x3",
        "same kernel [1 2 1]/16; rounding may differ",
        [](ImageHeader* s, ImageHeader* d) { zarFixedFilter(s, d, ZAR_FIXED_GAUSS_3); },
        [](const cv::Mat& s, cv::Mat& d) {
            cv::GaussianBlur(s, d, cv::Size(3, 3), 0, 0, cv::BORDER_REPLICATE);
        });
    filterCase(
        "gauss 5x5", ch, depth, "cv::GaussianBlur 5x5",
        "zar's weights are k/571, OpenCV's sigma-derived",
        [](ImageHeader* s, ImageHeader* d) { zarFixedFilter(s, d, ZAR_FIXED_GAUSS_5); },
        [](const cv::Mat& s, cv::Mat& d) {
            cv::GaussianBlur(s, d, cv::Size(5, 5), 0, 0, cv::BORDER_REPLICATE);
        });
    filterCase(
        "laplace 3x3", ch, depth, "cv::filter2D with the same 8-neighbour kernel",
        "same kernel and saturation",
        [](ImageHeader* s, ImageHeader* d) { zarFixedFilter(s, d, ZAR_FIXED_LAPLACE_3); },
        [](const cv::Mat& s, cv::Mat& d) {
            static const cv::Mat k = (cv::Mat_<float>(3, 3) << -1, -1, -1, -1, 8, -1, -1, -1, -1);
            cv::filter2D(s, d, -1, k, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
        });
    for (int n : {1, 3}) {
        filterCase(
            "dilate 3x3 x" + std::to_string(n), ch, depth, "cv::dilate 3x3 rect",
            "same result inside; borders differ",
            [n](ImageHeader* s, ImageHeader* d) { zarDilate(s, d, n); },
            [n](const cv::Mat& s, cv::Mat& d) {
                cv::dilate(s, d, cv::Mat(), cv::Point(-1, -1), n, cv::BORDER_REPLICATE);
            });
        filterCase(
            "erode 3x3 x" + std::to_string(n), ch, depth, "cv::erode 3x3 rect",
            "same result inside; borders differ",
            [n](ImageHeader* s, ImageHeader* d) { zarErode(s, d, n); },
            [n](const cv::Mat& s, cv::Mat& d) {
                cv::erode(s, d, cv::Mat(), cv::Point(-1, -1), n, cv::BORDER_REPLICATE);
            });
    }
}

void scaleCase(const std::string& name, int ch, int depth, int num, int den, int zarMode,
               int cvMode, const std::string& opencv, const std::string& note) {
    int w = kWidth * num / den, h = kHeight * num / den;
    auto src = image(ch, depth), dz = image(ch, depth, w, h), dc = image(ch, depth, w, h);
    fillPicture(*src, 4);
    cases.push_back({name + " " + typeName(ch, depth), opencv, note,
                     [=] { zarResize(src->image, dz->image, num, den, num, den, zarMode); },
                     [=] {
                         cv::Mat out = view(*dc);
                         cv::resize(view(*src), out, out.size(), 0, 0, cvMode);
                     },
                     [=] {
                         return checksum(view(*dz)) != 0 &&
                                cv::countNonZero(view(*dz).reshape(1)) > 0 &&
                                cv::countNonZero(view(*dc).reshape(1)) > 0;
                     }});
}

// zarDecimate itself: 1/2 and 2/3 (an integral factor makes LINEAR and CUBIC
// sample like NN; 2/3 interpolates).
void decimateCase(const std::string& name, int ch, int depth, int num, int den, int zarMode,
                  int cvMode, const std::string& opencv) {
    int w = kWidth * num / den, h = kHeight * num / den;
    auto src = image(ch, depth), dz = image(ch, depth, w, h), dc = image(ch, depth, w, h);
    fillPicture(*src, 4);
    cases.push_back(
        {name + " " + typeName(ch, depth), opencv, "different sampling positions and rounding",
         [=] { zarDecimate(src->image, dz->image, num, den, num, den, zarMode); },
         [=] {
             cv::Mat out = view(*dc);
             cv::resize(view(*src), out, out.size(), 0, 0, cvMode);
         },
         [=] { return checksum(view(*dz)) != 0 && cv::countNonZero(view(*dc).reshape(1)) > 0; }});
}

void geometryCases(int ch, int depth) {
    scaleCase("resize 1/2 nn", ch, depth, 1, 2, ZAR_INTER_NN, cv::INTER_NEAREST,
              "cv::resize INTER_NEAREST", "pixel choice may differ");
    scaleCase("resize 1/2 linear", ch, depth, 1, 2, ZAR_INTER_LINEAR, cv::INTER_LINEAR,
              "cv::resize INTER_LINEAR", "zar maps end to end; OpenCV maps centres");
    scaleCase("resize 1/2 super", ch, depth, 1, 2, ZAR_INTER_SUPER, cv::INTER_AREA,
              "cv::resize INTER_AREA", "both average 2x2 blocks; rounding differs");
    scaleCase("resize 2 linear", ch, depth, 2, 1, ZAR_INTER_LINEAR, cv::INTER_LINEAR,
              "cv::resize INTER_LINEAR", "zar maps end to end; OpenCV maps centres");
    scaleCase("resize 2 cubic", ch, depth, 2, 1, ZAR_INTER_CUBIC, cv::INTER_CUBIC,
              "cv::resize INTER_CUBIC", "different cubic weights");
    for (auto [num, den] : {std::pair{1, 2}, std::pair{2, 3}}) {
        std::string f = "decimate ";
        f += std::to_string(num);
        f += '/';
        f += std::to_string(den);
        decimateCase(f + " nn", ch, depth, num, den, ZAR_INTER_NN, cv::INTER_NEAREST,
                     "cv::resize INTER_NEAREST");
        decimateCase(f + " linear", ch, depth, num, den, ZAR_INTER_LINEAR, cv::INTER_LINEAR,
                     "cv::resize INTER_LINEAR");
        decimateCase(f + " cubic", ch, depth, num, den, ZAR_INTER_CUBIC, cv::INTER_CUBIC,
                     "cv::resize INTER_CUBIC");
        decimateCase(f + " super", ch, depth, num, den, ZAR_INTER_SUPER, cv::INTER_AREA,
                     "cv::resize INTER_AREA");
    }

    auto src = image(ch, depth), dz = image(ch, depth), dc = image(ch, depth);
    auto xMap = image(1, ZAR_DEPTH_32F), yMap = image(1, ZAR_DEPTH_32F);
    fillPicture(*src, 5);
    cv::Mat mx = view(*xMap), my = view(*yMap);
    double a = 10 * CV_PI / 180, cx = kWidth / 2.0, cy = kHeight / 2.0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            mx.at<float>(
                y, x) = static_cast<float>(cx + std::cos(a) * (x - cx) + std::sin(a) * (y - cy));
            my.at<float>(
                y, x) = static_cast<float>(cy - std::sin(a) * (x - cx) + std::cos(a) * (y - cy));
        }
    cases.push_back(
        {"remap linear rotate " + typeName(ch, depth), "cv::remap INTER_LINEAR, CV_32FC1 maps",
         "outside pixels: zar leaves them, OpenCV writes the border value",
         [=] { zarRemap(src->image, xMap->image, yMap->image, dz->image, ZAR_INTER_LINEAR); },
         [=] {
             cv::Mat out = view(*dc);
             cv::remap(view(*src), out, view(*xMap), view(*yMap), cv::INTER_LINEAR);
         },
         [=] { return differs(view(*dz), view(*src)) && differs(view(*dc), view(*src)); }});
}

// --------------------------------------------------------------- bitmaps

void put16(std::vector<unsigned char>& v, uint32_t x) {
    v.push_back(x & 0xFF);
    v.push_back(x >> 8 & 0xFF);
}
void put32(std::vector<unsigned char>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

// A whole .bmp file: 24-bit, or 8-bit gray palette run-length coded.
std::vector<unsigned char> bitmapFile(const cv::Mat& picture, bool rle8) {
    std::vector<unsigned char> bits;
    if (rle8) {
        for (int y = picture.rows - 1; y >= 0; --y) {
            const unsigned char* p = picture.ptr(y);
            for (int x = 0; x < picture.cols;) {
                int n = 1;
                while (x + n < picture.cols && n < 255 && p[x + n] == p[x]) ++n;
                bits.push_back(static_cast<unsigned char>(n));
                bits.push_back(p[x]);
                x += n;
            }
            bits.push_back(0);
            bits.push_back(y == 0 ? 1 : 0);
        }
    } else {
        size_t row = (picture.cols * 3 + 3) / 4 * 4;
        for (int y = picture.rows - 1; y >= 0; --y) {
            const unsigned char* p = picture.ptr(y);
            bits.insert(bits.end(), p, p + picture.cols * 3);
            bits.resize(bits.size() + row - picture.cols * 3, 0);
        }
    }
    uint32_t palette = rle8 ? 1024 : 0, offset = 54 + palette;
    std::vector<unsigned char> f = {'B', 'M'};
    put32(f, offset + static_cast<uint32_t>(bits.size()));
    put32(f, 0);
    put32(f, offset);
    put32(f, 40);
    put32(f, picture.cols);
    put32(f, picture.rows);
    put16(f, 1);
    put16(f, rle8 ? 8 : 24);
    put32(f, rle8 ? 1 : 0);
    put32(f, static_cast<uint32_t>(bits.size()));
    put32(f, 2835);
    put32(f, 2835);
    put32(f, rle8 ? 256 : 0);
    put32(f, 0);
    for (uint32_t i = 0; rle8 && i < 256; ++i) put32(f, i * 0x010101u);
    f.insert(f.end(), bits.begin(), bits.end());
    return f;
}

void bitmapCases() {
    for (bool rle8 : {false, true}) {
        auto picture = image(rle8 ? 1 : 3, ZAR_DEPTH_8U);
        fillPicture(*picture, 6);
        if (rle8) {  // posterize so runs form, as in real run-length coded bitmaps
            cv::Mat m = view(*picture);
            m.forEach<unsigned char>(
                [](unsigned char& v, const int*) { v = static_cast<unsigned char>(v & 0xE0); });
        }
        auto file = std::make_shared<std::vector<unsigned char>>(bitmapFile(view(*picture), rle8));
        auto zarOut = std::make_shared<ImageHeader*>(nullptr);
        auto cvOut = std::make_shared<cv::Mat>();
        cases.push_back(
            {rle8 ? "translate RLE8 bitmap" : "translate 24-bit bitmap",
             "cv::imdecode of the same .bmp bytes",
             rle8 ? "both decode into new pixels"
                  : "zar references the bits in place (no copy); OpenCV decodes into a new Mat",
             [=] {
                 int32_t clone = 0;
                 if (*zarOut) zarDeallocate(*zarOut, clone ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
                 *zarOut = zarTranslateDIBBlock(file->data(), file->size(), &clone);
                 if (*zarOut && clone) {
                     zarDeallocate(*zarOut, ZAR_FREE_ALL);
                     *zarOut = nullptr;
                 }
             },
             [=] { *cvOut = cv::imdecode(*file, cv::IMREAD_UNCHANGED); },
             [=] {
                 int32_t clone = 0;
                 ImageHeader* z = zarTranslateDIBBlock(file->data(), file->size(), &clone);
                 bool ok = z && z->width == kWidth && z->height == kHeight && !cvOut->empty();
                 if (z) zarDeallocate(z, clone ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
                 return ok;
             }});
    }
}

#ifdef ZAR_TOOL_PATH
// The zar tool converting a 16 MB bitmap to a bitmap, a whole process per call,
// against OpenCV reading and writing the same file in this process.
void toolCases() {
    const std::string in = "/tmp/zar-bench-16mb.bmp", out = "/tmp/zar-bench-out.bmp";
    ZarImage picture(3, ZAR_DEPTH_8U, 2365, 2365);  // 16.8 MB of pixels
    fillPicture(picture, 7);
    cv::imwrite(in, view(picture));
    const std::string command = std::string(ZAR_TOOL_PATH) + " convert " + in + " " + out;
    cases.push_back({"zar convert, 16 MB BMP to BMP", "cv::imread + cv::imwrite, in process",
                     "the tool's whole run (process start, read, write) against the two calls",
                     [=] {
                         if (std::system(command.c_str()) != 0) std::remove(out.c_str());
                     },
                     [=] { cv::imwrite(out + ".cv.bmp", cv::imread(in, cv::IMREAD_UNCHANGED)); },
                     [=] {
                         cv::Mat a = cv::imread(out, cv::IMREAD_UNCHANGED);
                         return !a.empty() && a.cols == 2365 &&
                                !cv::imread(out + ".cv.bmp", cv::IMREAD_UNCHANGED).empty();
                     }});
}
#endif

}  // namespace

int main(int argc, char** argv) {
    cv::setNumThreads(1);
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarRedirectError(zarStdErrReport);
    double budget = argc > 1 ? std::atof(argv[1]) : 0.5;  // seconds per case and side
    // Cases whose names hold any of the comma-separated words of the filter (all when empty).
    std::vector<std::string> words;
    for (std::string rest = argc > 2 ? argv[2] : ""; !rest.empty();) {
        const size_t comma = rest.find(',');
        words.push_back(rest.substr(0, comma));
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    auto wanted = [&](const std::string& name) {
        return words.empty() || std::any_of(words.begin(), words.end(), [&](const auto& w) {
                   return name.find(w) != std::string::npos;
               });
    };

    for (int ch : {1, 3}) pointCases(ch, ZAR_DEPTH_8U);
    pointCases(1, ZAR_DEPTH_16U);
    for (int ch : {1, 3}) filterCases(ch, ZAR_DEPTH_8U);
    filterCase(
        "blur 5x5", 1, ZAR_DEPTH_16U, "cv::blur, BORDER_REPLICATE",
        "zar truncates the mean, OpenCV rounds",
        [](ImageHeader* s, ImageHeader* d) { zarBlur(s, d, 5, 5, 2, 2); },
        [](const cv::Mat& s, cv::Mat& d) {
            cv::blur(s, d, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        });
    filterCase(
        "dilate 3x3 x1", 1, ZAR_DEPTH_16U, "cv::dilate 3x3 rect",
        "same result inside; borders differ",
        [](ImageHeader* s, ImageHeader* d) { zarDilate(s, d, 1); },
        [](const cv::Mat& s, cv::Mat& d) {
            cv::dilate(s, d, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
        });
    for (int depth : {ZAR_DEPTH_8U, ZAR_DEPTH_16U})
        for (int ch : {1, 3}) geometryCases(ch, depth);
    bitmapCases();
#ifdef ZAR_TOOL_PATH
    toolCases();
#endif

    std::printf("zar vs OpenCV %s, %dx%d, single thread; median times\n", CV_VERSION, kWidth,
                kHeight);
    std::printf(
        "| case | zar ms | OpenCV ms | zar/OpenCV | memcpy ms | OpenCV call | semantics |\n");
    std::printf("|---|---:|---:|---:|---:|---|---|\n");
    int failed = 0;
    for (Case& c : cases) {
        if (!wanted(c.name)) continue;
        Result r = measure(c, budget);
        if (!r.ok) ++failed;
        char floorText[32] = "";
        if (r.floor > 0) std::snprintf(floorText, sizeof floorText, "%.3f", r.floor * 1e3);
        const char* slow = r.zar > 3 * r.cv ? " — over 3x: see the notes below the table" : "";
        std::printf("| %s | %.3f | %.3f | %.2f | %s | %s | %s%s%s |\n", c.name.c_str(), r.zar * 1e3,
                    r.cv * 1e3, r.zar / r.cv, floorText, c.opencv.c_str(), c.note.c_str(), slow,
                    r.ok ? "" : " — CHECK FAILED: an output did not change");
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
