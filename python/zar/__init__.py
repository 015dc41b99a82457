"""zar on numpy arrays.

Images are 2-D (H, W) or 3-D (H, W, C) arrays of uint8, int8, uint16, int16,
int32 or float32.  An array whose rows the library can address (a row stride
that is a multiple of 4 bytes, pixels and channels packed) is used in place;
any other is copied first.  Results are new arrays whose rows are laid out as
the library lays out its own images (32-byte row strides), so passing a result
to the next call never copies.

Every operation takes the keywords
  roi=(x, y, w, h)  the region to work on (or one entry per image, the
                    destination last: sources in argument order);
  coi=k             the channel of interest, 1-based (or one entry per image);
  mask=m            a bool or 0/1 uint8 (H, W) array over the destination:
                    only pixels where it is set change;
  border=...        how the sources continue past their edges: "constant"
                    (0, the default), "replicate", "reflect", "wrap",
                    ("constant", value), or a tuple (top, bottom, left, right)
                    of these;
  out=array         the destination, written in place (its pixels outside the
                    region, channel or mask keep their values).
Without out, the pixels a call does not write (outside the region, other
channels, under a clear mask) read as the source.

Failures raise ZarError with the library's report.  Calls release the GIL.
"""

from ._error import ZarError
from ._zar import (add, bitwise_and, bitwise_or, bitwise_xor, blur, copy, decimate,
                   dilate, erode, fixed_filter, from_bmp, remap, resize, set, zoom)

FIXED_FILTERS = ("prewitt_x", "prewitt_y", "sobel_x", "sobel_y", "laplace_3", "laplace_5",
                 "gauss_3", "gauss_5", "highpass_3", "highpass_5", "sharpen_3")

__all__ = ["ZarError", "FIXED_FILTERS", "add", "bitwise_and", "bitwise_or", "bitwise_xor",
           "blur", "copy", "decimate", "dilate", "erode", "fixed_filter", "from_bmp", "remap",
           "resize", "set", "to_bmp", "zoom"]


def to_bmp(image):
    """The bytes of an uncompressed .bmp file holding image.

    uint8 (H, W) is written as 8-bit gray (identity palette), (H, W, 3) as
    24-bit and (H, W, 4) as 32-bit, channels blue first as zar.from_bmp gives
    them; a bool (H, W) array as a 1-bit black-and-white bitmap.
    """
    import struct
    import numpy as np

    a = np.asarray(image)
    channels = a.shape[2] if a.ndim == 3 else 1
    if a.dtype == np.bool_ and a.ndim == 2:
        bits, palette = 1, bytes([0, 0, 0, 0, 255, 255, 255, 0])
        rows = np.packbits(a, axis=1)
    elif a.dtype == np.uint8 and channels in (1, 3, 4):
        bits = 8 * channels
        palette = bytes(v for i in range(256) for v in (i, i, i, 0)) if channels == 1 else b""
        rows = a.reshape(a.shape[0], -1)
    else:
        raise TypeError("to_bmp writes bool (H, W) or uint8 (H, W), (H, W, 3), (H, W, 4) arrays")
    height, width = a.shape[:2]
    stride = (width * bits + 31) // 32 * 4
    body = np.zeros((height, stride), np.uint8)
    body[:, :rows.shape[1]] = rows[::-1]  # bottom line first
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + body.size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, body.size, 2835, 2835,
                       len(palette) // 4, 0)
    return header + info + palette + body.tobytes()
