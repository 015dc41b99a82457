/* Error handling: by default the first error ends the process with exit code 1.
 * Here the thread switches to return mode and installs its own handler. */
#include <stdio.h>

#include <zar.h>

static int reports = 0;

static ZarStatus ZAR_STDCALL logError(ZarStatus status, const char* funcName, const char* context,
                                      const char* fileName, int32_t line) {
    ++reports;
    printf("report %d: %s (%d) in %s: \"%s\" [%s:%d]\n", reports, zarStatusMessage(status),
           (int)status, funcName, context, fileName, (int)line);
    return status;
}

int main(void) {
    ImageHeader* image;
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarRedirectError(logError);

    /* A zero width is refused when the header is made. */
    image = zarCreateImageHeader(1, 0, ZAR_DEPTH_8U, "GRAY", "GRAY", ZAR_DATA_ORDER_PIXEL,
                                 ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, 0, 10, NULL, NULL, NULL, NULL);
    printf("header: %s, status %d\n", image ? "made" : "null", (int)zarGetStatus());

    /* Allocating a float image with the integer allocator is an argument error. */
    image = zarCreateImageHeader(1, 0, ZAR_DEPTH_32F, "GRAY", "GRAY", ZAR_DATA_ORDER_PIXEL,
                                 ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, 8, 8, NULL, NULL, NULL, NULL);
    zarAllocateImage(image, 0, 0);
    printf("pixels: %s\n", image->imageData ? "allocated" : "none");
    zarAllocateImageFP(image, 1, 0.5f);
    printf("pixels: %s\n", image->imageData ? "allocated" : "none");

    zarDeallocate(image, ZAR_FREE_ALL);
    zarRedirectError(NULL);
    return reports == 2 ? 0 : 1;
}
