/* Blurs a BMP file with a 5x5 box and prints the mean of the picture before and after.
 * A file the library refuses is reported on stderr and the program exits with 1. */
#include <stdio.h>
#include <stdlib.h>

#include <zar.h>

static unsigned char* readAll(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    unsigned char* bytes;
    long n;
    if (!f) return NULL;
    fseek(f, 0, SEEK_END);
    n = ftell(f);
    fseek(f, 0, SEEK_SET);
    bytes = (unsigned char*)malloc((size_t)n);
    if (bytes && fread(bytes, 1, (size_t)n, f) != (size_t)n) {
        free(bytes);
        bytes = NULL;
    }
    fclose(f);
    *size = (size_t)n;
    return bytes;
}

/* Mean of the 8-bit values of a pixel-ordered image. */
static double mean(const ImageHeader* image) {
    double sum = 0;
    int x, y, rowValues = image->width * image->nChannels;
    for (y = 0; y < image->height; ++y)
        for (x = 0; x < rowValues; ++x)
            sum += (unsigned char)image->imageData[y * image->widthStep + x];
    return sum / ((double)rowValues * image->height);
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "../data/sample.bmp";
    size_t size = 0;
    unsigned char* file = readAll(path, &size);
    int32_t cloneData = 0;
    ImageHeader *picture, *blurred;
    int i, ok;

    /* Report each refused call on stderr and return from it, instead of the
     * default: ending the process with exit code 1 without a word. */
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarRedirectError(zarStdErrReport);

    if (!file) {
        fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    /* A 24-bit bitmap is referenced in place: the file's bytes must outlive the header. */
    picture = zarTranslateDIBBlock(file, size, &cloneData);
    if (picture == NULL) {
        free(file);
        return 1;
    }
    blurred = zarCloneImage(picture);
    for (i = 0; i < 4; ++i) picture->borderModes[i] = ZAR_BORDER_REPLICATE;
    zarBlur(picture, blurred, 5, 5, 2, 2);
    ok = zarGetStatus() == STATUS_OK;

    if (ok)
        printf("%s: %d x %d, %d channels; mean %.2f, after a 5x5 blur %.2f\n", path,
               (int)picture->width, (int)picture->height, (int)picture->nChannels, mean(picture),
               mean(blurred));
    zarDeallocate(blurred, ZAR_FREE_ALL);
    zarDeallocate(picture, cloneData ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
    free(file);
    return ok ? 0 : 1;
}
