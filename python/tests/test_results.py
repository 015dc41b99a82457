"""Every operation through the binding equals the library called directly
(conftest.reference), on random images of every type it takes, with regions,
channels of interest, masks, border rules, and arrays used in place or copied."""
import zlib

import numpy as np
import pytest

import zar
from conftest import reference

INTEGERS = [np.uint8, np.int8, np.uint16, np.int16, np.int32]
ALL = INTEGERS + [np.float32]
UNSIGNED = [np.uint8, np.uint16]
INTER = ["nn", "linear", "cubic", "super"]
VARIANTS = range(5)


# name: (types, sources, zar call, library call, same size, library takes the mask)
OPS = {
    "set": (ALL, 1, lambda s, v, **k: zar.set(s[0], 77 if s[0].dtype.kind != "f" else 7.5, **k),
            lambda L, s, d, v: L.zarSetFP(d, 7.5) if d.contents.depth == 32 else L.zarSet(d, 77),
            True, True),
    "copy": (ALL, 1, lambda s, v, **k: zar.copy(s[0], **k),
             lambda L, s, d, v: L.zarCopy(s[0], d), True, True),
    "add": (ALL, 2, lambda s, v, **k: zar.add(*s, **k),
            lambda L, s, d, v: L.zarAdd(s[0], s[1], d), True, True),
    "or": (INTEGERS, 2, lambda s, v, **k: zar.bitwise_or(*s, **k),
           lambda L, s, d, v: L.zarOr(s[0], s[1], d), True, True),
    "and": (INTEGERS, 2, lambda s, v, **k: zar.bitwise_and(*s, **k),
            lambda L, s, d, v: L.zarAnd(s[0], s[1], d), True, True),
    "xor": (INTEGERS, 1, lambda s, v, **k: zar.bitwise_xor(s[0], 0x5A5A, **k),
            lambda L, s, d, v: L.zarXorS(s[0], d, 0x5A5A), True, True),
    "blur": (ALL, 1, lambda s, v, **k: zar.blur(s[0], (5, 3), (1, 2), **k),
             lambda L, s, d, v: L.zarBlur(s[0], d, 5, 3, 1, 2), True, True),
    "dilate": (UNSIGNED, 1, lambda s, v, **k: zar.dilate(s[0], 2, **k),
               lambda L, s, d, v: L.zarDilate(s[0], d, 2), True, True),
    "erode": (UNSIGNED, 1, lambda s, v, **k: zar.erode(s[0], 1, **k),
              lambda L, s, d, v: L.zarErode(s[0], d, 1), True, True),
    "decimate": (UNSIGNED, 1,
                 lambda s, v, **k: zar.decimate(s[0], fx=(2, 3), fy=(1, 2),
                                                interpolation=INTER[v % 4], **k),
                 lambda L, s, d, v: L.zarDecimate(s[0], d, 2, 3, 1, 2, v % 4), False, False),
    "zoom": (UNSIGNED, 1,
             lambda s, v, **k: zar.zoom(s[0], fx=(3, 2), fy=2, interpolation=INTER[v % 3], **k),
             lambda L, s, d, v: L.zarZoom(s[0], d, 3, 2, 2, 1, v % 3), False, True),
    "resize": (UNSIGNED, 1,
               lambda s, v, **k: zar.resize(s[0], fx=(3, 5), fy=(5, 4), interpolation=INTER[v % 3],
                                            **k),
               lambda L, s, d, v: L.zarResize(s[0], d, 3, 5, 5, 4, v % 3), False, True),
    "remap": (UNSIGNED, 3,
              lambda s, v, **k: zar.remap(s[0], s[1], s[2], interpolation=INTER[v % 3], **k),
              lambda L, s, d, v: L.zarRemap(s[0], s[1], s[2], d, v % 3), False, False),
}
CASES = [(name, t, v) for name, spec in OPS.items() for t in spec[0] for v in VARIANTS]
CASES += [("fixed_" + f, t, v) for i, f in enumerate(zar.FIXED_FILTERS) for t in ALL
          for v in VARIANTS if (v + i) % 3 == 0]


def random_image(rng, dtype, shape):
    if dtype == np.float32:
        return (rng.standard_normal(shape) * 100).astype(np.float32)
    info = np.iinfo(dtype)
    return rng.integers(info.min, info.max, shape, dtype=dtype, endpoint=True)


def in_parent(rng, array, offset):
    """array as a view into a wider parent (row padding that holds other pixels)."""
    parent = random_image(rng, array.dtype, (array.shape[0], array.shape[1] + 5) + array.shape[2:])
    view = parent[:, offset:offset + array.shape[1]]
    view[...] = array
    return parent, view


def spec_of(name):
    if name.startswith("fixed_"):
        f = name[6:]
        return (ALL, 1, lambda s, v, **k: zar.fixed_filter(s[0], f, **k),
                lambda L, s, d, v: L.zarFixedFilter(s[0], d, zar.FIXED_FILTERS.index(f)), True, True)
    return OPS[name]


@pytest.mark.parametrize("name,dtype,variant", CASES)
def test_equals_library(name, dtype, variant):
    _, count, call, c_call, same_size, native_mask = spec_of(name)
    rng = np.random.default_rng(zlib.crc32(f"{name} {variant}".encode()))
    height, width = (int(v) for v in rng.integers(9, 40, 2))
    channels = (1, 3, 1, 4, 3)[variant]
    shape = (height, width) if channels == 1 else (height, width, channels)
    sources = [random_image(rng, dtype, shape) for _ in range(count)]
    if name == "remap":
        sources[1:] = [(rng.random((height + 3, width - 2)) * (n + 4) - 2).astype(np.float32)
                       for n in (width, height)]
    if variant >= 2:  # sources as views with foreign row padding (in place or copied)
        sources = [in_parent(rng, s, variant)[1] for s in sources]
    x, y = (int(v) for v in rng.integers(0, 6, 2))
    options = {}
    if variant in (1, 2, 4):
        options["roi"] = (x, y, int(rng.integers(3, width - x)), int(rng.integers(3, height - y)))
    if variant in (1, 4):
        options["coi"] = int(rng.integers(1, channels + 1))
    if variant in (3, 4):
        rules = ["constant", "replicate", "reflect", "wrap", ("constant", 3)]
        options["border"] = tuple(rules[i] for i in rng.integers(0, 5, 4))
    fresh = call(sources, variant, **options)
    if variant in (2, 4):
        options["mask"] = rng.integers(0, 2, fresh.shape[:2], dtype=np.uint8)
        fresh = call(sources, variant, **options)
    # out=: a new random image, or a view whose parent's other pixels must stay
    parent, out = in_parent(rng, random_image(rng, dtype, fresh.shape), variant % 3)
    before = parent.copy()
    result = call(sources, variant, out=out, **options)
    assert result is out
    kwargs = dict(same_size=same_size, native_mask=native_mask, **options)
    expected = reference(lambda L, s, d: c_call(L, s, d, variant), sources,
                         before[:, variant % 3:variant % 3 + out.shape[1]], **kwargs)
    assert np.array_equal(out, expected)
    outside = np.ones(parent.shape[:2], bool)
    outside[:, variant % 3:variant % 3 + out.shape[1]] = False
    assert np.array_equal(parent[outside], before[outside])
    # A new result starts as the source (same size) or zeros, where the call does not write.
    start = sources[0].copy() if same_size else np.zeros_like(fresh)
    assert np.array_equal(fresh, reference(lambda L, s, d: c_call(L, s, d, variant),
                                           sources, start, **kwargs))
