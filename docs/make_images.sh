#!/usr/bin/env bash
# Makes the guide's before/after pictures by running the zar tool on a picture
# from data/.  Usage: make_images.sh TOOL PICTURE OUTDIR
set -euo pipefail
tool=$1
picture=$2
out=$3
mkdir -p "$out"

run() {  # run OUTPUT ARGS... : zar ARGS... sample.bmp OUTDIR/OUTPUT
    local output=$1
    shift
    "$tool" "$@" "$out/sample.bmp" "$out/$output"
}

"$tool" convert "$picture" "$out/sample.bmp"

# Coordinates: the tool's --roi counts rows from the top of the picture.
run roi-top.bmp set --value 255 --roi 0,0,96,32

# Borders: a wide box blur shows what each mode puts beyond the edges.
for mode in constant replicate reflect wrap; do
    run "border-$mode.bmp" blur --size 31x31 --border "$mode"
done

# Every operation of the tool.
run set.bmp set --value 200 --roi 16,16,64,48 --coi 2
run copy.bmp copy --roi 64,48,128,96
"$tool" add "$out/sample.bmp" "$out/sample.bmp" "$out/add.bmp"
run blur.bmp blur --size 5x5 --border replicate
for kernel in prewitt-x prewitt-y sobel-x sobel-y laplace-3 laplace-5 gauss-3 gauss-5 \
              highpass-3 highpass-5 sharpen-3; do
    run "filter-$kernel.bmp" filter --kernel "$kernel" --border replicate
done
run dilate.bmp dilate --iterations 2 --border replicate
run erode.bmp erode --iterations 2 --border replicate
run erode-default-border.bmp erode --iterations 2
for interp in nn linear cubic super; do
    run "decimate-$interp.bmp" decimate --scale 1/3 --interp "$interp"
done
run zoom-before.bmp copy --roi 104,64,48,36
for interp in nn linear cubic; do
    run "zoom-$interp.bmp" zoom --roi 104,64,48,36 --scale 4 --interp "$interp"
done
run resize-super.bmp resize --scale 1/2 --interp super
run resize-wide.bmp resize --size 384x96 --interp linear
run remap-rotate-30.bmp remap --rotate 30 --interp linear
run remap-rotate-90.bmp remap --rotate 90 --interp nn
