// Row kernels of Set and Copy over raw pointers.  Values are moved with
// memcpy of a fixed size, so unaligned rows are fine and compile to plain
// loads and stores.
#include <cstring>

#include "image/rows.h"
#include "pixel/pixel.h"

namespace {

template <typename T>
void store(char* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

template <typename T>
T load(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

// Calls visit(x) for each pixel x < width of a row whose mask bit is 1,
// reading the mask a byte at a time and never past the row's last pixel.
template <typename Visit>
inline void forMaskedPixels(const uint8_t* maskRow, int32_t bitOffset, int32_t width,
                            Visit&& visit) {
    const uint8_t* m = maskRow + (bitOffset >> 3);
    int32_t x = 0;
    int32_t bit = bitOffset & 7;
    while (x < width) {
        const uint32_t byte = *m++;
        const int32_t end = x + (8 - bit) < width ? x + (8 - bit) : width;
        if (byte != 0)
            for (int32_t i = x; i < end; ++i, ++bit)
                if ((byte >> (7 - bit)) & 1) visit(i);
        x = end;
        bit = 0;
    }
}

// ------------------------------------------------------------------ fills

// A run that covers its rows exactly (no padding) continues into the next
// row, and with the whole plane height into the next plane: such runs are
// filled as one.
struct RunShape {
    int64_t values;
    int32_t rows, planes;
};

RunShape runShape(int64_t runValues, int32_t height, int32_t planes, bool rowsContiguous,
                  bool planesContiguous) {
    RunShape s{runValues, height, planes};
    if (!rowsContiguous) return s;
    s.values *= height;
    s.rows = 1;
    if (planes > 1 && planesContiguous) {
        s.values *= planes;
        s.planes = 1;
    }
    return s;
}

template <typename T>
void fillRuns(const FillJob& j) {
    const int64_t rowBytes = j.runValues * static_cast<int64_t>(sizeof(T));
    const RunShape s = runShape(j.runValues, j.height, j.planes, rowBytes == j.step,
                                j.planeStride == rowBytes * j.height);
    const FillRunFn fill = fillRunFor(sizeof(T));
    for (int32_t p = 0; p < s.planes; ++p)
        for (int32_t y = 0; y < s.rows; ++y)
            fill(j.dst + p * j.planeStride + y * j.step, s.values, j.value);
}

template <typename T>
void fillPixels(const FillJob& j) {
    const T v = static_cast<T>(j.value);
    const int64_t pixelBytes = static_cast<int64_t>(j.nChannels) * sizeof(T);
    for (int32_t y = 0; y < j.height; ++y) {
        char* row = j.dst + y * j.step;
        for (int32_t x = 0; x < j.width; ++x) {
            char* p = row + x * pixelBytes;
            for (int32_t c = 0; c < j.channels; ++c) store(p + c * sizeof(T), v);
        }
    }
}

template <typename T>
void fillMaskedPixels(const FillJob& j) {
    const T v = static_cast<T>(j.value);
    const int64_t pixelBytes = static_cast<int64_t>(j.nChannels) * sizeof(T);
    for (int32_t y = 0; y < j.height; ++y) {
        char* row = j.dst + y * j.step;
        forMaskedPixels(j.mask.first + y * j.mask.step, j.mask.bitOffset, j.width, [&](int32_t x) {
            char* p = row + x * pixelBytes;
            for (int32_t c = 0; c < j.channels; ++c) store(p + c * sizeof(T), v);
        });
    }
}

template <typename T>
void fillMaskedRuns(const FillJob& j) {
    const T v = static_cast<T>(j.value);
    for (int32_t y = 0; y < j.height; ++y) {
        char* row = j.dst + y * j.step;
        forMaskedPixels(j.mask.first + y * j.mask.step, j.mask.bitOffset, j.width, [&](int32_t x) {
            for (int32_t p = 0; p < j.planes; ++p)
                store(row + p * j.planeStride + x * sizeof(T), v);
        });
    }
}

void fillBitRows(const FillJob& j) {
    for (int32_t y = 0; y < j.height; ++y)
        fillBits(reinterpret_cast<uint8_t*>(j.dst + y * j.step), j.bitX, j.width,
                 static_cast<int>(j.value & 1));
}

// ----------------------------------------------------------------- copies

// The bytes from a region's first byte to its last one's end.
int64_t regionSpan(int64_t rowBytes, int32_t height, int64_t step, int32_t planes,
                   int64_t planeStride) {
    return (planes - 1) * planeStride + (height - 1) * step + rowBytes;
}

// Rows first to last, each from its lowest address upward, as the rules copy.
// Rows joined into one block move give the same result only when source and
// destination do not share memory, so they are joined only then.
template <typename T>
void copyRuns(const CopyJob& j) {
    const int64_t rowBytes = j.runValues * static_cast<int64_t>(sizeof(T));
    const bool overlap = bytesOverlap(
        j.src, regionSpan(rowBytes, j.height, j.srcStep, j.planes, j.srcPlane), j.dst,
        regionSpan(rowBytes, j.height, j.dstStep, j.planes, j.dstPlane));
    const RunShape s = runShape(j.runValues, j.height, j.planes,
                                !overlap && rowBytes == j.srcStep && rowBytes == j.dstStep,
                                j.srcPlane == rowBytes * j.height && j.dstPlane == j.srcPlane);
    const int64_t bytes = s.values * static_cast<int64_t>(sizeof(T));
    for (int32_t p = 0; p < s.planes; ++p)
        for (int32_t y = 0; y < s.rows; ++y) {
            char* to = j.dst + p * j.dstPlane + y * j.dstStep;
            const char* from = j.src + p * j.srcPlane + y * j.srcStep;
            if (overlap)
                copyBytesInOrder(to, from, bytes);
            else
                copyBytes(to, from, bytes);
        }
}

template <typename T>
void copyPixels(const CopyJob& j) {
    const int64_t srcPixel = static_cast<int64_t>(j.srcChannels) * sizeof(T);
    const int64_t dstPixel = static_cast<int64_t>(j.dstChannels) * sizeof(T);
    for (int32_t y = 0; y < j.height; ++y) {
        const char* s = j.src + y * j.srcStep;
        char* d = j.dst + y * j.dstStep;
        for (int32_t x = 0; x < j.width; ++x)
            for (int32_t c = 0; c < j.channels; ++c)
                store(d + x * dstPixel + c * sizeof(T), load<T>(s + x * srcPixel + c * sizeof(T)));
    }
}

template <typename T>
void copyMaskedPixels(const CopyJob& j) {
    const int64_t srcPixel = static_cast<int64_t>(j.srcChannels) * sizeof(T);
    const int64_t dstPixel = static_cast<int64_t>(j.dstChannels) * sizeof(T);
    for (int32_t y = 0; y < j.height; ++y) {
        const char* s = j.src + y * j.srcStep;
        char* d = j.dst + y * j.dstStep;
        forMaskedPixels(j.mask.first + y * j.mask.step, j.mask.bitOffset, j.width, [&](int32_t x) {
            for (int32_t c = 0; c < j.channels; ++c)
                store(d + x * dstPixel + c * sizeof(T), load<T>(s + x * srcPixel + c * sizeof(T)));
        });
    }
}

template <typename T>
void copyMaskedRuns(const CopyJob& j) {
    for (int32_t y = 0; y < j.height; ++y) {
        const char* s = j.src + y * j.srcStep;
        char* d = j.dst + y * j.dstStep;
        forMaskedPixels(j.mask.first + y * j.mask.step, j.mask.bitOffset, j.width, [&](int32_t x) {
            for (int32_t p = 0; p < j.planes; ++p)
                store(d + p * j.dstPlane + x * sizeof(T),
                      load<T>(s + p * j.srcPlane + x * sizeof(T)));
        });
    }
}

// Rows first to last; a row whose source and destination share a byte is
// copied bit by bit in pixel order, as the rules order it, since the word
// moves read source bits after writing over them.
void copyBitRows(const CopyJob& j) {
    const int64_t srcBytes = (int64_t{j.srcBitX} + j.width + 7) / 8;
    const int64_t dstBytes = (int64_t{j.dstBitX} + j.width + 7) / 8;
    for (int32_t y = 0; y < j.height; ++y) {
        auto src = reinterpret_cast<const uint8_t*>(j.src + y * j.srcStep);
        auto dst = reinterpret_cast<uint8_t*>(j.dst + y * j.dstStep);
        if (bytesOverlap(src, srcBytes, dst, dstBytes))
            copyBitsInOrder(src, j.srcBitX, dst, j.dstBitX, j.width);
        else
            copyBits(src, j.srcBitX, dst, j.dstBitX, j.width);
    }
}

int sizeIndex(int32_t valueSize) { return valueSize == 1 ? 0 : valueSize == 2 ? 1 : 2; }

}  // namespace

FillKernel fillKernelFor(PixelForm form, int32_t valueSize) {
    static constexpr FillKernel kTable[4][3] = {
        {fillRuns<uint8_t>, fillRuns<uint16_t>, fillRuns<uint32_t>},
        {fillPixels<uint8_t>, fillPixels<uint16_t>, fillPixels<uint32_t>},
        {fillMaskedRuns<uint8_t>, fillMaskedRuns<uint16_t>, fillMaskedRuns<uint32_t>},
        {fillMaskedPixels<uint8_t>, fillMaskedPixels<uint16_t>, fillMaskedPixels<uint32_t>},
    };
    if (form == PixelForm::Bits) return fillBitRows;
    return kTable[static_cast<int>(form)][sizeIndex(valueSize)];
}

CopyKernel copyKernelFor(PixelForm form, int32_t valueSize) {
    static constexpr CopyKernel kTable[4][3] = {
        {copyRuns<uint8_t>, copyRuns<uint16_t>, copyRuns<uint32_t>},
        {copyPixels<uint8_t>, copyPixels<uint16_t>, copyPixels<uint32_t>},
        {copyMaskedRuns<uint8_t>, copyMaskedRuns<uint16_t>, copyMaskedRuns<uint32_t>},
        {copyMaskedPixels<uint8_t>, copyMaskedPixels<uint16_t>, copyMaskedPixels<uint32_t>},
    };
    if (form == PixelForm::Bits) return copyBitRows;
    return kTable[static_cast<int>(form)][sizeIndex(valueSize)];
}
