// Bitmap conversion internals: the layout of a bitmap block, the converter
// and the run-length decoders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zar.h"

// Compression codes of BITMAPINFOHEADER.biCompression.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;

// Reading no further than this many bytes of a run-length stream means "no
// bound but the stream's own end of bitmap".
constexpr size_t kUnboundedStream = SIZE_MAX;

// Where the parts of one bitmap lie.  A bitmap given as one block has its
// colour table right behind the header and its bits right behind the table; a
// whole file names its own bits offset, so the bits may lie elsewhere.
struct DibBlock {
    const BITMAPINFOHEADER* header;  // the caller's, or an aligned copy of a file's
    const uint8_t* colors;           // colour table, or the three masks of bit fields
    const uint8_t* bits;             // pixel rows, or the run-length stream
    size_t streamLimit;              // stream bytes the decoder may read
    bool bitsInPlace;                // bits at header + biSize + 4 * colour entries
};

// The block layout of a bitmap whose header, table and bits lie together: bits
// right behind the colour table, the stream bounded by biSizeImage when it is
// not 0.
DibBlock contiguousDib(const BITMAPINFOHEADER* dib);

// Number of colour entries (palette entries, or 3 for the masks of bit fields)
// between the header and the bits.  Up to 2^32 - 1 for a hostile biClrUsed.
int64_t dibColorEntries(const BITMAPINFOHEADER* dib);

// Bytes per row for width pixels of bitCount bits, rows padded to alignBytes.
// 64-bit so that no header can overflow it; negative widths give 0.
int64_t dibRowSize(int64_t width, int64_t bitCount, int64_t alignBytes);

// Every entry i of n (n > 1) has red = green = blue = 255 * i / (n - 1).  A
// table of one entry is not gray (there is no ramp to compare with).
bool hasGrayPalette(const BITMAPINFOHEADER* dib, const uint8_t* colors);

// Internal converter: the bitmap into an existing image (allocated here when
// it has no pixels).  Reports under "zarConvertFromDIB".
void zarConvertFromDIB(const BITMAPINFOHEADER* dib, ImageHeader* image);
// The same for a bitmap whose parts the caller has located.  freshPixels: the
// image's pixels were just allocated (as they are when the image has none)
// and hold nothing of value, so a BI_RLE8 bitmap is converted row by row as
// it is decoded, and a broken stream leaves the rows before the break
// converted; otherwise the image is left as it was.
void convertFromDIB(const DibBlock& dib, ImageHeader* image, bool freshPixels);

// Expands a BI_RLE8 or BI_RLE4 stream into |biHeight| bottom-up rows of the
// uncompressed row size (an alignedMalloc block the caller frees with
// alignedFree).  Null after a report.  Reads at most dib.streamLimit bytes of
// stream and never writes outside the rows it returns.
uint8_t* decodeRleDIB(const DibBlock& dib);

// Where a run-length decoder hands its rows: take(context, row, indices) gets
// row 0 (the bottom one) to |biHeight| - 1 in order, each once, biWidth
// palette indices and the row's padding (pixels the stream skips hold 0).
struct RleRowSink {
    void (*take)(void* context, int64_t row, const uint8_t* indices);
    void* context;
};

// Decodes a BI_RLE8 stream row by row into sink, rows handed over before the
// stream is known to be whole: false after a report, the rows handed over
// until then being all that was decoded.  Reads and writes as decodeRleDIB.
bool decodeRle8Rows(const DibBlock& dib, const RleRowSink& sink);
