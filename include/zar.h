/**
 * @file zar.h
 * @brief zar — image processing with a plain C interface.
 *
 * This is the only public header of the library.  It is valid C99 and C++.
 * The @ref guide "guide" explains the image model with pictures and worked
 * examples; this page is the reference of every type, constant and function.
 *
 * @par Images
 * An ImageHeader describes an image: its channels and depth, how its pixels
 * lie in memory (pixel or plane order, rows aligned to 4 to 32 bytes), its
 * origin, an optional region of interest (Roi) with a channel of interest, an
 * optional 1-bit mask image, optional tiles delivered by an application
 * callback (TileInfo), and the border rules that give values to positions
 * outside the image.  The rules below hold for every operation unless its own
 * comment says otherwise.
 *
 * @par Coordinates and the origin
 * Every position the library takes from a header (the region's offsets, a
 * mask's region, a tile's index) counts columns from the left and rows in
 * memory order: row 0 is the first row at imageData.  For a ZAR_ORIGIN_TL
 * image that is the top line of the picture; for a ZAR_ORIGIN_BL (bottom-up)
 * image, such as a bitmap with a positive height, it is the bottom line, so a
 * region's yOffset counts from the bottom of the picture.  zarPutPixel() alone
 * honours the origin: its y counts from the top of the picture on either kind.
 * Operations on two or three images require equal origins where they say so
 * and never flip rows.
 *
 * @par Region of interest
 * Without a Roi the region is the whole image.  A region may reach past the
 * right or bottom edge: it is cut there.  A region whose offset lies at or
 * beyond the image's width or height is not an error: the operation does
 * nothing.  An operation on several images processes, from each image's own
 * region offset, the smallest width and the smallest height among their
 * (cut) regions and masks' regions: a region set on the source alone puts the
 * result in the destination's corner at (0, 0), so give both images their
 * region.  The geometry operations scale one region into the other.
 *
 * @par Channels and alpha
 * A Roi's coi of k (1-based) processes channel k alone; coi 0 processes every
 * channel except the alpha channel (alphaChannel = nChannels), whose values
 * are left as they are.  Images of one operation must process equal numbers
 * of channels, so a coi of 2 on a three-channel source can feed a one-channel
 * destination.  zarPutPixel() writes every channel; zarDecimate() treats the
 * alpha channel as an ordinary one.
 *
 * @par Masks
 * A mask is a plain (untiled) one-channel ZAR_DEPTH_1U image attached as
 * maskImage.  A destination pixel changes only where the mask bit is 1; bits
 * are packed eight to a byte, most significant bit first.  The mask is read
 * from its own region's offset, and its region's size limits the common size.
 * When several images of one call carry masks, a pixel changes only where all
 * of them are 1.  zarPutPixel(), zarDecimate(), zarRemap() and the super-sampling
 * path of zarResize() ignore masks.
 *
 * @par Tiles
 * A tiled image has tileInfo set and imageData null.  The library asks the
 * callback for tile (column, row) with ZAR_TILE_READ or ZAR_TILE_WRITE, reads
 * the tile's address from tileInfo->tileData right away, and hands every tile
 * back with ZAR_TILE_RELEASE before the operation returns normally.  A tile
 * is laid out like a plain image of tileInfo->width × tileInfo->height pixels
 * with the image's channels, depth, data order and align.  Tiles are counted
 * in memory rows from the image's first row, like every other position.
 *
 * @par Borders
 * zarBlur(), zarFixedFilter(), zarDilate() and zarErode() read neighbours outside the
 * source image; they take them from the source's borderModes and
 * borderValues, one per side (top, bottom, left, right; a corner follows the
 * top or bottom side).  zarCreateImageHeader() sets every side to
 * ZAR_BORDER_CONSTANT with the value 0, so by default a filter sees black
 * beyond the edges: set the borders for other behaviour.
 *
 * @par Values
 * Integer results are saturated to the destination depth's range; 32-bit
 * float results are never clamped.  Each operation states its rounding.
 *
 * @par Errors
 * Every failure is reported through zarReportError() to the calling thread's
 * handler.  By default (ZAR_ERRMODE_EXIT with zarDefaultErrorHandler()) the
 * first report ends the process with exit code 1 and prints nothing.  Call
 * zarSetErrorMode(ZAR_ERRMODE_RETURN) to have the operation return after the
 * report, and zarRedirectError(zarStdErrReport) to have each report printed.
 * The status word keeps the last reported code until the next report or
 * zarSetStatus(); it is not cleared by a successful call, and zarCopy(),
 * zarFixedFilter(), zarDecimate(), zarZoom(), zarResize(), zarRemap() and
 * zarTranslateDIB() do nothing while it is negative: call
 * zarSetStatus(STATUS_OK) after handling a failure.
 *
 * @par Threads
 * The library starts no thread and takes no lock.  Status word, error mode
 * and handler belong to the calling thread.  Calls on different images may
 * run at once on different threads; an image, its mask and its tile callback
 * must not be used by another thread during a call, since some operations
 * change a header's fields for the length of the call and restore them.
 */

/** @def ZAR_API
 * Marks the exported functions (visibility or dllexport/dllimport). */
/** @def ZAR_STDCALL
 * The calling convention of every function and callback: the callee removes
 * the arguments on 32-bit x86, nothing elsewhere. */
/** @def ZAR_HAVE_BITMAPINFOHEADER
 * Defined when this header declares BITMAPINFOHEADER itself (outside Windows).
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

/** A status code: 0 (STATUS_OK) for success, negative for a failure. */
typedef int32_t ZarStatus;

/** Region of interest: channel of interest (0 = all), top-left corner, size.
 *
 * Positions count in memory rows (see the file comment): for a bottom-up
 * image yOffset counts from the bottom line of the picture.  The region may
 * reach past the right and bottom edges; operations cut it there.  Header
 * validation refuses coi outside 0..nChannels (STATUS_BAD_COI), a width or
 * height below 1 (STATUS_BAD_ROI_SIZE) and a negative offset
 * (STATUS_BAD_ROI_OFFSET). */
typedef struct Roi {
    int32_t coi, xOffset, yOffset, width, height;
} Roi;
/** @var Roi::coi
 * Channel of interest: 0 for every channel but alpha, k (1..nChannels) for
 * channel k alone.
 * @var Roi::xOffset
 * Left column of the region, in pixels, at least 0.
 * @var Roi::yOffset
 * First row of the region in memory order, in pixels, at least 0.
 * @var Roi::width
 * Width of the region in pixels, at least 1.
 * @var Roi::height
 * Height of the region in rows, at least 1. */

struct ImageHeader;

/** Tile callback of a tiled image.
 *
 * For ZAR_TILE_READ and ZAR_TILE_WRITE, store the address of tile (xIndex,
 * yIndex) in image->tileInfo->tileData, or null when it cannot be had; most
 * operations then report (STATUS_ERROR, STATUS_INTERNAL, or STATUS_BAD_ARG in
 * the arithmetic operations) and stop, so deliver every tile asked for.  For
 * ZAR_TILE_RELEASE the library
 * has put that address back into tileData and is done with the tile; a tile
 * got for writing is final then.  Several tiles may be held at once.  The
 * callback runs on the calling thread; its result is not used.
 * @param image  the tiled image the library works on.
 * @param xIndex tile column: x / tileInfo->width, from 0 at the left edge.
 * @param yIndex tile row: row / tileInfo->height, from 0 at the first row.
 * @param mode   ZAR_TILE_READ, ZAR_TILE_WRITE or ZAR_TILE_RELEASE. */
typedef void(ZAR_STDCALL* ZarTileCallback)(struct ImageHeader* image, int32_t xIndex,
                                           int32_t yIndex, int32_t mode);

/** Tile description of a tiled image (the header's imageData is then null).
 *
 * Header validation refuses a null callBack (STATUS_NULL_CALLBACK) and a tile
 * width or height that is not a positive multiple of 8 (STATUS_BAD_TILE_SIZE).
 * The application owns this record; the library never allocates one. */
typedef struct TileInfo {
    ZarTileCallback callBack;
    int32_t id; /**< The application's word; the library never reads it. */
    char* tileData;
    int32_t width, height; /* tile size in pixels, positive multiples of 8 */
} TileInfo;
/** @var TileInfo::callBack
 * The application's tile function.
 * @var TileInfo::tileData
 * The tile the callback last delivered, or the tile being released.
 * @var TileInfo::width
 * Tile width in pixels, a positive multiple of 8.
 * @var TileInfo::height
 * Tile height in rows, a positive multiple of 8. */

/** The image header.
 *
 * Made by zarCreateImageHeader() (or filled by the application), given pixels
 * by zarAllocateImage(), zarAllocateImageFP() or the application, released by
 * zarDeallocate().  A valid header has exactly one of imageData and tileInfo
 * set.  Row r of a plain image starts at imageData + r × widthStep; in plane
 * order channel c's plane starts c × height × widthStep bytes after
 * imageData.  1-bit pixels are packed eight to a byte, most significant bit
 * first. */
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
/** @var ImageHeader::headerSize
 * Size of the record in bytes (sizeof(ImageHeader)); never checked.
 * @var ImageHeader::headerId
 * 0 in every header the library makes; never read.
 * @var ImageHeader::nChannels
 * Number of channels, at least 1; exactly 1 for ZAR_DEPTH_1U.
 * @var ImageHeader::alphaChannel
 * 0 for no alpha channel, or nChannels: the last channel is alpha and
 * operations leave it unchanged (channel of interest 0).
 * @var ImageHeader::depth
 * One of the seven ZAR_DEPTH_* codes.
 * @var ImageHeader::colorModel
 * Four characters naming the colour model ("GRAY", "RGB"); not interpreted.
 * @var ImageHeader::channelSeq
 * Four characters naming the channel order ("G", "BGR", "BGRA").
 * @var ImageHeader::dataOrder
 * ZAR_DATA_ORDER_PIXEL (channels of a pixel together) or
 * ZAR_DATA_ORDER_PLANE (one plane per channel).
 * @var ImageHeader::origin
 * ZAR_ORIGIN_TL (the first row in memory is the top of the picture) or
 * ZAR_ORIGIN_BL (it is the bottom).
 * @var ImageHeader::align
 * Row alignment in bytes: 4, 8, 16 or 32.
 * @var ImageHeader::width
 * Pixels per row, at least 1.
 * @var ImageHeader::height
 * Rows, at least 1.
 * @var ImageHeader::roi
 * Region of interest, or null for the whole image and all channels but
 * alpha.  Owned by the application.
 * @var ImageHeader::maskImage
 * Null, or a plain one-channel ZAR_DEPTH_1U image whose 1 bits select the
 * pixels an operation may change.  Owned by the application.
 * @var ImageHeader::imageTag
 * The application's own word; copied, never interpreted.
 * @var ImageHeader::tileInfo
 * Null for a plain image; the tile description of a tiled image.
 * @var ImageHeader::imageSize
 * Bytes of pixel data: height × widthStep (× nChannels in plane order).
 * @var ImageHeader::imageData
 * First byte of the pixels of a plain image; null for a tiled image.
 * @var ImageHeader::widthStep
 * Bytes from one row to the next (within one plane in plane order): the row
 * of width × bits per value (× nChannels in pixel order) rounded up to align.
 * @var ImageHeader::borderModes
 * ZAR_BORDER_* mode per side, in the order top, bottom, left, right; the low
 * two bits count.  ZAR_BORDER_CONSTANT in every header the library makes.
 * @var ImageHeader::borderValues
 * Constant per side for ZAR_BORDER_CONSTANT, same order; 0 in every header
 * the library makes.  Only the bits of the depth are used (the low byte for
 * 8-bit images; odd or even for 1-bit images; converted to float for
 * ZAR_DEPTH_32F).
 * @var ImageHeader::imageDataBlock
 * The block zarAllocateImage() allocated, which zarDeallocate() frees; null when
 * the application supplied the pixels. */

/** Error handler of the calling thread (see zarRedirectError()).
 *
 * Called once per report with the report's five values; what it returns is
 * what zarReportError() returns.  When it returns, the operation returns too
 * (some operations first run their remaining argument checks, reporting
 * each failure).  It may end the process or jump out instead.
 * @param status   the reported code.
 * @param funcName the exported operation's name, e.g. "zarBlur".
 * @param context  the failed condition or a description; "" for
 *                 STATUS_BACKTRACE.
 * @param fileName the library source that reported, without extension.
 * @param line     the report's line in that source.
 * @return a status; zarReportError() passes it on. */
typedef ZarStatus(ZAR_STDCALL* ZarErrorHandler)(ZarStatus status, const char* funcName,
                                                const char* context, const char* fileName,
                                                int32_t line);

#if defined(_WIN32)
#include <windows.h>
#elif !defined(ZAR_HAVE_BITMAPINFOHEADER) && !defined(_WINGDI_)
#define ZAR_HAVE_BITMAPINFOHEADER 1
/** The 40-byte Windows bitmap information header (declared here outside
 * Windows, with the Windows field names and widths). */
typedef struct BITMAPINFOHEADER {
    uint32_t biSize;         /**< Size of this header: 40. */
    int32_t biWidth;         /**< Width in pixels. */
    int32_t biHeight;        /**< Height; positive for bottom-up rows, negative for top-down. */
    uint16_t biPlanes;       /**< Must be 1. */
    uint16_t biBitCount;     /**< Bits per pixel: 1, 4, 8, 16, 24 or 32. */
    uint32_t biCompression;  /**< 0 BI_RGB, 1 BI_RLE8, 2 BI_RLE4, 3 BI_BITFIELDS. */
    uint32_t biSizeImage;    /**< Bytes of bits; may be 0 for BI_RGB. */
    int32_t biXPelsPerMeter; /**< Horizontal resolution; not used. */
    int32_t biYPelsPerMeter; /**< Vertical resolution; not used. */
    uint32_t biClrUsed;      /**< Palette entries; 0 means 2^biBitCount for 1, 4, 8 bits. */
    uint32_t biClrImportant; /**< Not used. */
} BITMAPINFOHEADER;
#endif

/* ------------------------------------------------------------ constants */

/* Depths: bits per channel value, the top bit marks signed integers. */
#define ZAR_DEPTH_SIGN ((int32_t)0x80000000)       /**< The sign flag of the depth codes. */
#define ZAR_DEPTH_1U 1                             /**< One bit, eight pixels a byte. */
#define ZAR_DEPTH_8U 8                             /**< Unsigned 8-bit, 0..255. */
#define ZAR_DEPTH_8S ((int32_t)(0x80000000 | 8))   /**< Signed 8-bit, -128..127. */
#define ZAR_DEPTH_16U 16                           /**< Unsigned 16-bit, 0..65535. */
#define ZAR_DEPTH_16S ((int32_t)(0x80000000 | 16)) /**< Signed 16-bit, -32768..32767. */
#define ZAR_DEPTH_32S ((int32_t)(0x80000000 | 32)) /**< Signed 32-bit integer. */
#define ZAR_DEPTH_32F 32                           /**< 32-bit IEEE float. */

#define ZAR_DATA_ORDER_PIXEL 0 /**< The channel values of a pixel lie together. */
#define ZAR_DATA_ORDER_PLANE 1 /**< Each channel is a plane of height rows. */

#define ZAR_ORIGIN_TL 0 /**< The first row in memory is the top of the picture. */
#define ZAR_ORIGIN_BL 1 /**< The first row in memory is the bottom of the picture. */

#define ZAR_ALIGN_4BYTES 4   /**< Rows padded to a multiple of 4 bytes. */
#define ZAR_ALIGN_8BYTES 8   /**< Rows padded to a multiple of 8 bytes. */
#define ZAR_ALIGN_16BYTES 16 /**< Rows padded to a multiple of 16 bytes. */
#define ZAR_ALIGN_32BYTES 32 /**< Rows padded to a multiple of 32 bytes. */

/** The side's constant (borderValues) everywhere outside; the default. */
#define ZAR_BORDER_CONSTANT 0
/** The nearest edge pixel: the coordinate is clamped to 0..n-1. */
#define ZAR_BORDER_REPLICATE 1
/** Mirror with the edge pixel repeated: -1 reads 0, -2 reads 1, n reads n-1. */
#define ZAR_BORDER_REFLECT 2
/** The image repeated: -1 reads n-1, n reads 0. */
#define ZAR_BORDER_WRAP 3

#define ZAR_SIDE_TOP 1    /**< Bit of the top side (borderModes[0]). */
#define ZAR_SIDE_BOTTOM 2 /**< Bit of the bottom side (borderModes[1]). */
#define ZAR_SIDE_LEFT 4   /**< Bit of the left side (borderModes[2]). */
#define ZAR_SIDE_RIGHT 8  /**< Bit of the right side (borderModes[3]). */
#define ZAR_SIDE_ALL 15   /**< The bits of all four sides. */

#define ZAR_INTER_NN 0     /**< Nearest neighbour. */
#define ZAR_INTER_LINEAR 1 /**< Bilinear: two taps per axis. */
#define ZAR_INTER_CUBIC 2  /**< Bicubic: four-point Lagrange polynomial per axis. */
#define ZAR_INTER_SUPER 3  /**< Area-weighted mean over the source box (shrinking only). */

#define ZAR_FREE_HEADER 1 /**< zarDeallocate frees the header record. */
#define ZAR_FREE_DATA 2   /**< zarDeallocate frees the pixels the library allocated. */
#define ZAR_FREE_ROI 4    /**< zarDeallocate frees a Roi the library made. */
#define ZAR_FREE_TILE 8   /**< zarDeallocate frees the TileInfo record (library-made only). */
#define ZAR_FREE_MASK 16  /**< zarDeallocate frees a library-made mask image. */
#define ZAR_FREE_ALL 31   /**< All five parts. */

#define ZAR_TILE_READ 1    /**< Tile callback mode: deliver a tile to read. */
#define ZAR_TILE_WRITE 2   /**< Tile callback mode: deliver a tile to write. */
#define ZAR_TILE_RELEASE 4 /**< Tile callback mode: the library is done with the tile. */

#define ZAR_FIXED_PREWITT_X 0  /**< 3×3 rows [1 0 -1] ×3: left minus right. */
#define ZAR_FIXED_PREWITT_Y 1  /**< 3×3 rows [-1 -1 -1] [0 0 0] [1 1 1]: below minus above. */
#define ZAR_FIXED_SOBEL_X 2    /**< 3×3 rows [1 0 -1] [2 0 -2] [1 0 -1]: left minus right. */
#define ZAR_FIXED_SOBEL_Y 3    /**< 3×3 rows [-1 -2 -1] [0 0 0] [1 2 1]: below minus above. */
#define ZAR_FIXED_LAPLACE_3 4  /**< 3×3: centre 8, the eight neighbours -1. */
#define ZAR_FIXED_LAPLACE_5 5  /**< 5×5 Laplacian, centre 20 (see zarFixedFilter). */
#define ZAR_FIXED_GAUSS_3 6    /**< 3×3 [1 2 1] [2 4 2] [1 2 1] / 16. */
#define ZAR_FIXED_GAUSS_5 7    /**< 5×5 Gaussian, weights / 571 (see zarFixedFilter). */
#define ZAR_FIXED_HIGHPASS_3 8 /**< The same kernel as ZAR_FIXED_LAPLACE_3. */
#define ZAR_FIXED_HIGHPASS_5 9 /**< 5×5: centre 24, every other cell -1. */
#define ZAR_FIXED_SHARPEN_3 10 /**< 3×3: centre 16, neighbours -1, all / 8. */

#define ZAR_ERRMODE_EXIT 0   /**< The default handler ends the process with exit code 1. */
#define ZAR_ERRMODE_RETURN 1 /**< The default handler returns; the operation returns. */

/* <windows.h> has a STATUS_NO_MEMORY of its own; after zar.h the name is zar's. */
#ifdef STATUS_NO_MEMORY
#undef STATUS_NO_MEMORY
#endif
#define STATUS_OK 0                    /**< "No Error". */
#define STATUS_BACKTRACE (-1)          /**< "Backtrace": an inner step of the operation failed. */
#define STATUS_ERROR (-2)              /**< General failure, e.g. a tile was not delivered. */
#define STATUS_INTERNAL (-3)           /**< "Internal error (bad state)". */
#define STATUS_NO_MEMORY (-4)          /**< "Out of memory". */
#define STATUS_BAD_ARG (-5)            /**< "Bad argument"; the context names the condition. */
#define STATUS_UNSUPPORTED (-6)        /**< "Unsupported function"; never reported. */
#define STATUS_NO_CONVERGENCE (-7)     /**< "Iteration convergence failed"; never reported. */
#define STATUS_AUTOTRACE (-8)          /**< "Autotrace call"; never reported. */
#define STATUS_NULL_HEADER (-9)        /**< "Null pointer to an image header". */
#define STATUS_BAD_IMAGE_SIZE (-10)    /**< "Incorrect image size". */
#define STATUS_BAD_ROI_OFFSET (-11)    /**< "Incorrect offset of ROI of the image". */
#define STATUS_BAD_DATA_POINTERS (-12) /**< Not exactly one of imageData, tileInfo set. */
#define STATUS_BAD_WIDTH_STEP (-13)    /**< "Incorrect widthStep of the image". */
#define STATUS_BAD_COLOR_MODEL (-14)   /**< Null colour model or channel sequence. */
#define STATUS_BAD_CHANNELS (-15)      /**< "Incorrect number of channels in the image". */
#define STATUS_BAD_1U_CHANNELS (-16)   /**< A 1-bit image must have one channel. */
#define STATUS_BAD_DEPTH (-17)         /**< "Incorrect depth value in the image header". */
#define STATUS_BAD_ALPHA (-18)         /**< alphaChannel is neither 0 nor nChannels. */
#define STATUS_BAD_ORDER (-19)         /**< dataOrder is neither 0 nor 1. */
#define STATUS_BAD_ORIGIN (-20)        /**< origin is neither 0 nor 1. */
#define STATUS_BAD_ALIGN (-21)         /**< align is not 4, 8, 16 or 32. */
#define STATUS_NULL_CALLBACK (-22)     /**< A tiled image without a tile callback. */
#define STATUS_BAD_TILE_SIZE (-23)     /**< Tile size not a positive multiple of 8. */
#define STATUS_BAD_COI (-24)           /**< coi outside 0..nChannels. */
#define STATUS_BAD_ROI_SIZE (-25)      /**< Region width or height below 1. */
#define STATUS_MASK_TILED (-26)        /**< The mask image is tiled. */

#define STATUS_MASK_OFFSET 100 /**< A mask that fails with code c gives its image c - 100. */
#define STATUS_MASK_BAD_IMAGE_SIZE (-110)    /**< The mask's STATUS_BAD_IMAGE_SIZE. */
#define STATUS_MASK_BAD_ROI_OFFSET (-111)    /**< The mask's STATUS_BAD_ROI_OFFSET. */
#define STATUS_MASK_BAD_DATA_POINTERS (-112) /**< The mask's STATUS_BAD_DATA_POINTERS. */
#define STATUS_MASK_BAD_WIDTH_STEP (-113)    /**< The mask's STATUS_BAD_WIDTH_STEP. */
#define STATUS_MASK_BAD_COLOR_MODEL (-114)   /**< The mask's STATUS_BAD_COLOR_MODEL. */
#define STATUS_MASK_BAD_CHANNELS (-115)      /**< The mask's STATUS_BAD_CHANNELS. */
#define STATUS_MASK_BAD_1U_CHANNELS (-116)   /**< The mask's STATUS_BAD_1U_CHANNELS. */
#define STATUS_MASK_BAD_DEPTH (-117)         /**< The mask is not ZAR_DEPTH_1U. */
#define STATUS_MASK_BAD_ALPHA (-118)         /**< The mask's STATUS_BAD_ALPHA. */
#define STATUS_MASK_BAD_ORDER (-119)         /**< The mask's STATUS_BAD_ORDER. */
#define STATUS_MASK_BAD_ORIGIN (-120)        /**< The mask's STATUS_BAD_ORIGIN. */
#define STATUS_MASK_BAD_ALIGN (-121)         /**< The mask's STATUS_BAD_ALIGN. */
#define STATUS_MASK_NULL_CALLBACK (-122)     /**< The mask's STATUS_NULL_CALLBACK. */
#define STATUS_MASK_BAD_TILE_SIZE (-123)     /**< The mask's STATUS_BAD_TILE_SIZE. */
#define STATUS_MASK_BAD_COI (-124)           /**< The mask's STATUS_BAD_COI. */
#define STATUS_MASK_BAD_ROI_SIZE (-125)      /**< The mask's STATUS_BAD_ROI_SIZE. */

/* ------------------------------------------------------- error handling */

/** The calling thread's status word.
 *
 * It holds the last code written by a report (other than STATUS_BACKTRACE),
 * by a failed header validation or by zarSetStatus().  Reading it does not
 * clear it, and a successful operation leaves it as it was (zarDilate(),
 * zarErode() and zarTranslateDIBBlock() set it to 0 on entry).
 * @return the status word, STATUS_OK (0) when nothing failed since it was
 *         last cleared. */
ZAR_API ZarStatus ZAR_STDCALL zarGetStatus(void);

/** Writes the calling thread's status word without calling the handler.
 *
 * Call zarSetStatus(STATUS_OK) after handling a failure in
 * ZAR_ERRMODE_RETURN: zarCopy(), zarFixedFilter(), zarDecimate(), zarZoom(),
 * zarResize(), zarRemap() and zarTranslateDIB() do nothing while it is negative.
 * @param status the new value, usually STATUS_OK. */
ZAR_API void ZAR_STDCALL zarSetStatus(ZarStatus status);

/** Error mode of the calling thread.
 * @return ZAR_ERRMODE_EXIT (0, the default: zarDefaultErrorHandler() ends the
 *         process with exit code 1) or the value last set with
 *         zarSetErrorMode(); any value other than 0 acts as
 *         ZAR_ERRMODE_RETURN. */
ZAR_API int32_t ZAR_STDCALL zarGetErrorMode(void);

/** Sets the error mode of the calling thread.
 *
 * The mode is read only by zarDefaultErrorHandler(): with ZAR_ERRMODE_EXIT it
 * ends the process, with ZAR_ERRMODE_RETURN it returns and the operation
 * returns after its report.  A handler installed with zarRedirectError()
 * decides for itself.  Each thread starts in ZAR_ERRMODE_EXIT.
 * @param mode ZAR_ERRMODE_EXIT or ZAR_ERRMODE_RETURN (any non-zero value).
 * @return the previous mode. */
ZAR_API int32_t ZAR_STDCALL zarSetErrorMode(int32_t mode);

/** Installs an error handler for the calling thread.
 *
 * Every later report of this thread calls handler instead of the previous
 * one.  zarStdErrReport() is a ready handler that prints one line and returns,
 * so operations return after reporting whatever the error mode.
 * @param handler the new handler; null restores zarDefaultErrorHandler().
 * @return the previous handler. */
ZAR_API ZarErrorHandler ZAR_STDCALL zarRedirectError(ZarErrorHandler handler);

/** The error call every operation makes to report a failure.
 *
 * Writes status into the status word (STATUS_BACKTRACE and STATUS_AUTOTRACE
 * leave it as it is), returns 0 at once for status 0, and otherwise calls the
 * thread's handler with the five arguments unchanged.  Applications may call
 * it to report their own failures the same way.
 * @param status   the code, negative for a failure.
 * @param funcName name of the failing operation.
 * @param context  the failed condition or a description.
 * @param fileName source file (without extension) that reports.
 * @param line     line in that file.
 * @return 0 for status 0, else what the handler returns. */
ZAR_API ZarStatus ZAR_STDCALL zarReportError(ZarStatus status, const char* funcName,
                                             const char* context, const char* fileName,
                                             int32_t line);

/** The handler every thread starts with.
 *
 * In ZAR_ERRMODE_EXIT it ends the process with exit(1); in
 * ZAR_ERRMODE_RETURN it returns status.  It prints nothing in either mode,
 * so a program that has not changed the mode or the handler ends silently
 * with exit code 1 on its first error.
 * @param status   the reported code.
 * @param funcName not used.
 * @param context  not used.
 * @param fileName not used.
 * @param line     not used.
 * @return status, in ZAR_ERRMODE_RETURN. */
ZAR_API ZarStatus ZAR_STDCALL zarDefaultErrorHandler(ZarStatus status, const char* funcName,
                                                     const char* context, const char* fileName,
                                                     int32_t line);

/** A ready handler that prints each report and returns.
 *
 * Prints one line to stderr, for example
 *
 *     zar error: Incorrect image size in zarCreateImageHeader (Incorrect
 *     data-ins) at zaralloc:148
 *
 * (on one line: the message of status, the function, the context in
 * parentheses, the file and the line),
 * and returns status, so the operation returns after the report.  Install it
 * with zarRedirectError(zarStdErrReport).
 * @param status   the reported code.
 * @param funcName printed after "in"; null prints nothing.
 * @param context  printed in parentheses; null prints nothing.
 * @param fileName printed after "at"; null prints nothing.
 * @param line     printed after the file name.
 * @return status. */
ZAR_API ZarStatus ZAR_STDCALL zarStdErrReport(ZarStatus status, const char* funcName,
                                              const char* context, const char* fileName,
                                              int32_t line);

/** The text of a status code.
 *
 * For example "No Error" for STATUS_OK, "Bad argument" for STATUS_BAD_ARG,
 * "Mask. Incorrect depth value in the image header" for
 * STATUS_MASK_BAD_DEPTH.  A mask code's text is its base code's text after
 * "Mask. "; STATUS_ERROR, STATUS_MASK_BAD_1U_CHANNELS,
 * STATUS_MASK_NULL_CALLBACK, STATUS_MASK_BAD_TILE_SIZE, positive codes and
 * codes below -125 give "Unknown error or status code".
 * @param status any value.
 * @return a constant text; never null. */
ZAR_API const char* ZAR_STDCALL zarStatusMessage(ZarStatus status);

/* ------------------------------------------------------- headers, memory */

/** Creates an image header without pixels.
 *
 * The new header has imageData null, widthStep and imageSize computed from
 * the arguments (also for a tiled image), every border ZAR_BORDER_CONSTANT
 * with the value 0, and roi, maskImage, imageTag and tileInfo as given (the
 * header refers to them; they stay the caller's).  Give it pixels with
 * zarAllocateImage() (zarAllocateImageFP() for ZAR_DEPTH_32F), or set imageData,
 * widthStep and imageSize yourself; release it with zarDeallocate().
 *
 * widthStep is the row of width × bits per value bits (× nChannels in pixel
 * order) rounded up to a multiple of align bytes; imageSize is height ×
 * widthStep, times nChannels in plane order.  For example a three-channel
 * 16-bit image 5 pixels wide with align 8 has widthStep 32 in pixel order and
 * 16 in plane order.
 *
 * @param nChannels    number of channels, at least 1; 1 for ZAR_DEPTH_1U.
 * @param alphaChannel 0, or nChannels to make the last channel alpha.
 * @param depth        one of the seven ZAR_DEPTH_* codes.
 * @param colorModel   four characters copied into the header, e.g. "GRAY",
 *                     "RGB"; exactly four bytes are read, so pass a string
 *                     of at least three characters.  Not interpreted.
 * @param channelSeq   four characters copied the same way, e.g. "GRAY",
 *                     "BGR", "BGRA".
 * @param dataOrder    ZAR_DATA_ORDER_PIXEL or ZAR_DATA_ORDER_PLANE.
 * @param origin       ZAR_ORIGIN_TL (first row in memory at the top) or
 *                     ZAR_ORIGIN_BL (at the bottom).
 * @param align        row alignment in bytes: 4, 8, 16 or 32.
 * @param width        pixels per row, at least 1.
 * @param height       rows, at least 1.
 * @param roi          region of interest, or null; not checked here.
 * @param maskImage    mask, or null: it must be a valid, untiled
 *                     ZAR_DEPTH_1U image.
 * @param imageTag     the application's word, stored and never read.
 * @param tileInfo     tile description for a tiled image, or null; not
 *                     checked here.
 * @return the new header, or null after a report or when out of memory.
 *
 * @par Reports
 * The first failing check, in this order, is reported with the context
 * "Incorrect data-ins": height or width below 1 (STATUS_BAD_IMAGE_SIZE);
 * nChannels below 1 (STATUS_BAD_CHANNELS); more than one channel at 1 bit
 * (STATUS_BAD_1U_CHANNELS); colorModel or channelSeq null
 * (STATUS_BAD_COLOR_MODEL); an unknown depth (STATUS_BAD_DEPTH);
 * alphaChannel neither 0 nor nChannels (STATUS_BAD_ALPHA); dataOrder
 * (STATUS_BAD_ORDER); origin (STATUS_BAD_ORIGIN); align (STATUS_BAD_ALIGN);
 * a mask that is not 1-bit (STATUS_MASK_BAD_DEPTH), is tiled
 * (STATUS_MASK_TILED) or fails validation with code c (c - 100).  Running
 * out of memory returns null without a report. */
ZAR_API ImageHeader* ZAR_STDCALL zarCreateImageHeader(
    int32_t nChannels, int32_t alphaChannel, int32_t depth, const char* colorModel,
    const char* channelSeq, int32_t dataOrder, int32_t origin, int32_t align, int32_t width,
    int32_t height, Roi* roi, ImageHeader* maskImage, void* imageTag, TileInfo* tileInfo);

/** Allocates the pixels of a header of an integer depth.
 *
 * Recomputes widthStep and imageSize from the header's fields, allocates
 * imageSize bytes aligned to align (imageDataBlock keeps the block that
 * zarDeallocate() frees) and, if asked, fills them.  The fill writes a 32-bit
 * pattern into every word of the block, row padding included: the low byte
 * of fillValue in every byte for 8-bit depths (0x1234 gives 0x34), its low 16
 * bits in every value for 16-bit depths, fillValue itself for ZAR_DEPTH_32S,
 * and for ZAR_DEPTH_1U all bits set when fillValue is odd, else clear.  There
 * is no saturation here (unlike zarSet()).
 * @param image     a header without pixels (imageData null), not tiled, not
 *                  ZAR_DEPTH_32F.
 * @param doFill    0 to leave the pixels as the allocator gives them,
 *                  non-zero to fill.
 * @param fillValue the fill value, used as described.
 *
 * @par Reports
 * STATUS_BAD_ARG for a null image, a header that already has pixels, a tiled
 * header or a ZAR_DEPTH_32F header (the context names the condition, e.g.
 * "( image->depth == 32 )"); then the checks of zarCreateImageHeader() with
 * their codes and "Incorrect data-ins".  A failed allocation is not
 * reported: imageData stays null, so test it. */
ZAR_API void ZAR_STDCALL zarAllocateImage(ImageHeader* image, int32_t doFill, int32_t fillValue);

/** Allocates the pixels of a ZAR_DEPTH_32F header.
 *
 * As zarAllocateImage(); the fill writes the bit pattern of fillValue into
 * every 32-bit word (1.5f gives 0x3FC00000).
 * @param image     a ZAR_DEPTH_32F header without pixels, not tiled.
 * @param doFill    0 to leave the pixels unset, non-zero to fill.
 * @param fillValue the value of every pixel after a fill.
 *
 * @par Reports
 * As zarAllocateImage(), with STATUS_BAD_ARG "( image->depth != 32 )" for a
 * header of another depth. */
ZAR_API void ZAR_STDCALL zarAllocateImageFP(ImageHeader* image, int32_t doFill, float fillValue);

/** Releases the parts of an image named by flags.
 *
 * In this order: ZAR_FREE_ROI frees the Roi record and sets roi to null;
 * ZAR_FREE_MASK releases the mask image (its header, pixels, Roi and
 * TileInfo) and sets maskImage to null; ZAR_FREE_TILE frees the TileInfo
 * record; ZAR_FREE_DATA frees the pixels the library allocated
 * (imageDataBlock; pixels the application supplied are left alone);
 * ZAR_FREE_HEADER frees the header, which must not be used afterwards.
 * ZAR_FREE_ROI, ZAR_FREE_TILE and ZAR_FREE_MASK free with the library's
 * allocator: use them only for records the library made (the Roi of a
 * zarCloneImage() result, a mask made by zarCreateImageHeader()), and set your
 * own records' pointers to null before passing ZAR_FREE_ALL.  Reports
 * nothing.
 * @param image the image; null does nothing.
 * @param flags a combination of the ZAR_FREE_* bits, e.g. ZAR_FREE_ALL. */
ZAR_API void ZAR_STDCALL zarDeallocate(ImageHeader* image, int32_t flags);

/** A new plain image with the same format and a copy of the pixels.
 *
 * The clone has the source's channels, depth, colour model and channel
 * sequence, data order, origin, align, size and border settings, its own
 * copy of the source's Roi (free it with ZAR_FREE_ROI, included in
 * ZAR_FREE_ALL), no mask, no tag, no tiles, and newly allocated pixels: a
 * copy of the source's for a plain source; for a tiled source the pixels are
 * left as allocated (no tile is read).
 * @param image a valid image.
 * @return the clone, or null after a report.
 *
 * @par Reports
 * The validation code with "Incorrect Image" for an invalid image;
 * STATUS_NO_MEMORY when the header, the Roi or the pixels cannot be
 * allocated. */
ZAR_API ImageHeader* ZAR_STDCALL zarCloneImage(const ImageHeader* image);

/* ----------------------------------------------------- pixel operations */

/** Fills the region of an image with one value.
 *
 * The value is first saturated to the depth's range (300 writes 255 into an
 * 8U image, -5 writes 0; any value above 0 sets a 1-bit pixel, any value
 * below 1 clears it), then written into the processed channels of every
 * pixel of the region.
 * @param image     the image to fill; any depth but ZAR_DEPTH_32F.
 * @param fillValue the value, saturated to the depth's range.
 *
 * @par Region, channels, mask, tiles, origin
 * The region (cut to the image) and, with a mask, the common size of the
 * region and the mask's region, each from its own offset.  coi selects one
 * channel; coi 0 fills all but the alpha channel.  Only pixels whose mask
 * bit is 1 change.  Tiled images are filled tile by tile (ZAR_TILE_WRITE,
 * then ZAR_TILE_RELEASE).  The origin plays no part: the region counts in
 * memory rows.
 *
 * @par Reports
 * The validation code with "Incorrect Image" (also for an invalid mask);
 * STATUS_BAD_DEPTH "You should use zarSetFP for this image" for a
 * ZAR_DEPTH_32F image; STATUS_ERROR "Error get tile to write" when the
 * callback gives no tile (tiles filled before it keep the value). */
ZAR_API void ZAR_STDCALL zarSet(ImageHeader* image, int32_t fillValue);

/** Fills the region of a ZAR_DEPTH_32F image with a float value.
 *
 * Every processed sample receives exactly the bits of fillValue (-0.0f
 * included).  Region, channel of interest, mask and tiles as for zarSet().
 * During the call the header's depth reads ZAR_DEPTH_32S (a tile callback
 * sees that value); it is restored before the call returns.
 * @param image     a ZAR_DEPTH_32F image.
 * @param fillValue the value of every processed sample.
 *
 * @par Reports
 * STATUS_BAD_ARG "dstImage==0" for a null image; STATUS_BAD_DEPTH "You
 * should use zarSet for this image" for another depth; the reports of zarSet()
 * (under "zarSet"), then STATUS_BACKTRACE under "zarSetFP". */
ZAR_API void ZAR_STDCALL zarSetFP(ImageHeader* image, float fillValue);

/** Copies the region of one image into the region of another.
 *
 * The processed channels of every pixel of the common region are copied
 * unchanged: source region pixel (i, j) goes to destination region pixel
 * (i, j).  Nothing is copied when the two are the same header, or while the
 * status word is negative (see zarSetStatus()).
 * @param srcImage the image to read.
 * @param dstImage the image to write: same depth and origin as srcImage, and
 *                 the same data order unless both have one channel or the
 *                 depth is ZAR_DEPTH_1U.
 *
 * @par Region, channels, mask, tiles, origin
 * Each image from its own region offset; the size is the smallest width and
 * height of the two regions and the mask's region, so a region on the
 * source alone copies into the destination's corner.  The two images must
 * process equal numbers of channels: a coi of 2 on a three-channel source
 * copies its second channel into a one-channel destination.  Alpha channels
 * are not copied (coi 0).  With masks on both images a pixel is copied only
 * where both bits are 1.  1-bit regions may start at any bit.  Either side
 * may be tiled.  Origins must be equal; rows are never flipped.
 *
 * @par Reports
 * The validation code with "Incorrect Image"; STATUS_BAD_ARG
 * "srcImage->depth != dstImage->depth", "srcImage->origin !=
 * dstImage->origin" and "srcImage->dataOrder != dstImage->dataOrder" (all
 * three are checked and reported before the call returns); STATUS_BAD_ARG
 * "Number of processed channels of srcImage != Number of processed channels
 * of dstImage"; STATUS_ERROR "Error get tile to read" or "Error get tile to
 * write" for a missing tile; STATUS_BACKTRACE when a temporary image or
 * buffer cannot be made. */
ZAR_API void ZAR_STDCALL zarCopy(ImageHeader* srcImage, ImageHeader* dstImage);

/** Writes one pixel, all of its channels, at a position of the whole image.
 *
 * y counts from the top of the picture on both kinds of origin: for a
 * ZAR_ORIGIN_BL image, y = 0 writes the last row in memory.  (A region's
 * yOffset, by contrast, counts memory rows, from the bottom of such an
 * image.)  The region, the channel of interest and the mask are ignored;
 * the alpha channel is written like any other.
 * @param image a valid image, plain or tiled (the tile holding the pixel is
 *              got with ZAR_TILE_WRITE and released).
 * @param x     column, 0 .. width - 1.
 * @param y     row from the top of the picture, 0 .. height - 1.
 * @param pixel nChannels values of the image's type in channel order (one
 *              byte each for 8-bit depths, 16-bit values for 16-bit depths,
 *              32-bit values for 32S and 32F); for ZAR_DEPTH_1U one byte of
 *              which bit 0 is written.
 *
 * @par Reports
 * The validation code with "Incorrect Image"; STATUS_BAD_ARG
 * "((x>width-1) || (x<0))", or else "((y>height-1) || (y<0))"; STATUS_ERROR
 * "Error get tile to write" when the callback gives no tile.  Nothing is
 * written after a report. */
ZAR_API void ZAR_STDCALL zarPutPixel(ImageHeader* image, int32_t x, int32_t y, const void* pixel);

/** Adds two images with saturation: dst = saturate(A + B).
 *
 * 8-bit and 16-bit sums saturate to the depth's range (8U: 200 + 100 gives
 * 255; 8S: -100 + -100 gives -128), ZAR_DEPTH_32S sums are exact and
 * saturate to the 32-bit range, ZAR_DEPTH_32F sums are the rounded float
 * sum, never clamped.  For ZAR_DEPTH_1U the whole call is zarOr() (1 + 1 gives
 * 1), reporting under "zarOr".  The destination may be either source (adding
 * in place).
 * @param srcImageA first summand.
 * @param srcImageB second summand: same depth and data order as the
 *                  destination.
 * @param dstImage  the result: same depth and data order as srcImageA.
 *
 * @par Region, channels, mask, tiles, origin
 * Each image from its own region offset over the smallest width and height
 * of the three regions (and masks' regions).  Processed channel counts must
 * be equal (a coi on each image may pair different channels); alpha
 * channels are left as they are.  Masks on any of the three images combine:
 * a pixel changes where all of them are 1.  Any image may be tiled.  Origins
 * are not compared.
 *
 * @par Reports
 * STATUS_BAD_ARG "srcImageA==0"; the validation code with "Incorrect Image";
 * STATUS_BAD_ARG for a depth, data order or processed channel count that
 * differs ("(srcImageA->depth != dstImage->depth)", "(nChSrcB != nChDst)",
 * ...); STATUS_NO_MEMORY "Out of memory" when the combined mask cannot be
 * made; STATUS_BAD_ARG "(dstImage->tileInfo->tileData == ((void*)(0)))" and
 * its like for a missing tile.  Masks whose common region is empty change
 * nothing, without a report. */
ZAR_API void ZAR_STDCALL zarAdd(ImageHeader* srcImageA, ImageHeader* srcImageB,
                                ImageHeader* dstImage);

/** Bitwise or of two images into a third: dst = A | B.
 *
 * For integer depths, sample by sample; for ZAR_DEPTH_1U bit by bit, regions
 * starting at any bit, data orders not compared.  Region, channels, masks,
 * tiles and reports as zarAdd() (reported under "zarOr"), and STATUS_BAD_ARG
 * "This function does not support depth 32F" for float images.
 * @param srcImageA first operand.
 * @param srcImageB second operand.
 * @param dstImage  the result; may be either operand. */
ZAR_API void ZAR_STDCALL zarOr(ImageHeader* srcImageA, ImageHeader* srcImageB,
                               ImageHeader* dstImage);

/** Bitwise and of two images into a third: dst = A & B.
 *
 * As zarOr() with the and of the two operands; reports under "zarAnd".
 * @param srcImageA first operand.
 * @param srcImageB second operand.
 * @param dstImage  the result; may be either operand. */
ZAR_API void ZAR_STDCALL zarAnd(ImageHeader* srcImageA, ImageHeader* srcImageB,
                                ImageHeader* dstImage);

/** Bitwise exclusive or with a constant: dst = src ^ value.
 *
 * The constant is spread to the sample size: its low byte for 8-bit depths
 * (0x1FF xors with 0xFF), its low 16 bits for 16-bit depths, all 32 bits for
 * ZAR_DEPTH_32S; for ZAR_DEPTH_1U an odd value inverts the bits and an even
 * one copies them.  Region, channels, masks and tiles as zarAdd() with one
 * source; reports under "zarXorS" ("(srcImage->depth != dstImage->depth)",
 * "(nChSrc != nChDst)", "This function does not support depth 32F", ...).
 * @param srcImage the operand.
 * @param dstImage the result; may be srcImage.
 * @param value    the constant. */
ZAR_API void ZAR_STDCALL zarXorS(ImageHeader* srcImage, ImageHeader* dstImage, int32_t value);

/* ---------------------------------------------------------------- filters */

/** Box blur: each pixel becomes the mean of an nCols × nRows neighbourhood.
 *
 * The neighbourhood of region pixel (x, y) covers source columns x - anchorX
 * .. x - anchorX + nCols - 1 and rows y - anchorY .. y - anchorY + nRows - 1;
 * positions outside the source image take the source's border rules
 * (constant 0 unless you set them).  The result is the sum times the
 * single-precision value of 1 / (nCols × nRows), truncated toward zero for
 * integer depths (a 3 × 3 window summing to 8 gives 0, one over 255
 * everywhere gives 255); ZAR_DEPTH_32F sums and multiplies in float rounding
 * toward zero; a 1-bit pixel becomes 1 when at least half of its window is 1.
 * A 1 × 1 neighbourhood is zarCopy(), with its checks.  The source and the
 * destination may be the same image, also a tiled one.
 * @param srcImage the image to blur; any depth.
 * @param dstImage the result: same depth.
 * @param nCols    neighbourhood width in pixels, at least 1.
 * @param nRows    neighbourhood height in rows, at least 1.
 * @param anchorX  the neighbourhood's column that lies on the pixel,
 *                 0 .. nCols - 1 (nCols / 2 centres an odd width).
 * @param anchorY  the neighbourhood's row that lies on the pixel,
 *                 0 .. nRows - 1.
 *
 * @par Region, channels, mask, tiles, origin
 * Each image from its own region offset over the smaller width and height
 * of the two regions (and masks' regions).  Both images must process the
 * same number of channels; alpha channels are not written.  Origins are not
 * compared.  Masks on both images
 * combine; a pixel whose mask bit is 0 keeps its value.  Either image may
 * be tiled.  Rows count in memory order (anchorY counts down the memory).
 *
 * @par Reports
 * The validation code with "Incorrect Image"; STATUS_BAD_ARG
 * "(srcImage->depth!=dstImage->depth)", "(nRows<0||nCols<0)",
 * "(anchorX<0||anchorY<0)", "(anchorX>=nCols||anchorY>=nRows)" (so a size of
 * 0 fails here); STATUS_BAD_ALPHA "bad alpha channel's number" for an image
 * whose only channel is alpha; STATUS_BAD_CHANNELS "bad channel's number";
 * STATUS_NO_MEMORY "Allocation failure". */
ZAR_API void ZAR_STDCALL zarBlur(ImageHeader* srcImage, ImageHeader* dstImage, int32_t nCols,
                                 int32_t nRows, int32_t anchorX, int32_t anchorY);

/** Applies one of the eleven fixed 3 × 3 or 5 × 5 kernels.
 *
 * The result at (x, y) is the sum of K[j][i] × P(x - a + i, y - a + j), with
 * a = 1 for 3 × 3 and 2 for 5 × 5 kernels, rows j counted in memory order
 * (row 0 of the kernel lies on the row above the pixel in memory).  Kernels:
 *
 * | filter | rows of the kernel, the first row above the pixel in memory |
 * |---|---|
 * | 0 | [1 0 -1] [1 0 -1] [1 0 -1] |
 * | 1 | [-1 -1 -1] [0 0 0] [1 1 1] |
 * | 2 | [1 0 -1] [2 0 -2] [1 0 -1] |
 * | 3 | [-1 -2 -1] [0 0 0] [1 2 1] |
 * | 4, 8 | [-1 -1 -1] [-1 8 -1] [-1 -1 -1] |
 * | 5 | [-1 -3 -4 -3 -1] [-3 0 6 0 -3] [-4 6 20 6 -4] [-3 0 6 0 -3] [-1 -3 -4 -3 -1] |
 * | 6 | [1 2 1] [2 4 2] [1 2 1] / 16 |
 * | 7 | [2 7 12 7 2] [7 31 52 31 7] [12 52 127 52 12] [7 31 52 31 7] [2 7 12 7 2] / 571 |
 * | 9 | every cell -1, centre 24 |
 * | 10 | [-1 -1 -1] [-1 16 -1] [-1 -1 -1] / 8 |
 *
 * (0 ZAR_FIXED_PREWITT_X, 1 ZAR_FIXED_PREWITT_Y, 2 ZAR_FIXED_SOBEL_X, 3
 * ZAR_FIXED_SOBEL_Y, 4 ZAR_FIXED_LAPLACE_3, 5 ZAR_FIXED_LAPLACE_5, 6
 * ZAR_FIXED_GAUSS_3, 7 ZAR_FIXED_GAUSS_5, 8 ZAR_FIXED_HIGHPASS_3, 9
 * ZAR_FIXED_HIGHPASS_5, 10 ZAR_FIXED_SHARPEN_3.)
 *
 * The X kernels give left minus right (positive where the picture darkens
 * to the right), the Y kernels the row below in memory minus the row above.
 * Positions outside the source take the source's border rules.
 *
 * Rounding: 8- and 16-bit results are exact integers saturated to the
 * depth's range (negative edge responses of 8U and 16U images become 0); the
 * divisions by 16 (ZAR_FIXED_GAUSS_3) and 8 (ZAR_FIXED_SHARPEN_3) round to
 * the nearest integer with halves to even; ZAR_FIXED_GAUSS_5 computes in
 * single precision and rounds to nearest, halves to even; ZAR_DEPTH_32S
 * computes in single precision and rounds to nearest; ZAR_DEPTH_32F stores
 * the float result.  On 1-bit images a result bit is 1 when the kernel sum
 * is at least 1 (filters 0 to 3), above 0 (4, 5, 8), above 7 of 16 (6),
 * above 285 of 571 (7), or when the centre is 1 and not every pixel of the
 * 5 × 5 window is 1 (9); ZAR_FIXED_SHARPEN_3 copies a 1-bit image.
 * @param srcImage the image to filter; any depth.
 * @param dstImage the result, a different header: same depth, channel count
 *                 and alpha channel, and the same data order unless 1-bit.
 * @param filter   a ZAR_FIXED_* number, 0 .. 10.
 * @return 0 when the filter ran or had nothing to do; after a report, the
 *         code the table below gives.
 *
 * @par Region, channels, mask, tiles, origin
 * Each image from its own region offset over the smaller width and height
 * of the source's region, the destination's region and the masks' regions.
 * A destination coi filters that channel alone (from the source's coi, or
 * channel 1); coi 0 filters every channel but alpha.  Masks on both images
 * combine.  Either image may be tiled.
 *
 * @par Reports
 * Each check reports and then returns the value named:
 * - an invalid image: the validation code with "Incorrect Image"; returns it;
 * - srcImage == dstImage: STATUS_BAD_ARG "(srcImage==dstImage)"; returns
 *   STATUS_BAD_ARG;
 * - depths differ: STATUS_BAD_ARG "srcImage->depth!=dstImage->depth"; returns
 *   STATUS_BAD_DEPTH;
 * - channel counts differ: STATUS_BAD_ARG
 *   "srcImage->nChannels!=dstImage->nChannels"; returns STATUS_BAD_CHANNELS;
 * - alpha channels differ: STATUS_BAD_ARG
 *   "srcImage->alphaChannel!=dstImage->alphaChannel"; returns STATUS_BAD_ALPHA;
 * - data orders differ: STATUS_BAD_ARG
 *   "srcImage->dataOrder!=dstImage->dataOrder"; returns STATUS_BACKTRACE;
 * - processed channel counts differ: STATUS_BAD_COI "Number of interset
 *   channel input and output Image is not equal."; returns STATUS_BAD_COI;
 * - filter outside 0 .. 10: STATUS_BAD_ARG "Unknow filter."; returns
 *   STATUS_BAD_ARG.
 *
 * A negative status word left by an earlier failure is returned without
 * filtering. */
ZAR_API ZarStatus ZAR_STDCALL zarFixedFilter(ImageHeader* srcImage, ImageHeader* dstImage,
                                             int32_t filter);

/** Dilation: each pixel becomes the maximum of its (2n + 1) × (2n + 1) square.
 *
 * nIterations = n stands for n rounds of the 3 × 3 maximum, computed in one
 * pass.  The window sees the source's region and a one-pixel frame around
 * it (read from the image, or from the source's border rules outside the
 * image); farther positions repeat the nearest frame pixel.  The status word
 * is set to 0 on entry.
 * @param srcImage    the image to read: ZAR_DEPTH_1U, ZAR_DEPTH_8U or
 *                    ZAR_DEPTH_16U.
 * @param dstImage    the result: same depth, data order and origin.
 * @param nIterations n, at least 1.
 *
 * @par Region, channels, mask, tiles, origin
 * Each image from its own region offset over the smaller width and height
 * of the two regions (and masks' regions).  The processed channel counts
 * must be equal (coi pairs one channel with another); alpha channels are
 * not written.  Masks on both images combine; a pixel whose mask bit is 0
 * keeps its value.  Either image may be tiled.
 *
 * @par Reports
 * Under "zarDilate": the validation code with "Incorrect Image";
 * STATUS_BAD_ARG "Illegal number of of iterations" (nIterations below 1),
 * "Illegal image depth", "SRC and DST depth are different", "SRC and DST
 * order are different", "SRC and DST orign are different", "SRC and DST
 * number of channels are different".  Running out of memory sets
 * STATUS_NO_MEMORY in the status word without a report and changes nothing. */
ZAR_API void ZAR_STDCALL zarDilate(ImageHeader* srcImage, ImageHeader* dstImage,
                                   int32_t nIterations);

/** Erosion: each pixel becomes the minimum of its (2n + 1) × (2n + 1) square.
 *
 * As zarDilate() with the minimum, reporting under "zarErode".  With the
 * default borders (constant 0) the frame outside the image is 0, so eroding
 * a region that touches the image's edge gives 0 along that edge: set the
 * source's borders to ZAR_BORDER_REPLICATE to erode the picture alone.
 * @param srcImage    the image to read: ZAR_DEPTH_1U, ZAR_DEPTH_8U or
 *                    ZAR_DEPTH_16U.
 * @param dstImage    the result: same depth, data order and origin.
 * @param nIterations n, at least 1. */
ZAR_API void ZAR_STDCALL zarErode(ImageHeader* srcImage, ImageHeader* dstImage,
                                  int32_t nIterations);

/* -------------------------------------------------------------- geometry */

/** Shrinks a region by xDst/xSrc across and yDst/ySrc down.
 *
 * The output is W × H pixels at the destination region's corner: W is the
 * smaller of the destination region's width and floor(source region width ×
 * xDst / xSrc), H likewise; the rest of the destination is not touched.
 * Destination pixel (i, j) looks at source position (x0 + i × xSrc/xDst,
 * y0 + j × ySrc/yDst) from the source region's corner, where x0 is 0.5 in
 * ZAR_INTER_NN along an axis whose factor is not a whole number and 0
 * otherwise.
 *
 * | interpolate | result |
 * |---|---|
 * | ZAR_INTER_NN | the pixel at the position truncated (3:2 reads 0, 2, 3, 5, 6, ...) |
 * | ZAR_INTER_LINEAR | bilinear mix of 2 × 2 pixels, truncated toward zero |
 * | ZAR_INTER_CUBIC | four-point Lagrange cubic per axis, truncated, clamped |
 * | ZAR_INTER_SUPER | area-weighted mean of the pixel's source box, rounded to nearest |
 *
 * The box of ZAR_INTER_SUPER is [x, x + xSrc/xDst) × [y, y + ySrc/yDst) from
 * position 0; pixels it covers in part weigh by the part covered, and the
 * mean plus 0.5 is truncated.  ZAR_INTER_LINEAR and ZAR_INTER_CUBIC run as
 * ZAR_INTER_NN when both factors
 * are whole numbers (2:1 takes every second pixel from pixel 0); every mode
 * runs as ZAR_INTER_NN when the source image is narrower or lower than 4
 * pixels.  For 1-bit images ZAR_INTER_LINEAR
 * and ZAR_INTER_CUBIC copy bits, and ZAR_INTER_SUPER sets a bit when at
 * least half of its box is 1.
 * @param srcImage    the image to shrink: ZAR_DEPTH_1U, ZAR_DEPTH_8U or
 *                    ZAR_DEPTH_16U.
 * @param dstImage    the result, a different header: same depth, origin and
 *                    data order.
 * @param xDst        horizontal factor numerator, 1 .. xSrc.
 * @param xSrc        horizontal factor denominator, at least 1.
 * @param yDst        vertical factor numerator, 1 .. ySrc.
 * @param ySrc        vertical factor denominator, at least 1.
 * @param interpolate ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC or
 *                    ZAR_INTER_SUPER.
 *
 * @par Region, channels, mask, tiles, origin
 * The source region scales into the destination region's corner.  A coi on
 * one image needs a coi on the other when that one has several channels;
 * coi 0 processes every channel, the alpha channel included (the smaller
 * count of the two images).  Masks are ignored.  Either image may be tiled.
 *
 * @par Reports
 * Under "zarDecimate", each failing check is reported before the call
 * returns: the validation code with "Incorrect Image"; STATUS_BAD_ARG
 * "srcImage == dstImage", "srcImage->depth != dstImage->depth",
 * "srcImage->origin != dstImage->origin", "srcImage->dataOrder !=
 * dstImage->dataOrder", the four coi pairings (e.g. "srcImage->roi->coi > 0
 * && dstImage->roi->coi == 0"), an unknown mode, "xDst <= 0" and the like,
 * "xDst > xSrc", "yDst > ySrc", and a depth other than 1U, 8U or 16U;
 * STATUS_INTERNAL "dstImage->tileInfo->callBack crash" or
 * "srcImage->tileInfo->callBack crash" for a missing tile. */
ZAR_API void ZAR_STDCALL zarDecimate(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                                     int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate);

/** Enlarges a region by xDst/xSrc across and yDst/ySrc down.
 *
 * The output is W × H pixels at the destination region's corner: W is the
 * smaller of the destination region's width and source region width × xDst
 * / xSrc rounded down (at least 1), H likewise.  The mapping runs end to end:
 * the first destination column samples the first source column and the last
 * (real) destination column the last source column, position i × (Ws - 1) /
 * (Ws × xDst / xSrc - 1) for a source region Ws wide (a 4-pixel row zoomed
 * 2:1 by ZAR_INTER_NN reads columns 0, 0, 1, 1, 2, 2, 3, 3); equal factors
 * copy the region.
 *
 * | interpolate | result |
 * |---|---|
 * | ZAR_INTER_NN | the pixel nearest the position (a half rounds up) |
 * | ZAR_INTER_LINEAR | bilinear mix rounded down (127.99 gives 127) |
 * | ZAR_INTER_CUBIC | four-point Lagrange cubic per axis, rounded to nearest, clamped |
 *
 * ZAR_INTER_LINEAR rounds down with a tolerance: a value within 0.00001 below
 * an integer gives that integer; ZAR_INTER_CUBIC rounds halves to even.
 * 1-bit images always run ZAR_INTER_NN; a source image narrower or lower
 * than 2 pixels runs ZAR_INTER_NN, and ZAR_INTER_CUBIC runs as
 * ZAR_INTER_LINEAR below 4.  ZAR_INTER_SUPER is refused (it only shrinks:
 * see zarResize()).
 * @param srcImage    the image to enlarge: ZAR_DEPTH_1U, ZAR_DEPTH_8U or
 *                    ZAR_DEPTH_16U.
 * @param dstImage    the result, a different header: same depth and data
 *                    order.
 * @param xDst        horizontal factor numerator, at least xSrc.
 * @param xSrc        horizontal factor denominator, at least 1.
 * @param yDst        vertical factor numerator, at least ySrc.
 * @param ySrc        vertical factor denominator, at least 1.
 * @param interpolate ZAR_INTER_NN, ZAR_INTER_LINEAR or ZAR_INTER_CUBIC.
 *
 * @par Region, channels, mask, tiles, origin
 * The source region scales into the destination region's corner.  Without
 * a coi both images must process equal channel counts (alpha channels are
 * not processed); with a coi both must process one channel.  A source mask
 * is scaled to the output by nearest neighbour; a pixel is written where the
 * (scaled) source mask and the destination mask are 1.  Either image may be
 * tiled.  Origins are not compared.
 *
 * @par Reports
 * STATUS_BAD_ARG "xDst < xSrc || yDst < ySrc" under "zarZoom"; then the
 * checks shared with zarResize(), under "zarZoom": the validation code with
 * "Incorrect Image"; STATUS_BAD_ARG for an unknown mode, different depths, a
 * depth other than 1U, 8U or 16U, different data orders, "xDst <= 0 || xSrc
 * <= 0", "yDst <= 0 || ySrc <= 0", and srcImage == dstImage; STATUS_ERROR
 * "Processed channels of srcImage != Processed channels of dstImage";
 * STATUS_ERROR "Error get tile to write" for a missing tile. */
ZAR_API void ZAR_STDCALL zarZoom(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                                 int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate);

/** Scales a region by any factors, each axis shrinking or growing.
 *
 * ZAR_INTER_SUPER runs zarDecimate() (both factors must then be at most 1);
 * every other mode runs the engine of zarZoom(), which here also shrinks, in
 * one axis or both, with the mapping and rounding described at zarZoom().
 * The reports of the chosen path carry its name ("zarDecimate" or
 * "zarZoom").
 * @param srcImage    the image to scale.
 * @param dstImage    the result, a different header.
 * @param xDst        horizontal factor numerator, at least 1.
 * @param xSrc        horizontal factor denominator, at least 1.
 * @param yDst        vertical factor numerator, at least 1.
 * @param ySrc        vertical factor denominator, at least 1.
 * @param interpolate ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC, or
 *                    ZAR_INTER_SUPER for shrinking.
 * @return the status word when it is not negative (STATUS_OK after a
 *         success); otherwise, after reporting STATUS_BACKTRACE, what the
 *         handler returned.
 *
 * @par Reports
 * STATUS_BAD_ARG "(interpolate == ZAR_INTER_SUPER) && (xDst > xSrc || yDst >
 * ySrc)" under "zarResize"; the reports of zarDecimate() or zarZoom(); then
 * STATUS_BACKTRACE under "zarResize" whenever the status word is negative
 * afterwards (also when it was negative before the call). */
ZAR_API ZarStatus ZAR_STDCALL zarResize(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                                        int32_t xSrc, int32_t yDst, int32_t ySrc,
                                        int32_t interpolate);

/** Samples the source at positions read from two maps:
 * dst(c, r) = src(xMap(c, r), yMap(c, r)).
 *
 * The maps' values are positions in the whole source image (column 0, row
 * 0 is the image's first pixel, not the region's), in pixels, counting rows
 * in memory order.  A position outside the source region (bounds included,
 * compared as floats: -0.0, negative values and NaN are outside) leaves its
 * destination pixel unchanged.
 *
 * | interpolate | result |
 * |---|---|
 * | ZAR_INTER_NN | the pixel at the nearest position, halves to even (2.5 reads 2, 3.5 reads 4) |
 * | ZAR_INTER_LINEAR | bilinear mix rounded to nearest, halves to even |
 * | ZAR_INTER_CUBIC | four-point Lagrange cubic, taps kept inside the image, rounded, clamped |
 *
 * 16 may be added to the mode and is ignored.  1-bit images, and sources 1
 * pixel wide or high, run ZAR_INTER_NN; ZAR_INTER_CUBIC runs as
 * ZAR_INTER_LINEAR for sources narrower or lower than 4.
 * @param srcImage    the image to sample: ZAR_DEPTH_1U, ZAR_DEPTH_8U or
 *                    ZAR_DEPTH_16U.
 * @param xMap        source x per destination pixel: one-channel
 *                    ZAR_DEPTH_32F without alpha.
 * @param yMap        source y per destination pixel, the same kind.
 * @param dstImage    the result, a different header: same depth and origin,
 *                    and the same data order unless 1-bit or both have one
 *                    channel.
 * @param interpolate ZAR_INTER_NN, ZAR_INTER_LINEAR or ZAR_INTER_CUBIC.
 *
 * @par Region, channels, mask, tiles, origin
 * Destination pixel (c, r) of the destination region reads map pixel (c, r)
 * of each map's region, over the smallest width and height of the three
 * regions; only positions inside the source region are sampled.  Processed
 * channel counts must be equal; alpha channels are not processed.  Masks are
 * ignored.  Any of the four images may be tiled.
 *
 * @par Reports
 * Under "zarRemap": the validation code with "Incorrect Image"; STATUS_BAD_ARG
 * for different depths, origins or data orders, a signed or float source
 * depth, a map that is not one-channel 32F without alpha, srcImage ==
 * dstImage, an unknown mode, and "Number of processed channels of srcImage
 * != Number of processed channels of dstImage"; STATUS_ERROR "Error get tile
 * to write" or STATUS_BACKTRACE when a tile or buffer cannot be had. */
ZAR_API void ZAR_STDCALL zarRemap(ImageHeader* srcImage, ImageHeader* xMap, ImageHeader* yMap,
                                  ImageHeader* dstImage, int32_t interpolate);

/* --------------------------------------------------------------- bitmaps */

/** Turns a bitmap in memory into a new image.
 *
 * dib points at a 40-byte BITMAPINFOHEADER followed by its colour table
 * (or, for BI_BITFIELDS, its three masks, red first) and its bits, in one
 * block; compressions BI_RGB, BI_RLE8, BI_RLE4 and BI_BITFIELDS; 1, 4, 8,
 * 16, 24 or 32 bits a pixel.
 *
 * *cloneData is written, never read.  It is 0 when the image references the
 * bits inside the block (keep the block alive while the image is used;
 * zarDeallocate() never frees it): uncompressed 24-bit
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
 * ZAR_ORIGIN_TL for a negative one; width biWidth, height |biHeight|.  So the
 * image of an ordinary (bottom-up) bitmap file is a ZAR_ORIGIN_BL image whose
 * region rows count from the bottom of the picture.
 *
 * Returns null after reporting a bad argument or header, or no memory.  A
 * failure while converting (a malformed run-length stream) is reported but the
 * image is still returned, its pixels undefined.  A run-length stream is read
 * up to its end of bitmap, or at most biSizeImage bytes when that is not 0;
 * pixels it skips read as palette index 0.  In ZAR_ERRMODE_RETURN, a negative
 * status word left by an earlier failure makes the conversion return without
 * converting: clear it with zarSetStatus(0) first, or use zarTranslateDIBBlock().
 * @param dib       the bitmap block.
 * @param cloneData receives 1 when the image owns converted pixels (release
 *                  with ZAR_FREE_ALL), 0 when it references the block's bits
 *                  (release with ZAR_FREE_HEADER).
 * @return the new image, or null after a report.
 *
 * @par Reports
 * Under "zarTranslateDIB", STATUS_BAD_ARG for a null dib or cloneData, a
 * biSize other than 40, biPlanes other than 1, an unknown compression, BI_RLE8
 * without 8 bits or BI_RLE4 without 4 bits, a top-down run-length bitmap, and
 * "dib->biBitCount is bad"; STATUS_NO_MEMORY when the header or the pixels
 * cannot be allocated.  Under "zarConvertFromDIB", the failures of the
 * conversion: a malformed run-length stream (STATUS_BAD_ARG "Incorrect
 * format of BI_RLE8 DIB (mismatch biWidth)" and its like, then
 * STATUS_INTERNAL "Impossible to decompress RLE DIB"). */
ZAR_API ImageHeader* ZAR_STDCALL zarTranslateDIB(const BITMAPINFOHEADER* dib, int32_t* cloneData);

/** zarTranslateDIB() for a bitmap of known size, safe on untrusted bytes.
 *
 * block is either a whole .bmp file image (starting with the 14-byte "BM"
 * file header, whose bits offset is honoured) or a bare bitmap block as
 * zarTranslateDIB() takes it, of size bytes, at any alignment.  Clears the
 * status word on entry, then refuses with STATUS_BAD_ARG (function
 * "zarTranslateDIBBlock") a null block or cloneData and a block too small for
 * its headers; checks the header as zarTranslateDIB() does; and refuses a colour
 * table, masks, bits offset, uncompressed bits or run-length stream
 * (biSizeImage) reaching past size.  A run-length stream with biSizeImage 0 is
 * bounded by the end of the block.  Then it behaves as zarTranslateDIB(): a
 * referenced image (*cloneData 0) points into block.  A file whose bits do not
 * lie right behind its colour table is always converted (*cloneData 1).
 * @param block     a .bmp file image or a bitmap block.
 * @param size      the number of bytes at block.
 * @param cloneData receives 1 for converted pixels, 0 for pixels referenced
 *                  inside block.
 * @return the new image, or null after a report. */
ZAR_API ImageHeader* ZAR_STDCALL zarTranslateDIBBlock(const void* block, size_t size,
                                                      int32_t* cloneData);

#ifdef __cplusplus
}
#endif

#endif /* ZAR_H */
