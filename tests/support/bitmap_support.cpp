#include "bitmap_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zt {

int32_t bmpRowSize(int32_t width, int32_t bitCount) {
    return static_cast<int32_t>((static_cast<int64_t>(width) * bitCount + 31) / 32 * 4);
}

BITMAPINFOHEADER bmpHeader(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
                           uint32_t clrUsed, uint32_t sizeImage) {
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bitCount;
    h.biCompression = compression;
    h.biSizeImage = sizeImage;
    h.biClrUsed = clrUsed;
    return h;
}

std::vector<uint8_t> bmpPalette(const std::vector<uint32_t>& rgb) {
    std::vector<uint8_t> out;
    for (uint32_t c : rgb) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> bmpGrayRamp(int32_t n) {
    std::vector<uint32_t> rgb;
    for (int32_t i = 0; i < n; ++i) {
        uint32_t v = n > 1 ? static_cast<uint32_t>(255 * i / (n - 1)) : 0;
        rgb.push_back(v * 0x010101u);
    }
    return bmpPalette(rgb);
}

Dib::Dib(const BITMAPINFOHEADER& header, const std::vector<uint8_t>& colors,
         const std::vector<uint8_t>& bits) {
    size_ = sizeof header + colors.size() + bits.size();
    bitsOffset_ = sizeof header + colors.size();
    storage_.assign((size_ + 7) / 8 + 1, 0);
    uint8_t* p = reinterpret_cast<uint8_t*>(storage_.data());
    std::memcpy(p, &header, sizeof header);
    if (!colors.empty()) std::memcpy(p + sizeof header, colors.data(), colors.size());
    if (!bits.empty()) std::memcpy(p + bitsOffset_, bits.data(), bits.size());
}

std::vector<uint8_t> Dib::fileImage() const {
    std::vector<uint8_t> out(14 + size_);
    const uint32_t total = static_cast<uint32_t>(out.size());
    const uint32_t offset = static_cast<uint32_t>(14 + bitsOffset_);
    out[0] = 'B';
    out[1] = 'M';
    std::memcpy(&out[2], &total, 4);
    std::memcpy(&out[10], &offset, 4);
    std::memcpy(&out[14], bytes(), size_);
    return out;
}

int32_t pictureSample(const ImageHeader* image, int32_t x, int32_t y, int32_t c) {
    const int32_t row = image->origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y;
    return static_cast<int32_t>(getSample(image, x, row, c));
}

void expectReportList(const ErrorRecorder& errors, const std::vector<Report>& want) {
    ASSERT_EQ(errors.reports().size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Report& got = errors.reports()[i];
        EXPECT_EQ(got.status, want[i].status) << i;
        EXPECT_EQ(got.func, want[i].func) << i;
        EXPECT_EQ(got.context, want[i].context) << i;
        EXPECT_EQ(got.file, want[i].file) << i;
        if (want[i].line)
            EXPECT_EQ(got.line, want[i].line) << i;
        else
            EXPECT_GT(got.line, 0) << i;
    }
}

std::vector<Report> rleFailure(const std::string& text, int32_t line) {
    return {
        {STATUS_BAD_ARG, "zarConvertFromDIB", text, "ownrle", line},
        {STATUS_INTERNAL, "zarConvertFromDIB", "Impossible to decompress RLE DIB", "zarDIB", 888}};
}

std::vector<uint8_t> readTestData(const std::string& name) {
    // tests/support/ -> tests/data/
    std::string here = __FILE__;
    std::string dir = here.substr(0, here.find_last_of('/'));
    dir = dir.substr(0, dir.find_last_of('/')) + "/data/";
    std::ifstream in(dir + name, std::ios::binary);
    if (!in) throw std::runtime_error("missing test data " + dir + name);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace zt
