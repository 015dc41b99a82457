#!/bin/sh
# Rebuilds the sample bitmaps and the pixels ImageMagick decodes from them.
# Needs ImageMagick 6 (`convert`, Debian package imagemagick) and python3.
# Every NAME.bmp gets NAME.rgba: ImageMagick's decoding of that very file as
# raw RGBA, 16 bits a sample, most significant byte first, rows top to bottom.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tool="python3 bmptool.py"

$tool source bilevel 13 7 1 "$tmp/bilevel.pgm"
$tool source colors2 11 5 2 "$tmp/two.ppm"
$tool source gray16 9 6 3 "$tmp/gray16.pgm"
$tool source colors12 7 5 4 "$tmp/twelve.ppm"
$tool source gray256 17 16 5 "$tmp/gray256.pgm"
$tool source colors40 15 6 6 "$tmp/forty.ppm"
$tool source colors500 7 5 7 "$tmp/many.ppm"
$tool source colors300 9 5 8 "$tmp/many9.ppm"
$tool source gray256 16 16 5 "$tmp/gray256w16.pgm"
$tool source colors40 16 6 6 "$tmp/forty16.ppm"

# Written by ImageMagick as they are (BMP3: the 40-byte BITMAPINFOHEADER).
convert "$tmp/bilevel.pgm" -type Bilevel BMP3:bits1_gray.bmp
convert "$tmp/two.ppm" -type Palette BMP3:bits1_color.bmp
convert "$tmp/gray16.pgm" -type Palette BMP3:bits4_gray.bmp
convert "$tmp/twelve.ppm" -type Palette BMP3:bits4_color.bmp
convert "$tmp/gray256.pgm" -type Palette -compress None BMP3:bits8_gray.bmp
convert "$tmp/forty.ppm" -type Palette -compress None BMP3:bits8_color.bmp
# ImageMagick's BI_RLE8 coder codes each row's padding bytes as pixels, which
# the run-length rules refuse (a run past biWidth): the widths that need no
# padding give valid streams; the odd one is kept to check the refusal.
convert "$tmp/gray256w16.pgm" -type Palette -compress RLE BMP3:rle8_gray.bmp
convert "$tmp/forty16.ppm" -type Palette -compress RLE BMP3:rle8_color.bmp
convert "$tmp/forty.ppm" -type Palette -compress RLE BMP3:rle8_color_padded.bmp
convert "$tmp/many.ppm" -type TrueColor BMP3:bits24.bmp
convert "$tmp/many9.ppm" -alpha set -channel A -fx 'rand()' +channel -seed 9 \
    -define bmp3:alpha=true BMP3:bits32.bmp

# ImageMagick writes 16-bit and 32-bit bit fields behind a 124-byte header;
# bmptool.py moves them behind a 40-byte one (masks and bits unchanged).
convert "$tmp/many9.ppm" -define bmp:subtype=RGB555 BMP:"$tmp/s555.bmp"
convert "$tmp/many9.ppm" -define bmp:subtype=RGB565 BMP:"$tmp/s565.bmp"
convert "$tmp/many9.ppm" -alpha set -define bmp:subtype=ARGB8888 BMP:"$tmp/s32.bmp"
$tool repack40 "$tmp/s555.bmp" bits16_555.bmp 0
$tool repack40 "$tmp/s565.bmp" bits16_565.bmp 3
$tool repack40 "$tmp/s32.bmp" bits32_fields.bmp 3

# ImageMagick writes neither top-down rows nor BI_RLE4: bmptool.py reorders
# the rows of its files, and codes the 4-bit one's indices as BI_RLE4.
$tool flip bits1_gray.bmp bits1_gray_topdown.bmp
$tool flip bits4_color.bmp bits4_color_topdown.bmp
$tool flip bits8_color.bmp bits8_color_topdown.bmp
$tool flip bits24.bmp bits24_topdown.bmp
$tool flip bits32.bmp bits32_topdown.bmp
$tool rle4 bits4_color.bmp rle4_color.bmp
$tool rle4 bits4_gray.bmp rle4_gray.bmp

for f in *.bmp; do
    convert "$f" -depth 16 -endian MSB "RGBA:${f%.bmp}.rgba"
done
