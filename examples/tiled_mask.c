/* Copies a plain image into a tiled one through the application's own tile
 * callback, changing only the pixels that a 1-bit mask selects. */
#include <stdio.h>
#include <string.h>

#include <zar.h>

#define WIDTH 40
#define HEIGHT 24
#define TILE 16
#define COLUMNS ((WIDTH + TILE - 1) / TILE)
#define ROWS ((HEIGHT + TILE - 1) / TILE)

//! [callback]
static unsigned char tiles[ROWS][COLUMNS][TILE * TILE]; /* 8-bit, one channel, stride 16 */
static int held = 0;

static void ZAR_STDCALL tileCallback(ImageHeader* image, int32_t column, int32_t row,
                                     int32_t mode) {
    if (mode == ZAR_TILE_RELEASE) {
        --held;
        return;
    }
    image->tileInfo->tileData = (char*)tiles[row][column];
    ++held;
}
//! [callback]

static unsigned char tiledPixel(int x, int y) {
    return tiles[y / TILE][x / TILE][(y % TILE) * TILE + x % TILE];
}

int main(void) {
    TileInfo tileInfo = {tileCallback, 0, NULL, TILE, TILE};
    ImageHeader *mask, *source, *tiled;
    int x, y, changed = 0, wrong = 0;

    /* A refused call prints why on stderr and returns. */
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarRedirectError(zarStdErrReport);

    /* The mask selects a disc in the middle. */
    mask = zarCreateImageHeader(1, 0, ZAR_DEPTH_1U, "GRAY", "GRAY", ZAR_DATA_ORDER_PIXEL,
                                ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, WIDTH, HEIGHT, NULL, NULL, NULL,
                                NULL);
    zarAllocateImage(mask, 1, 0);
    for (y = 0; y < HEIGHT; ++y)
        for (x = 0; x < WIDTH; ++x)
            if ((x - 20) * (x - 20) + (y - 12) * (y - 12) < 81)
                mask->imageData[y * mask->widthStep + x / 8] |= (char)(0x80 >> (x % 8));

    source = zarCreateImageHeader(1, 0, ZAR_DEPTH_8U, "GRAY", "GRAY", ZAR_DATA_ORDER_PIXEL,
                                  ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, WIDTH, HEIGHT, NULL, NULL, NULL,
                                  NULL);
    zarAllocateImage(source, 1, 200);
    tiled = zarCreateImageHeader(1, 0, ZAR_DEPTH_8U, "GRAY", "GRAY", ZAR_DATA_ORDER_PIXEL,
                                 ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, WIDTH, HEIGHT, NULL, mask, NULL,
                                 &tileInfo);
    memset(tiles, 10, sizeof tiles);

    zarCopy(source, tiled);

    for (y = 0; y < HEIGHT; ++y) {
        for (x = 0; x < WIDTH; ++x) {
            int inside = (x - 20) * (x - 20) + (y - 12) * (y - 12) < 81;
            unsigned char v = tiledPixel(x, y);
            changed += v == 200;
            wrong += v != (inside ? 200 : 10);
            putchar(v == 200 ? '#' : '.');
        }
        putchar('\n');
    }
    printf("%d pixels copied, %d wrong, %d tiles still held\n", changed, wrong, held);

    tiled->maskImage = NULL;
    zarDeallocate(tiled, ZAR_FREE_HEADER);
    zarDeallocate(source, ZAR_FREE_ALL);
    zarDeallocate(mask, ZAR_FREE_ALL);
    return wrong == 0 && held == 0 ? 0 : 1;
}
