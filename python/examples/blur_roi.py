"""Reads a .bmp file, blurs the middle of the picture, and saves the result.

Usage: blur_roi.py [input.bmp] [output]
The input defaults to the repository's data/sample.bmp.  The output is saved
through Pillow when it is installed (in any format Pillow knows, PNG by
default), otherwise as a .bmp written by zar.to_bmp.
"""
import pathlib
import sys

import numpy as np

import zar


def main():
    default = pathlib.Path(__file__).resolve().parents[2] / "data" / "sample.bmp"
    source = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default
    image = zar.from_bmp(source.read_bytes())  # top line first, channels blue first
    height, width = image.shape[:2]
    middle = (width // 4, height // 4, width // 2, height // 2)  # x, y, width, height
    blurred = zar.blur(image, (15, 15), roi=middle, border="replicate")
    try:
        from PIL import Image
    except ImportError:
        target = sys.argv[2] if len(sys.argv) > 2 else "blurred.bmp"
        pathlib.Path(target).write_bytes(zar.to_bmp(blurred))
    else:
        target = sys.argv[2] if len(sys.argv) > 2 else "blurred.png"
        rgb = blurred[..., 2::-1] if blurred.ndim == 3 else blurred  # Pillow wants red first
        Image.fromarray(np.ascontiguousarray(rgb)).save(target)
    print(f"{source}: {width} x {height}, blurred {middle} -> {target}")


if __name__ == "__main__":
    main()
