// What the library assumes of the target it is compiled for.
#include <cfloat>

#include "zar.h"

// Results are bit-exact across targets only when float and double operations round to
// their own type (on 32-bit x86: compile with -msse2 -mfpmath=sse, not for the x87 unit).
static_assert(FLT_EVAL_METHOD == 0, "floating-point operations must round to their own type");

// Where pointers are 4 bytes wide the records have the sizes of the classic interface.
static_assert(sizeof(Roi) == 20, "Roi is 20 bytes");
static_assert(sizeof(void*) != 4 || sizeof(ImageHeader) == 112, "ImageHeader is 112 bytes");
static_assert(sizeof(void*) != 4 || sizeof(TileInfo) == 20, "TileInfo is 20 bytes");
