// Run-length decoding of BI_RLE8 and BI_RLE4 bitmaps into uncompressed rows.
//
// The stream is hostile until proven otherwise: the decoder reads no more than
// the stream limit (biSizeImage when it is not 0, or what the caller knows of
// the block) and writes nothing outside the rows it allocated, whatever the
// commands say.
#include <algorithm>
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

// BI_RLE4 into a whole buffer (BI_RLE8 goes row by row: decodeRle8 below).
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

// ------------------------------------------------------------------ RLE8
//
// Rows are handed over one by one, each as soon as the stream has moved past
// it.  The row being decoded lives in a line of the row size plus 16 bytes:
// a short run stores 16 bytes of its value and the following commands write
// over the surplus, so only the pixels the stream skips (a delta, the end of a
// row or of the bitmap) are cleared, when they are skipped.

struct Line {
    uint8_t* bytes;
    int64_t width, rowSize;
    int64_t col = 0;  // pixels decoded; the bytes from here on are surplus
};

void putRun(Line& line, int64_t n, uint8_t m) {
    uint8_t* p = line.bytes + line.col;
    if (n <= 16) {
        const uint64_t pattern = m * 0x0101010101010101ull;
        std::memcpy(p, &pattern, 8);
        std::memcpy(p + 8, &pattern, 8);
    } else {
        std::memset(p, m, static_cast<size_t>(n));
    }
    line.col += n;
}

void skipTo(Line& line, int64_t col) {
    std::memset(line.bytes + line.col, 0, static_cast<size_t>(col - line.col));
    line.col = col;
}

// Hands rows from..to-1 over: the line as decoded (its skipped rest cleared,
// padding included), then cleared rows.
void finishRows(Line& line, int64_t from, int64_t to, const RleRowSink& sink) {
    for (int64_t row = from; row < to; ++row) {
        skipTo(line, line.rowSize);
        sink.take(sink.context, row, line.bytes);
        line.col = 0;
    }
}

bool decodeRle8(const DibBlock& dib, const RleRowSink& sink, Line& line) {
    const RleMessages& msg = kRle8Messages;
    auto fail = [](const char* text, int32_t at) {
        report(kSite, STATUS_BAD_ARG, text, at);
        return false;
    };
    const int64_t width = line.width, height = dib.header->biHeight;
    Stream stream{dib.bits, dib.streamLimit};
    int64_t row = 0;
    for (;;) {
        if (line.col > width) return fail(msg.badPosition, msg.badPositionLine);
        uint8_t n = 0, m = 0;
        if (!stream.take2(&n, &m)) return fail(msg.badHeight, msg.badHeightLine);
        if (n > 0) {  // encoded run
            if (row >= height || line.col + n > width)
                return fail(msg.badPosition, msg.badPositionLine);
            putRun(line, n, m);
        } else if (m == 0) {  // end of line
            if (line.col != width) return fail(msg.badWidth, msg.badWidthLine);
            if (row < height) finishRows(line, row, row + 1, sink);
            ++row;
            line.col = 0;
        } else if (m == 1) {  // end of bitmap; the last line may omit its end of line
            if (row != height && row != height - 1) return fail(msg.badHeight, msg.badHeightLine);
            finishRows(line, row, height, sink);
            return true;
        } else if (m == 2) {  // delta
            uint8_t dx = 0, dy = 0;
            if (!stream.take2(&dx, &dy)) return fail(msg.badHeight, msg.badHeightLine);
            const int64_t col = line.col + dx;
            if (col > width || row + dy > height) return fail(msg.badDelta, msg.badDeltaLine);
            if (dy > 0) {
                finishRows(line, row, std::min(row + dy, height), sink);
                row += dy;
            }
            // A delta onto the row past the last one keeps its column for the
            // checks; nothing more can be written there.
            if (row < height) skipTo(line, col);
            line.col = col;
        } else {  // absolute run of m pixels, padded to an even stream offset
            if (row >= height || line.col + m > width)
                return fail(msg.badPosition, msg.badPositionLine);
            const size_t bytes = m;
            if (!stream.has(bytes)) return fail(msg.badHeight, msg.badHeightLine);
            std::memcpy(line.bytes + line.col, stream.data + stream.pos, bytes);
            line.col += m;
            stream.pos += bytes + (bytes & 1);
        }
        if (row > height) return fail(msg.badPosition, msg.badPositionLine);
    }
}

// The rows into one buffer of |biHeight| rows of the row size.
struct WholeRows {
    uint8_t* buffer;
    int64_t rowSize;
};

void storeRow(void* context, int64_t row, const uint8_t* indices) {
    const auto* whole = static_cast<const WholeRows*>(context);
    std::memcpy(whole->buffer + row * whole->rowSize, indices, static_cast<size_t>(whole->rowSize));
}

// Negative sizes are refused (reported): false.
bool rle8HeaderUsable(const BITMAPINFOHEADER* header) {
    if (header->biHeight >= 0 && header->biWidth >= 0) return true;
    report(kSite, STATUS_BAD_ARG, kRle8Messages.badPosition, kRle8Messages.badPositionLine);
    return false;
}

// rows rows of the row size and extra bytes, allocated only when the whole
// bitmap's rows fit 2^31 - 1 bytes (no image of this library holds more):
// null after a report.
uint8_t* allocateRle8Rows(const BITMAPINFOHEADER* header, int64_t rows, int64_t extra) {
    const int64_t rowSize = dibRowSize(header->biWidth, 8, 4);
    uint8_t* bytes = rowSize * header->biHeight <= INT32_MAX
                         ? static_cast<uint8_t*>(
                               alignedMalloc(static_cast<size_t>(rowSize * rows + extra)))
                         : nullptr;
    if (bytes == nullptr)
        report(kSite, STATUS_NO_MEMORY, kRle8Messages.noMemory, kRle8Messages.noMemoryLine);
    return bytes;
}

// A header already found usable, decoded through a line of its own.
bool decodeRle8ThroughLine(const DibBlock& dib, const RleRowSink& sink) {
    uint8_t* bytes = allocateRle8Rows(dib.header, 1, 16);
    if (bytes == nullptr) return false;
    Line line{bytes, dib.header->biWidth, dibRowSize(dib.header->biWidth, 8, 4)};
    const bool whole = decodeRle8(dib, sink, line);
    alignedFree(bytes);
    return whole;
}

uint8_t* decodeRle8Whole(const DibBlock& dib) {
    const BITMAPINFOHEADER* header = dib.header;
    if (!rle8HeaderUsable(header)) return nullptr;
    WholeRows whole{allocateRle8Rows(header, header->biHeight, 0),
                    dibRowSize(header->biWidth, 8, 4)};
    if (whole.buffer == nullptr) return nullptr;
    if (decodeRle8ThroughLine(dib, {storeRow, &whole})) return whole.buffer;
    alignedFree(whole.buffer);
    return nullptr;
}

}  // namespace

bool decodeRle8Rows(const DibBlock& dib, const RleRowSink& sink) {
    return rle8HeaderUsable(dib.header) && decodeRle8ThroughLine(dib, sink);
}

uint8_t* decodeRleDIB(const DibBlock& dib) {
    switch (dib.header->biCompression) {
        case kBiRle8:
            return decodeRle8Whole(dib);
        case kBiRle4:
            return decodeRle<Rle4Pixels>(dib, kRle4Messages);
        default:
            return nullptr;  // nothing to expand: the caller reports
    }
}
