// The calling convention of every entry point and callback type: __stdcall on 32-bit x86,
// the default elsewhere.  (The record sizes are checked where the library is compiled.)
#include <gtest/gtest.h>

#include <iterator>

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

constexpr bool kDefault[] = {
    isDefault(ZarTileCallback{}), isDefault(ZarErrorHandler{}), isDefault(&zarGetStatus),
    isDefault(&zarSetStatus), isDefault(&zarGetErrorMode), isDefault(&zarSetErrorMode),
    isDefault(&zarRedirectError), isDefault(&zarReportError), isDefault(&zarDefaultErrorHandler),
    isDefault(&zarStdErrReport), isDefault(&zarStatusMessage), isDefault(&zarCreateImageHeader),
    isDefault(&zarAllocateImage), isDefault(&zarAllocateImageFP), isDefault(&zarDeallocate),
    isDefault(&zarCloneImage), isDefault(&zarSet), isDefault(&zarSetFP), isDefault(&zarCopy),
    isDefault(&zarPutPixel), isDefault(&zarAdd), isDefault(&zarOr), isDefault(&zarAnd),
    isDefault(&zarXorS), isDefault(&zarBlur), isDefault(&zarFixedFilter), isDefault(&zarDilate),
    isDefault(&zarErode), isDefault(&zarDecimate), isDefault(&zarZoom), isDefault(&zarResize),
    isDefault(&zarRemap), isDefault(&zarTranslateDIB), isDefault(&zarTranslateDIBBlock)};

TEST(Abi, EveryEntryPointAndCallbackTypeHasTheHeadersConvention) {
    for (size_t i = 0; i < std::size(kDefault); ++i) EXPECT_EQ(kDefault[i], kWantDefault) << i;
}

}  // namespace
