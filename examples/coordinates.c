/* Where a region and a pixel land.  Rows count in memory order, so on a
 * bottom-up image a region counts from the bottom of the picture while
 * zarPutPixel counts from the top; and an operation on two images works from
 * each image's own region, so both need one.  Exits with 0 when every pixel
 * landed where the guide says. */
#include <stdio.h>

#include <zar.h>

static ImageHeader* grayImage(int32_t origin, int32_t width, int32_t height, int32_t value) {
    ImageHeader* image = zarCreateImageHeader(1, 0, ZAR_DEPTH_8U, "GRAY", "GRAY",
                                              ZAR_DATA_ORDER_PIXEL, origin, ZAR_ALIGN_4BYTES, width,
                                              height, NULL, NULL, NULL, NULL);
    if (image != NULL) zarAllocateImage(image, 1, value);
    return image;
}

/* The value at column x of the picture's line y, counted from the top. */
static int pictureValue(const ImageHeader* image, int x, int y) {
    int row = image->origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y;
    return (unsigned char)image->imageData[row * image->widthStep + x];
}

/* Prints the picture top line first, whatever the origin. */
static void show(const char* title, const ImageHeader* image) {
    int x, y;
    printf("%s\n", title);
    for (y = 0; y < image->height; ++y) {
        for (x = 0; x < image->width; ++x) printf(" %d", pictureValue(image, x, y));
        printf("\n");
    }
}

int main(void) {
    int wrong = 0;
    ImageHeader *picture, *source, *destination;
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarRedirectError(zarStdErrReport);

    /* A bottom-up image, as a .bmp file gives it: memory row 0 is the bottom line. */
    picture = grayImage(ZAR_ORIGIN_BL, 6, 4, 0);
    if (picture == NULL) return 1;
    //! [bottom-up]
    Roi firstRow = {0, 1, 0, 3, 1}; /* columns 1..3 of memory row 0 */
    unsigned char nine = 9;
    picture->roi = &firstRow;
    zarSet(picture, 5); /* memory row 0: the bottom line of the picture */
    picture->roi = NULL;
    zarPutPixel(picture, 0, 0, &nine); /* y 0: the top line of the picture */
    //! [bottom-up]
    show("bottom-up picture, top line first:", picture);
    wrong += pictureValue(picture, 0, 0) != 9;
    wrong += pictureValue(picture, 1, 3) != 5 || pictureValue(picture, 3, 3) != 5;
    wrong += pictureValue(picture, 1, 0) != 0;

    source = grayImage(ZAR_ORIGIN_TL, 6, 6, 7);
    destination = grayImage(ZAR_ORIGIN_TL, 6, 6, 0);
    if (source == NULL || destination == NULL) return 1;
    //! [source region only]
    Roi block = {0, 3, 3, 2, 2}; /* 2 x 2 pixels from column 3, row 3 */
    source->roi = &block;
    zarCopy(source, destination); /* the destination's region is the whole image */
    //! [source region only]
    show("region on the source only: the block lands in the corner", destination);
    wrong += pictureValue(destination, 0, 0) != 7 || pictureValue(destination, 3, 3) != 0;

    zarSet(destination, 0);
    //! [both regions]
    destination->roi = &block; /* the same region on both images */
    zarCopy(source, destination);
    //! [both regions]
    destination->roi = NULL;
    source->roi = NULL;
    show("region on both: the block stays in place", destination);
    wrong += pictureValue(destination, 3, 3) != 7 || pictureValue(destination, 0, 0) != 0;

    zarDeallocate(destination, ZAR_FREE_ALL);
    zarDeallocate(source, ZAR_FREE_ALL);
    zarDeallocate(picture, ZAR_FREE_ALL);
    printf("%s\n", wrong == 0 && zarGetStatus() == STATUS_OK ? "ok" : "FAILED");
    return wrong == 0 && zarGetStatus() == STATUS_OK ? 0 : 1;
}
