/* Creates, allocates, fills, clones, describes and frees an image through
 * zar.h alone.  Exits with 0 when every step gave what it should. */
#include <stdio.h>
#include <string.h>

#include <zar.h>

static int check(int ok, const char* what) {
    if (!ok) fprintf(stderr, "basic: %s failed\n", what);
    return ok ? 0 : 1;
}

static void describe(const char* name, const ImageHeader* image) {
    printf(
        "%s: %dx%d, %d channel(s), depth %d bits, %s order, align %d, "
        "widthStep %d, imageSize %d\n",
        name, (int)image->width, (int)image->height, (int)image->nChannels,
        (int)(image->depth & 0x7FFFFFFF),
        image->dataOrder == ZAR_DATA_ORDER_PIXEL ? "pixel" : "plane", (int)image->align,
        (int)image->widthStep, (int)image->imageSize);
    if (image->roi)
        printf("  roi: coi %d at (%d, %d), %dx%d\n", (int)image->roi->coi, (int)image->roi->xOffset,
               (int)image->roi->yOffset, (int)image->roi->width, (int)image->roi->height);
}

int main(void) {
    int failures = 0;
    int x, y;
    ImageHeader *image, *clone;
    Roi roi = {0, 2, 1, 4, 3};

    /* A refused call prints why on stderr and returns (the default ends the
     * process with exit code 1 and prints nothing). */
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarRedirectError(zarStdErrReport);

    /* A 10 x 6 three-channel 8-bit image, rows aligned to 8 bytes. */
    image = zarCreateImageHeader(3, 0, ZAR_DEPTH_8U, "RGB", "BGR", ZAR_DATA_ORDER_PIXEL,
                                 ZAR_ORIGIN_TL, ZAR_ALIGN_8BYTES, 10, 6, NULL, NULL, NULL, NULL);
    if (image == NULL) {
        fprintf(stderr, "basic: no header\n");
        return 1;
    }
    /* Every byte of the pixels becomes 0x2A. */
    zarAllocateImage(image, 1, 0x2A);
    failures += check(image->imageData != NULL, "allocation");
    failures += check(image->widthStep == 32 && image->imageSize == 32 * 6, "sizes");
    failures += check(zarGetStatus() == STATUS_OK, "status");
    describe("image", image);

    /* A gradient in the first channel. */
    for (y = 0; y < image->height; ++y)
        for (x = 0; x < image->width; ++x)
            image->imageData[y * image->widthStep + 3 * x] = (char)(10 * y + x);

    /* The clone copies the pixels; the roi's values go into its own record. */
    image->roi = &roi;
    clone = zarCloneImage(image);
    image->roi = NULL;
    failures += check(clone != NULL, "clone");
    if (clone != NULL) {
        failures += check(clone->roi != NULL && clone->roi != &roi && clone->roi->width == 4,
                          "clone roi");
        failures += check(memcmp(clone->imageData, image->imageData, (size_t)image->imageSize) == 0,
                          "clone pixels");
        failures += check(clone->imageData[5 * clone->widthStep + 3 * 9] == 59 &&
                              clone->imageData[5 * clone->widthStep + 3 * 9 + 1] == 0x2A,
                          "clone sample");
        describe("clone", clone);
        zarDeallocate(clone, ZAR_FREE_ALL);
    }

    printf("status: %s\n", zarStatusMessage(zarGetStatus()));
    zarDeallocate(image, ZAR_FREE_ALL);
    printf("%s\n", failures == 0 ? "ok" : "FAILED");
    return failures == 0 ? 0 : 1;
}
