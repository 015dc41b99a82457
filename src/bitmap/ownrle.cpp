// Run-length decoding of BI_RLE8 and BI_RLE4 bitmaps into uncompressed rows.
//
// The stream is hostile until proven otherwise: the decoder reads no more than
// the stream limit (biSizeImage when it is not 0, or what the caller knows of
// the block) and writes nothing outside the rows it allocated, whatever the
// commands say.
#include <cstring>

#include "bitmap/bitmap.h"
#include "frame/frame.h"
#include "image/image.h"

namespace {

constexpr ReportSite kSite{"zarConvertFromDIB", "ownrle"};

struct RleMessages {
    const char* noMemory;
    int32_t noMemoryLine;
    const char* badWidth;  // end of line before or after biWidth pixels
    int32_t badWidthLine;
    const char* badHeight;  // end of bitmap on a wrong row, or the stream ran out
    int32_t badHeightLine;
    const char* badDelta;
    int32_t badDeltaLine;
    const char* badPosition;  // negative size, column or row outside the bitmap
    int32_t badPositionLine;
};

constexpr RleMessages kRle8Messages = {
    "Not enough memory to decompress BI_RLE8 DIB at DIB",
    597,
    "Incorrect format of BI_RLE8 DIB (mismatch biWidth)",
    623,
    "Incorrect format of BI_RLE8 DIB (mismatch biHeight)",
    643,
    "Incorrect format of BI_RLE8 DIB (bad Delta command)",
    658,
    "Incorrect format of BI_RLE8 DIB (mismatch biHeight or biWidth)",
    687,
};

constexpr RleMessages kRle4Messages = {
    "Not enough memory to decompress BI_RLE4 DIB at DIB",
    706,
    "Incorrect format of BI_RLE4 DIB (mismatch biWidth)",
    755,
    "Incorrect format of BI_RLE4 DIB (mismatch biHeight)",
    776,
    "Incorrect format of BI_RLE4 DIB (bad Delta command)",
    796,
    "Incorrect format of BI_RLE4 DIB (mismatch biHeight or biWidth)",
    839,
};

// The coded bytes and how far they may be read.
struct Stream {
    const uint8_t* data;
    size_t limit;
    size_t pos = 0;

    bool has(size_t count) const { return pos <= limit && count <= limit - pos; }
    // Reads two bytes; false when the stream ends first.
    bool take2(uint8_t* first, uint8_t* second) {
        if (!has(2)) return false;
        *first = data[pos];
        *second = data[pos + 1];
        pos += 2;
        return true;
    }
};

// Pixel writers of one format: a run of n pixels of value m, and count pixels
// copied from the stream, both at column col of row.
struct Rle8Pixels {
    static constexpr int32_t kBits = 8;
    static int64_t absoluteBytes(int64_t count) { return count; }
    static void run(uint8_t* row, int64_t col, int64_t n, uint8_t m, int64_t) {
        std::memset(row + col, m, static_cast<size_t>(n));
    }
    static void copy(uint8_t* row, int64_t col, int64_t count, const uint8_t* src, int64_t) {
        std::memcpy(row + col, src, static_cast<size_t>(count));
    }
};

// Two pixels a byte, the left one in the high nibble.  Pixels go out in pairs,
// so a run of odd length also writes the nibble after its last pixel (the next
// nibble of its pattern); what follows overwrites it.  That surplus nibble is
// written only while it lies inside the buffer (room: the pixels from the row's
// start to the buffer's end).
struct Rle4Pixels {
    static constexpr int32_t kBits = 4;
    static int64_t absoluteBytes(int64_t count) { return (count + 1) / 2; }
    // Shift of pixel k's nibble in its byte: 4 for even k (high), 0 for odd.
    static int nibbleShift(int64_t k) { return static_cast<int>(((k & 1) ^ 1) << 2); }
    static void put(uint8_t* row, int64_t col, uint8_t value) {
        int shift = nibbleShift(col);
        uint8_t& byte = row[col >> 1];
        byte = static_cast<uint8_t>((byte & ~(0x0F << shift)) | (value << shift));
    }
    static int64_t written(int64_t col, int64_t n, int64_t room) {
        return (n & 1) && col + n < room ? n + 1 : n;
    }
    static void run(uint8_t* row, int64_t col, int64_t n, uint8_t m, int64_t room) {
        for (int64_t k = 0, end = written(col, n, room); k < end; ++k)
            put(row, col + k, (m >> nibbleShift(k)) & 0x0F);
    }
    static void copy(uint8_t* row, int64_t col, int64_t count, const uint8_t* src, int64_t room) {
        for (int64_t k = 0, end = written(col, count, room); k < end; ++k)
            put(row, col + k, (src[k >> 1] >> nibbleShift(k)) & 0x0F);
    }
};

template <typename Pixels>
uint8_t* decodeRle(const DibBlock& dib, const RleMessages& msg) {
    const BITMAPINFOHEADER* header = dib.header;
    auto fail = [&](uint8_t* buffer, const char* text, int32_t line) -> uint8_t* {
        alignedFree(buffer);
        report(kSite, STATUS_BAD_ARG, text, line);
        return nullptr;
    };
    // Rows are stored bottom-up as the stream delivers them; a top-down or
    // negative-width run-length bitmap does not exist.
    if (header->biHeight < 0 || header->biWidth < 0)
        return fail(nullptr, msg.badPosition, msg.badPositionLine);

    const int64_t width = header->biWidth;
    const int64_t height = header->biHeight;
    const int64_t rowSize = dibRowSize(width, Pixels::kBits, 4);
    const int64_t total = rowSize * height;
    // No image of this library holds more than 2^31 - 1 bytes.
    uint8_t* buffer = total <= INT32_MAX
                          ? static_cast<uint8_t*>(alignedMalloc(static_cast<size_t>(total)))
                          : nullptr;
    if (buffer == nullptr) {
        report(kSite, STATUS_NO_MEMORY, msg.noMemory, msg.noMemoryLine);
        return nullptr;
    }
    // Pixels the stream skips read as index 0 rather than as stale memory.
    std::memset(buffer, 0, static_cast<size_t>(total));

    Stream stream{dib.bits, dib.streamLimit};
    int64_t row = 0, col = 0;
    for (;;) {
        if (col > width) return fail(buffer, msg.badPosition, msg.badPositionLine);
        uint8_t n = 0, m = 0;
        if (!stream.take2(&n, &m)) return fail(buffer, msg.badHeight, msg.badHeightLine);
        uint8_t* rowStart = buffer + row * rowSize;
        const int64_t room = (total - row * rowSize) * 8 / Pixels::kBits;
        if (n > 0) {  // encoded run
            if (row >= height || col + n > width)
                return fail(buffer, msg.badPosition, msg.badPositionLine);
            Pixels::run(rowStart, col, n, m, room);
            col += n;
        } else if (m == 0) {  // end of line
            if (col != width) return fail(buffer, msg.badWidth, msg.badWidthLine);
            ++row;
            col = 0;
        } else if (m == 1) {  // end of bitmap; the last line may omit its end of line
            if (row == height || row == height - 1) return buffer;
            return fail(buffer, msg.badHeight, msg.badHeightLine);
        } else if (m == 2) {  // delta
            uint8_t dx = 0, dy = 0;
            if (!stream.take2(&dx, &dy)) return fail(buffer, msg.badHeight, msg.badHeightLine);
            col += dx;
            row += dy;
            if (col > width || row > height) return fail(buffer, msg.badDelta, msg.badDeltaLine);
        } else {  // absolute run of m pixels, padded to an even stream offset
            if (row >= height || col + m > width)
                return fail(buffer, msg.badPosition, msg.badPositionLine);
            const size_t bytes = static_cast<size_t>(Pixels::absoluteBytes(m));
            if (!stream.has(bytes)) return fail(buffer, msg.badHeight, msg.badHeightLine);
            Pixels::copy(rowStart, col, m, stream.data + stream.pos, room);
            col += m;
            stream.pos += bytes + (bytes & 1);
        }
        if (row > height) return fail(buffer, msg.badPosition, msg.badPositionLine);
    }
}

}  // namespace

uint8_t* decodeRleDIB(const DibBlock& dib) {
    switch (dib.header->biCompression) {
        case kBiRle8:
            return decodeRle<Rle8Pixels>(dib, kRle8Messages);
        case kBiRle4:
            return decodeRle<Rle4Pixels>(dib, kRle4Messages);
        default:
            return nullptr;  // nothing to expand: the caller reports
    }
}
