/*
 * zar — image processing with a plain C interface.
 *
 * This is the only public header of the library.  It is valid C99 and C++.
 * Every function reports failures through the calling thread's error handler
 * (see "Error handling" below); by default the first reported error ends the
 * process with exit code 1.  Call zarSetErrorMode(ZAR_ERRMODE_RETURN) to have
 * operations return after reporting instead.
 */
#ifndef ZAR_H
#define ZAR_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(ZAR_BUILDING_LIBRARY)
#define ZAR_API __declspec(dllexport)
#elif defined(ZAR_STATIC)
#define ZAR_API
#else
#define ZAR_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && defined(ZAR_BUILDING_LIBRARY)
#define ZAR_API __attribute__((visibility("default")))
#else
#define ZAR_API
#endif

#if defined(__i386__) || defined(_M_IX86)
#if defined(_MSC_VER)
#define ZAR_STDCALL __stdcall
#else
#define ZAR_STDCALL __attribute__((stdcall))
#endif
#else
#define ZAR_STDCALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- types */

typedef int32_t ZarStatus;

/* Region of interest: channel of interest (0 = all), top-left corner, size. */
typedef struct Roi {
    int32_t coi, xOffset, yOffset, width, height;
} Roi;

struct ImageHeader;

/* Tile callback of a tiled image: store the tile (xIndex, yIndex) in
 * image->tileInfo->tileData for ZAR_TILE_READ / ZAR_TILE_WRITE (or null when it
 * cannot be had); ZAR_TILE_RELEASE hands the tile back. */
typedef void(ZAR_STDCALL* ZarTileCallback)(struct ImageHeader* image, int32_t xIndex,
                                           int32_t yIndex, int32_t mode);

typedef struct TileInfo {
    ZarTileCallback callBack;
    int32_t id; /* the application's word */
    char* tileData;
    int32_t width, height; /* tile size in pixels, positive multiples of 8 */
} TileInfo;

typedef struct ImageHeader {
    int32_t headerSize, headerId, nChannels, alphaChannel, depth;
    char colorModel[4], channelSeq[4];
    int32_t dataOrder, origin, align, width, height;
    Roi* roi;
    struct ImageHeader* maskImage;
    void* imageTag;
    TileInfo* tileInfo;
    int32_t imageSize;
    char* imageData;
    int32_t widthStep;
    int32_t borderModes[4], borderValues[4]; /* top, bottom, left, right */
    char* imageDataBlock;
} ImageHeader;

typedef ZarStatus(ZAR_STDCALL* ZarErrorHandler)(ZarStatus status, const char* funcName,
                                                const char* context, const char* fileName,
                                                int32_t line);

#if defined(_WIN32)
#include <windows.h>
#elif !defined(ZAR_HAVE_BITMAPINFOHEADER) && !defined(_WINGDI_)
#define ZAR_HAVE_BITMAPINFOHEADER 1
/* The 40-byte Windows bitmap information header. */
typedef struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} BITMAPINFOHEADER;
#endif

/* ------------------------------------------------------------ constants */

/* Depths: bits per channel value, the top bit marks signed integers. */
#define ZAR_DEPTH_SIGN ((int32_t)0x80000000)
#define ZAR_DEPTH_1U 1
#define ZAR_DEPTH_8U 8
#define ZAR_DEPTH_8S ((int32_t)(0x80000000 | 8))
#define ZAR_DEPTH_16U 16
#define ZAR_DEPTH_16S ((int32_t)(0x80000000 | 16))
#define ZAR_DEPTH_32S ((int32_t)(0x80000000 | 32))
#define ZAR_DEPTH_32F 32

#define ZAR_DATA_ORDER_PIXEL 0
#define ZAR_DATA_ORDER_PLANE 1

#define ZAR_ORIGIN_TL 0
#define ZAR_ORIGIN_BL 1

#define ZAR_ALIGN_4BYTES 4
#define ZAR_ALIGN_8BYTES 8
#define ZAR_ALIGN_16BYTES 16
#define ZAR_ALIGN_32BYTES 32

#define ZAR_BORDER_CONSTANT 0
#define ZAR_BORDER_REPLICATE 1
#define ZAR_BORDER_REFLECT 2
#define ZAR_BORDER_WRAP 3

#define ZAR_SIDE_TOP 1
#define ZAR_SIDE_BOTTOM 2
#define ZAR_SIDE_LEFT 4
#define ZAR_SIDE_RIGHT 8
#define ZAR_SIDE_ALL 15

#define ZAR_INTER_NN 0
#define ZAR_INTER_LINEAR 1
#define ZAR_INTER_CUBIC 2
#define ZAR_INTER_SUPER 3

#define ZAR_FREE_HEADER 1
#define ZAR_FREE_DATA 2
#define ZAR_FREE_ROI 4
#define ZAR_FREE_TILE 8
#define ZAR_FREE_MASK 16
#define ZAR_FREE_ALL 31

#define ZAR_TILE_READ 1
#define ZAR_TILE_WRITE 2
#define ZAR_TILE_RELEASE 4

#define ZAR_FIXED_PREWITT_X 0
#define ZAR_FIXED_PREWITT_Y 1
#define ZAR_FIXED_SOBEL_X 2
#define ZAR_FIXED_SOBEL_Y 3
#define ZAR_FIXED_LAPLACE_3 4
#define ZAR_FIXED_LAPLACE_5 5
#define ZAR_FIXED_GAUSS_3 6
#define ZAR_FIXED_GAUSS_5 7
#define ZAR_FIXED_HIGHPASS_3 8
#define ZAR_FIXED_HIGHPASS_5 9
#define ZAR_FIXED_SHARPEN_3 10

#define ZAR_ERRMODE_EXIT 0
#define ZAR_ERRMODE_RETURN 1

#define STATUS_OK 0
#define STATUS_BACKTRACE (-1)
#define STATUS_ERROR (-2)
#define STATUS_INTERNAL (-3)
#define STATUS_NO_MEMORY (-4)
#define STATUS_BAD_ARG (-5)
#define STATUS_UNSUPPORTED (-6)
#define STATUS_NO_CONVERGENCE (-7)
#define STATUS_AUTOTRACE (-8)
#define STATUS_NULL_HEADER (-9)
#define STATUS_BAD_IMAGE_SIZE (-10)
#define STATUS_BAD_ROI_OFFSET (-11)
#define STATUS_BAD_DATA_POINTERS (-12)
#define STATUS_BAD_WIDTH_STEP (-13)
#define STATUS_BAD_COLOR_MODEL (-14)
#define STATUS_BAD_CHANNELS (-15)
#define STATUS_BAD_1U_CHANNELS (-16)
#define STATUS_BAD_DEPTH (-17)
#define STATUS_BAD_ALPHA (-18)
#define STATUS_BAD_ORDER (-19)
#define STATUS_BAD_ORIGIN (-20)
#define STATUS_BAD_ALIGN (-21)
#define STATUS_NULL_CALLBACK (-22)
#define STATUS_BAD_TILE_SIZE (-23)
#define STATUS_BAD_COI (-24)
#define STATUS_BAD_ROI_SIZE (-25)
#define STATUS_MASK_TILED (-26)

/* A mask image that fails validation with code c gives its image c - 100. */
#define STATUS_MASK_OFFSET 100
#define STATUS_MASK_BAD_IMAGE_SIZE (-110)
#define STATUS_MASK_BAD_ROI_OFFSET (-111)
#define STATUS_MASK_BAD_DATA_POINTERS (-112)
#define STATUS_MASK_BAD_WIDTH_STEP (-113)
#define STATUS_MASK_BAD_COLOR_MODEL (-114)
#define STATUS_MASK_BAD_CHANNELS (-115)
#define STATUS_MASK_BAD_1U_CHANNELS (-116)
#define STATUS_MASK_BAD_DEPTH (-117)
#define STATUS_MASK_BAD_ALPHA (-118)
#define STATUS_MASK_BAD_ORDER (-119)
#define STATUS_MASK_BAD_ORIGIN (-120)
#define STATUS_MASK_BAD_ALIGN (-121)
#define STATUS_MASK_NULL_CALLBACK (-122)
#define STATUS_MASK_BAD_TILE_SIZE (-123)
#define STATUS_MASK_BAD_COI (-124)
#define STATUS_MASK_BAD_ROI_SIZE (-125)

/* ------------------------------------------------------- error handling */

/* The calling thread's status word: the last code reported or recorded. */
ZAR_API ZarStatus ZAR_STDCALL zarGetStatus(void);
ZAR_API void ZAR_STDCALL zarSetStatus(ZarStatus status);

/* Error mode of the calling thread: ZAR_ERRMODE_EXIT (the default; the default
 * handler ends the process with exit code 1) or ZAR_ERRMODE_RETURN (the default
 * handler returns the status and the operation returns). */
ZAR_API int32_t ZAR_STDCALL zarGetErrorMode(void);
/* Sets the mode, returns the previous one. */
ZAR_API int32_t ZAR_STDCALL zarSetErrorMode(int32_t mode);

/* Installs handler for the calling thread and returns the previous one; a null
 * handler restores zarDefaultErrorHandler. */
ZAR_API ZarErrorHandler ZAR_STDCALL zarRedirectError(ZarErrorHandler handler);

/* The error call: records status (except STATUS_BACKTRACE / STATUS_AUTOTRACE),
 * returns 0 at once for status 0, else calls the thread's handler. */
ZAR_API ZarStatus ZAR_STDCALL zarReportError(ZarStatus status, const char* funcName,
                                             const char* context, const char* fileName,
                                             int32_t line);

/* Ends the process with exit code 1 in ZAR_ERRMODE_EXIT; returns status otherwise.
 * Prints nothing. */
ZAR_API ZarStatus ZAR_STDCALL zarDefaultErrorHandler(ZarStatus status, const char* funcName,
                                                     const char* context, const char* fileName,
                                                     int32_t line);

/* A ready handler: prints one line "zar error: <message> in <funcName>
 * (<context>) at <fileName>:<line>" to stderr and returns status. */
ZAR_API ZarStatus ZAR_STDCALL zarStdErrReport(ZarStatus status, const char* funcName,
                                              const char* context, const char* fileName,
                                              int32_t line);

/* The text of a status code ("Unknown error or status code" for unknown codes). */
ZAR_API const char* ZAR_STDCALL zarStatusMessage(ZarStatus status);

/* ------------------------------------------------------- headers, memory */

/* Creates a header (no pixels).  Checks size, channels, depth, alpha, data order,
 * origin, align and the mask image; reports "Incorrect data-ins" and returns null
 * on a bad argument, returns null silently when out of memory.  roi, maskImage
 * and tileInfo stay owned by the caller. */
ZAR_API ImageHeader* ZAR_STDCALL zarCreateImageHeader(
    int32_t nChannels, int32_t alphaChannel, int32_t depth, const char* colorModel,
    const char* channelSeq, int32_t dataOrder, int32_t origin, int32_t align, int32_t width,
    int32_t height, Roi* roi, ImageHeader* maskImage, void* imageTag, TileInfo* tileInfo);

/* Allocates the pixels of an integer-depth header without pixels (sets imageData,
 * imageDataBlock, widthStep, imageSize); with doFill != 0 fills every 32-bit word
 * with fillValue's pattern for the depth.  A failed allocation leaves imageData null. */
ZAR_API void ZAR_STDCALL zarAllocateImage(ImageHeader* image, int32_t doFill, int32_t fillValue);

/* The same for ZAR_DEPTH_32F images; the fill writes fillValue's bit pattern. */
ZAR_API void ZAR_STDCALL zarAllocateImageFP(ImageHeader* image, int32_t doFill, float fillValue);

/* Releases the parts of image named by the ZAR_FREE_* bits in flags. */
ZAR_API void ZAR_STDCALL zarDeallocate(ImageHeader* image, int32_t flags);

/* A new plain image with image's format, roi values and border settings and a
 * copy of its pixels (a tiled source's pixels are not read); null on failure. */
ZAR_API ImageHeader* ZAR_STDCALL zarCloneImage(const ImageHeader* image);

/* ----------------------------------------------------- pixel operations */

/* Fills the region (channel of interest, mask) with fillValue, saturated to the depth. */
ZAR_API void ZAR_STDCALL zarSet(ImageHeader* image, int32_t fillValue);
/* Fills the region of a ZAR_DEPTH_32F image with fillValue. */
ZAR_API void ZAR_STDCALL zarSetFP(ImageHeader* image, float fillValue);
/* Copies the source region into the destination region (common size, both masks). */
ZAR_API void ZAR_STDCALL zarCopy(ImageHeader* srcImage, ImageHeader* dstImage);
/* Writes one pixel (all channels) at (x, y) of the whole image; ignores roi and mask. */
ZAR_API void ZAR_STDCALL zarPutPixel(ImageHeader* image, int32_t x, int32_t y, const void* pixel);

/* dst = saturate(A + B) over the common region, honouring the masks. */
ZAR_API void ZAR_STDCALL zarAdd(ImageHeader* srcImageA, ImageHeader* srcImageB,
                                ImageHeader* dstImage);
/* Bitwise or / and of two images into a third. */
ZAR_API void ZAR_STDCALL zarOr(ImageHeader* srcImageA, ImageHeader* srcImageB,
                               ImageHeader* dstImage);
ZAR_API void ZAR_STDCALL zarAnd(ImageHeader* srcImageA, ImageHeader* srcImageB,
                                ImageHeader* dstImage);
/* dst = src xor value. */
ZAR_API void ZAR_STDCALL zarXorS(ImageHeader* srcImage, ImageHeader* dstImage, int32_t value);

/* ---------------------------------------------------------------- filters */

/* Box blur with an nCols x nRows neighbourhood anchored at (anchorX, anchorY). */
ZAR_API void ZAR_STDCALL zarBlur(ImageHeader* srcImage, ImageHeader* dstImage, int32_t nCols,
                                 int32_t nRows, int32_t anchorX, int32_t anchorY);
/* One of the eleven ZAR_FIXED_* kernels; returns the status. */
ZAR_API ZarStatus ZAR_STDCALL zarFixedFilter(ImageHeader* srcImage, ImageHeader* dstImage,
                                             int32_t filter);
/* 3x3 maximum / minimum applied nIterations times. */
ZAR_API void ZAR_STDCALL zarDilate(ImageHeader* srcImage, ImageHeader* dstImage,
                                   int32_t nIterations);
ZAR_API void ZAR_STDCALL zarErode(ImageHeader* srcImage, ImageHeader* dstImage,
                                  int32_t nIterations);

/* -------------------------------------------------------------- geometry */

/* Shrinks by xDst/xSrc and yDst/ySrc with a ZAR_INTER_* mode. */
ZAR_API void ZAR_STDCALL zarDecimate(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                                     int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate);
/* Enlarges by xDst/xSrc and yDst/ySrc. */
ZAR_API void ZAR_STDCALL zarZoom(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                                 int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate);
/* Scales by any factors, routing to decimation and zoom; returns the status. */
ZAR_API ZarStatus ZAR_STDCALL zarResize(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                                        int32_t xSrc, int32_t yDst, int32_t ySrc,
                                        int32_t interpolate);
/* dst(x, y) = src(xMap(x, y), yMap(x, y)); the maps are 32F images. */
ZAR_API void ZAR_STDCALL zarRemap(ImageHeader* srcImage, ImageHeader* xMap, ImageHeader* yMap,
                                  ImageHeader* dstImage, int32_t interpolate);

/* --------------------------------------------------------------- bitmaps */

/* Turns a bitmap in memory into a new image.  dib points at a 40-byte
 * BITMAPINFOHEADER followed by its colour table (or, for BI_BITFIELDS, its
 * three masks, red first) and its bits, in one block; compressions BI_RGB,
 * BI_RLE8, BI_RLE4 and BI_BITFIELDS; 1, 4, 8, 16, 24 or 32 bits a pixel.
 *
 * *cloneData is written, never read.  It is 0 when the image references the
 * bits inside the block (keep the block alive while the image is used;
 * zarDeallocate never frees it): uncompressed 24-bit
 * (3 channels "BGR"), 32-bit BI_RGB (4 channels "BGRA", alpha = the fourth
 * byte), 1-bit with a black-then-white palette (one ZAR_DEPTH_1U channel) and
 * 8-bit with a gray palette (one 8U channel holding the palette INDICES, which
 * equal the gray levels only for the 256-entry identity ramp).  Otherwise it
 * is 1 and the image owns converted pixels in plane order, rows aligned to 32
 * bytes: 8U "BGR", one 8U gray channel for 4-bit and run-length 8-bit gray
 * palettes, "BGRA" for 32-bit bit fields (alpha = the bits above the highest
 * mask).  Fields narrower than 8 bits are shifted up without replicating
 * their high bits (5-bit 31 becomes 248).  A palette is gray when it has at
 * least two entries and entry i of n is 255 * i / (n - 1) in all three colours.
 * Origin is ZAR_ORIGIN_BL for a positive biHeight (bottom-up rows) and
 * ZAR_ORIGIN_TL for a negative one; width biWidth, height |biHeight|.
 *
 * Returns null after reporting a bad argument or header, or no memory.  A
 * failure while converting (a malformed run-length stream) is reported but the
 * image is still returned, its pixels undefined.  A run-length stream is read
 * up to its end of bitmap, or at most biSizeImage bytes when that is not 0;
 * pixels it skips read as palette index 0.  In ZAR_ERRMODE_RETURN, a negative
 * status word left by an earlier failure makes the conversion return without
 * converting: clear it with zarSetStatus(0) first, or use zarTranslateDIBBlock. */
ZAR_API ImageHeader* ZAR_STDCALL zarTranslateDIB(const BITMAPINFOHEADER* dib, int32_t* cloneData);

/* zarTranslateDIB for a bitmap of known size, safe on untrusted bytes.  block
 * is either a whole .bmp file image (starting with the 14-byte "BM" file
 * header, whose bits offset is honoured) or a bare bitmap block as
 * zarTranslateDIB takes it, of size bytes, at any alignment.  Clears the
 * status word on entry, then refuses with STATUS_BAD_ARG (function
 * "zarTranslateDIBBlock") a null block or cloneData and a block too small for
 * its headers; checks the header as zarTranslateDIB does; and refuses a colour
 * table, masks, bits offset, uncompressed bits or run-length stream
 * (biSizeImage) reaching past size.  A run-length stream with biSizeImage 0 is
 * bounded by the end of the block.  Then it behaves as zarTranslateDIB: a
 * referenced image (*cloneData 0) points into block.  A file whose bits do not
 * lie right behind its colour table is always converted (*cloneData 1). */
ZAR_API ImageHeader* ZAR_STDCALL zarTranslateDIBBlock(const void* block, size_t size,
                                                      int32_t* cloneData);

#ifdef __cplusplus
}
#endif

#endif /* ZAR_H */
