// Arithmetic and logic internals shared by Add, Or, And and XorS: operand
// bookkeeping, the mask combiner, the tiled region walk and the common run of
// an operation (mask combination, kernel choice, plain or tiled run).
#pragma once

#include <cstdint>

#include "image/image.h"

// ------------------------------------------------------------ operands

// Channels an operation processes in image: 1 with a channel of interest,
// otherwise every channel but the alpha channel.
int32_t processedChannels(const ImageHeader* image);
// 0-based index of the first processed channel: coi - 1, or 0 without a coi.
int32_t channelIndex(const ImageHeader* image);
bool isTiled(const ImageHeader* image);

// Everything a region kernel needs for one call (or one piece of the tiled
// walk).  srcB is null for the one-source operation (XorS).
struct KernelArgs {
    ImageHeader* srcA;
    ImageHeader* srcB;
    ImageHeader* dst;
    ImageHeader* mask;  // the combined (or only) mask, or null
    int32_t channelA, channelB, channelDst;
    int32_t channels;  // processed channels (equal for every operand)
    bool allChannels;  // no operand has a channel of interest
    bool alpha;        // some operand has an alpha channel
    uint32_t pattern;  // XorS: the constant spread over 32 bits
};
using RegionKernel = void (*)(const KernelArgs& args);
// Chooses the kernel by the destination depth and whether there is a mask;
// null for a depth the operation does not support.
using KernelChooser = RegionKernel (*)(int32_t depth, bool masked);

KernelArgs makeKernelArgs(ImageHeader* srcA, ImageHeader* srcB, ImageHeader* dst, ImageHeader* mask,
                          uint32_t pattern);

// -------------------------------------------------------- mask combiner

enum MaskCombineCode : int32_t {
    kMaskAsIs = 0,      // no mask, or exactly one, used as it is
    kMaskCombined = 1,  // a new combined mask; release it at the end
    kMaskNoMemory = 2,  // the combined mask could not be made
    kMaskEmpty = 3,     // the masks' common region is empty
};
struct MaskCombination {
    ImageHeader* mask;
    MaskCombineCode code;
};
// Combines the masks (each may be null) into one 1-bit mask: the AND of the
// masks' regions, each read from its own bit offset.
MaskCombination combineMasks(ImageHeader* maskA, ImageHeader* maskB, ImageHeader* maskDst);
// Releases a combined mask (pixels and header); does nothing otherwise.
void releaseMaskCombination(const MaskCombination& combination);

// ----------------------------------------------------------- tiled walk

enum class WalkOperand { none, srcA, srcB, dst };
// Runs kernel over pieces of the common region that each lie inside one tile
// of every tiled operand.  Every tile handed out is given back, also when the
// walk stops; returns the operand whose tile was refused, or none.
WalkOperand walkTiles(const KernelArgs& args, RegionKernel kernel);

// ------------------------------------------------------ operation runs

// A failed check: status and context text for the operation's report; status
// 0 when everything went well (or the region was empty).
struct Failure {
    ZarStatus status;
    const char* context;
    bool failed() const { return status != STATUS_OK; }
};

// Context texts of a refused tile, by operand.
struct TileContexts {
    const char* srcA;
    const char* srcB;
    const char* dst;
};

// Context texts of the relation checks; the srcB texts are null for the
// one-source operation.
struct RelationTexts {
    const char* depthA;
    const char* depthB;
    const char* orderA;
    const char* orderB;
    const char* channelsA;
    const char* channelsB;
};
extern const RelationTexts kTwoSourceRelations;
extern const TileContexts kTwoSourceTiles;

// Validation of the headers (source A, source B when the texts name one, the
// destination) and their relations in this order: depths, data orders (not
// between 1-bit images unless orderFor1Bit), processed channel counts.
Failure checkOperands(const ImageHeader* srcA, const ImageHeader* srcB, const ImageHeader* dst,
                      bool orderFor1Bit, const RelationTexts& texts);

// The steps after the checks: mask combination, kernel choice, the run on
// plain headers (wholeBuffer first when given and no mask) or the tiled walk,
// and the release of a combined mask.
Failure runOperation(ImageHeader* srcA, ImageHeader* srcB, ImageHeader* dst, uint32_t pattern,
                     KernelChooser choose, RegionKernel wholeBuffer,
                     const TileContexts& tileContexts);

// zarOr and zarAnd: the checks and the run.
Failure runLogical(ImageHeader* srcA, ImageHeader* srcB, ImageHeader* dst, KernelChooser choose);
