"""The library called directly through ctypes: an independent route to the
results the binding must give (headers made by the library itself with another
row alignment, pixels copied in and out row by row, masks packed by numpy)."""
import ctypes
import os
import pathlib

import numpy as np

import zar

I32, PTR = ctypes.c_int32, ctypes.c_void_p
DEPTHS = {np.uint8: 8, np.int8: -0x7FFFFFF8, np.uint16: 16, np.int16: -0x7FFFFFF0,
          np.int32: -0x7FFFFFE0, np.float32: 32}
MODES = {"constant": 0, "replicate": 1, "reflect": 2, "wrap": 3}


class Roi(ctypes.Structure):
    _fields_ = [(name, I32) for name in ("coi", "xOffset", "yOffset", "width", "height")]


class Header(ctypes.Structure):
    pass


Header._fields_ = ([(n, I32) for n in ("headerSize", "headerId", "nChannels", "alphaChannel",
                                       "depth")] +
                   [("colorModel", ctypes.c_char * 4), ("channelSeq", ctypes.c_char * 4)] +
                   [(n, I32) for n in ("dataOrder", "origin", "align", "width", "height")] +
                   [("roi", ctypes.POINTER(Roi)), ("maskImage", ctypes.POINTER(Header)),
                    ("imageTag", PTR), ("tileInfo", PTR), ("imageSize", I32),
                    ("imageData", PTR), ("widthStep", I32), ("borderModes", I32 * 4),
                    ("borderValues", I32 * 4), ("imageDataBlock", PTR)])

_path = os.environ.get("ZAR_LIBRARY") or pathlib.Path(zar.__file__).parents[2] / "libzar.so"
lib = ctypes.CDLL(str(_path))
lib.zarCreateImageHeader.restype = ctypes.POINTER(Header)
lib.zarCreateImageHeader.argtypes = [I32] * 3 + [ctypes.c_char_p] * 2 + [I32] * 5 + [PTR] * 4
for _name in ("zarDecimate", "zarZoom", "zarResize"):
    getattr(lib, _name).argtypes = [PTR, PTR] + [I32] * 5
lib.zarSetFP.argtypes = [PTR, ctypes.c_float]
lib.zarSetErrorMode(1)  # the library reports and returns: a failure fails the test


def pixels(header, array):
    """A numpy view of a library image's pixels."""
    h = header.contents
    channels = h.nChannels
    strides = (h.widthStep, channels * array.itemsize, array.itemsize)[:array.ndim]
    buffer = (ctypes.c_char * h.imageSize).from_address(h.imageData)
    return np.ndarray(array.shape, array.dtype, buffer, strides=strides)


def c_image(array, keep, roi=None, coi=0, border=None):
    """A library-made image holding a copy of array, with its region and border."""
    channels = array.shape[2] if array.ndim == 3 else 1
    depth = 1 if array.dtype == np.bool_ else DEPTHS[array.dtype.type]
    header = lib.zarCreateImageHeader(channels, 0, depth, b"GRAY", b"G", 0, 0, 8,
                                      array.shape[1], array.shape[0], None, None, None, None)
    (lib.zarAllocateImageFP if depth == 32 else lib.zarAllocateImage)(header, 0, 0)
    if depth == 1:
        packed = np.packbits(array, axis=1)
        pixels(header, packed)[...] = packed
    else:
        pixels(header, array)[...] = array
    if roi is not None or coi:
        region = Roi(coi, *(roi or (0, 0, array.shape[1], array.shape[0])))
        keep.append(region)
        header.contents.roi = ctypes.pointer(region)
    for side, rule in enumerate(border or ()):
        mode, value = (rule, 0) if isinstance(rule, str) else rule
        header.contents.borderModes[side] = MODES[mode]
        header.contents.borderValues[side] = value
    keep.append(header)
    return header


def reference(call, sources, out, roi=None, coi=0, mask=None, border=None, same_size=True,
              native_mask=True):
    """out after call(lib, source headers, destination header) on library images.

    A single roi reaches every image of a same-size operation and only the first
    source of the others; coi reaches the first source and the destination
    (every image of a same-size operation).
    """
    keep = []
    heads = [c_image(s, keep, roi if same_size or i == 0 else None,
                     coi if same_size or i == 0 else 0, border) for i, s in enumerate(sources)]
    dst = c_image(out, keep, roi if same_size else None, coi)
    if mask is not None and native_mask:
        m = c_image(mask.astype(bool), keep, roi if same_size else None)
        dst.contents.maskImage = m
    lib.zarSetStatus(0)
    call(lib, heads, dst)
    assert lib.zarGetStatus() == 0
    result = pixels(dst, out).copy()
    for header in keep:
        if isinstance(header, ctypes.POINTER(Header)):
            lib.zarDeallocate(header, 2 | 1)
    if mask is not None and not native_mask:
        result = np.where(mask[:, :, None] if out.ndim == 3 else mask, result, out)
    return result
