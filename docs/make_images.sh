#!/usr/bin/env bash
# Makes the guide's before/after pictures by running the zar tool on a picture
# from data/.  Usage: make_images.sh TOOL PICTURE OUTDIR
set -euo pipefail
tool=$1
picture=$2
out=$3
mkdir -p "$out"

run() {  # run OUTPUT ARGS... : zar ARGS... photo.png OUTDIR/OUTPUT
    local output=$1
    shift
    "$tool" "$@" "$out/photo.png" "$out/$output"
}

"$tool" convert "$picture" "$out/photo.png"

# Coordinates: the tool's --roi counts rows from the top of the picture.
run roi-top.png set --value 255 --roi 0,0,160,48

# Borders: a wide box blur shows what each mode puts beyond the edges.
for mode in constant replicate reflect wrap; do
    run "border-$mode.png" blur --size 31x31 --border "$mode"
done

# Every operation of the tool.
run set.png set --value 200 --roi 24,24,96,64 --coi 2
run copy.png copy --roi 120,40,240,180
"$tool" add "$out/photo.png" "$out/photo.png" "$out/add.png"
run blur.png blur --size 5x5 --border replicate
for kernel in prewitt-x prewitt-y sobel-x sobel-y laplace-3 laplace-5 gauss-3 gauss-5 \
              highpass-3 highpass-5 sharpen-3; do
    run "filter-$kernel.png" filter --kernel "$kernel" --border replicate
done
run dilate.png dilate --iterations 2 --border replicate
run erode.png erode --iterations 2 --border replicate
run erode-default-border.png erode --iterations 2
for interp in nn linear cubic super; do
    run "decimate-$interp.png" decimate --scale 1/3 --interp "$interp"
done
run zoom-before.png copy --roi 136,84,64,48
for interp in nn linear cubic; do
    run "zoom-$interp.png" zoom --roi 136,84,64,48 --scale 4 --interp "$interp"
done
run resize-super.png resize --scale 1/2 --interp super
run resize-wide.png resize --size 600x150 --interp linear
run remap-rotate-30.png remap --rotate 30 --interp linear
run remap-rotate-90.png remap --rotate 90 --interp nn
