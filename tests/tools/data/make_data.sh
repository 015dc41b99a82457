#!/usr/bin/env bash
# Rebuilds the files that other programs write, each NAME.EXT with NAME.rgba
# beside it: the pixels ImageMagick decodes from it, raw RGBA, 16 bits a sample,
# most significant byte first, rows from the picture's top line.
# Needs ImageMagick 6 (Debian package imagemagick).
set -euo pipefail
cd "$(dirname "$0")"
picture() { convert -seed "$1" -size 16x12 plasma:"$2" "${@:3}"; }
picture 3 red-blue im_default.bmp                         # BITMAPV5HEADER, 24 bits
picture 4 green-yellow -alpha set -channel A -fx "(i+j)/26" +channel im_alpha.bmp  # 32, alpha
picture 5 red-green -colors 12 PNG8:palette.png           # a palette
picture 6 blue-white -colorspace gray -depth 16 -evaluate multiply 0.997 PNG:gray16.png
picture 7 white-black -alpha set -channel A -fx "j/11" +channel -colorspace gray -depth 8 PNG:ga.png
picture 8 yellow-blue -depth 16 -evaluate multiply 0.998 PNG64:rgba16.png
picture 9 gray-black -colorspace gray -depth 8 -compress none ascii.pgm  # P2
picture 10 red-cyan -depth 16 -evaluate multiply 0.999 -compress none ascii16.ppm  # P3
picture 11 white-black -threshold 50% -compress none bilevel.pbm   # P1
picture 15 red-white -colorspace gray -depth 16 -evaluate multiply 0.996 binary16.pgm  # P5
picture 16 cyan-black -depth 8 binary.ppm                # P6
picture 12 green-red -depth 8 -define tiff:tile-geometry=8x8 tiled.tif
picture 13 blue-red -interlace plane planar.tif
picture 14 gray-white -colorspace gray -depth 16 -define quantum:polarity=min-is-white white.tif
for file in *.bmp *.png *.pgm *.ppm *.pbm *.tif; do
  convert "$file" -depth 16 -endian MSB RGBA:"${file%.*}.rgba"
done
