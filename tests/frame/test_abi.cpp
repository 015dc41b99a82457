// The calling convention of every entry point and callback type: __stdcall on 32-bit x86,
// the default elsewhere.  (The record sizes are checked where the library is compiled.)
#include <gtest/gtest.h>

#include "zar.h"

namespace {

// True for a pointer to a function of the compiler's default convention; on 32-bit x86 a
// __stdcall function pointer is of another type and takes the second overload.
template <typename R, typename... A>
constexpr bool isDefault(R (*)(A...)) {
    return true;
}
constexpr bool isDefault(...) { return false; }

#if defined(__i386__) || defined(_M_IX86)
constexpr bool kWantDefault = false;
#else
constexpr bool kWantDefault = true;
#endif

// How many of fns lack the header's convention.
template <typename... F>
constexpr int wrongConvention(F... fns) {
    return (0 + ... + int(isDefault(fns) != kWantDefault));
}

TEST(Abi, EveryEntryPointAndCallbackTypeHasTheHeadersConvention) {
    EXPECT_EQ(wrongConvention(
                  ZarTileCallback{}, ZarErrorHandler{}, &zarGetStatus, &zarSetStatus,
                  &zarGetErrorMode, &zarSetErrorMode, &zarRedirectError, &zarReportError,
                  &zarDefaultErrorHandler, &zarStdErrReport, &zarStatusMessage,
                  &zarCreateImageHeader, &zarAllocateImage, &zarAllocateImageFP, &zarDeallocate,
                  &zarCloneImage, &zarSet, &zarSetFP, &zarCopy, &zarPutPixel, &zarAdd, &zarOr,
                  &zarAnd, &zarXorS, &zarBlur, &zarFixedFilter, &zarDilate, &zarErode, &zarDecimate,
                  &zarZoom, &zarResize, &zarRemap, &zarTranslateDIB, &zarTranslateDIBBlock),
              0);
}

}  // namespace
