"""zar on dask arrays: images larger than one machine, one block at a time.

Neighbourhood operations (blur, fixed_filter, dilate, erode) run on every block
through dask.array.map_overlap with an overlap as deep as the kernel reaches.
Each block is processed as a zar image whose edges lie on the array's edges or
inside its neighbours' overlap; on the array's own edges zar's border rule
applies exactly as in one call on the whole array, so the result equals the
whole-array call pixel for pixel:

  * "constant", "replicate" and "reflect" need nothing more: a block that
    touches the array's edge holds that edge and as many pixels inward as the
    rule reads;
  * "wrap" reads the far side of the array: the array is first padded with its
    own far rows and columns (dask.array.pad, mode "wrap"), and a block's
    region leaves the pad out.  A corner takes the top or bottom side's rule, so
    "wrap" is taken only on all four sides together.

Of the geometry operations, decimate is blockwise exactly when its factors are
1/k (integers): destination pixel i reads source pixels from i*k on, so a block
of a multiple of k source pixels makes its own result ("nn", and "super", the
box mean; "linear" and "cubic" become "nn" at integral factors).  The others
are not:

  * zoom and resize (but for "super", which is decimation) place destination
    pixel i at (W_src - 1) / (W_dst - 1) * i: every position depends on the whole
    width, which a block does not know;
  * decimate by other factors walks positions by repeated single-precision
    additions from the region's start (and "nn" starts at 0.5), so a block cannot
    start where the whole-image walk is;
  * remap reads the source wherever its maps point: one destination block may
    need any source pixel.

A 3-D (H, W, C) array keeps its channels in one chunk.  coi= is passed to
every block; regions and masks are not taken here.
"""

import dask.array as da

import zar

_FIXED_REACH = {name: 2 if name.endswith("_5") else 1 for name in zar.FIXED_FILTERS}


def blur(x, ksize, anchor=None, *, border=None, coi=None):
    """zar.blur on every block; ksize=(width, height), anchor=(x, y) (the centre by default)."""
    width, height = ksize
    ax, ay = anchor if anchor is not None else (width // 2, height // 2)
    reach = (max(ay, height - 1 - ay), max(ax, width - 1 - ax))
    return _neighbourhood(x, reach, "blur", dict(ksize=(width, height), anchor=(ax, ay)),
                          border, coi)


def fixed_filter(x, name, *, border=None, coi=None):
    """zar.fixed_filter on every block."""
    reach = _FIXED_REACH[name] if isinstance(name, str) else 2
    return _neighbourhood(x, (reach, reach), "fixed_filter", dict(name=name), border, coi)


def dilate(x, iterations=1, *, border=None, coi=None):
    """zar.dilate on every block."""
    return _neighbourhood(x, (iterations, iterations), "dilate", dict(iterations=iterations),
                          border, coi)


def erode(x, iterations=1, *, border=None, coi=None):
    """zar.erode on every block."""
    return _neighbourhood(x, (iterations, iterations), "erode", dict(iterations=iterations),
                          border, coi)


def decimate(x, k, ky=None, *, interpolation="nn", coi=None):
    """zar.decimate by 1/k across and 1/ky down (ky defaults to k), integers.

    Chunks become multiples of the factors (the last one takes the rest); the
    result has floor(W / k) x floor(H / ky) pixels, as one call on the whole array.
    """
    ky = k if ky is None else ky
    if not (isinstance(k, int) and isinstance(ky, int) and k >= 1 and ky >= 1):
        raise ValueError("zar.dask.decimate takes integer factors: the result is 1/k of the size")
    # zar turns a source narrower or lower than 4 to "nn": every block is at least 4.
    x = x.rechunk({0: _multiples(x.chunks[0], ky), 1: _multiples(x.chunks[1], k)})
    chunks = (tuple(c // ky for c in x.chunks[0]), tuple(c // k for c in x.chunks[1])) + x.chunks[2:]
    return x.map_blocks(_decimate_block, k=k, ky=ky, interpolation=interpolation, coi=coi,
                        chunks=chunks, dtype=x.dtype)


def _multiples(chunks, k):
    size = max(chunks[0] // k * k, k * ((4 + k - 1) // k))
    total = sum(chunks)
    sizes = [size] * (total // size)
    rest = total - sum(sizes)
    if sizes and rest and rest < max(4, k):
        sizes[-1] += rest
    elif rest:
        sizes.append(rest)
    return tuple(sizes)


def _decimate_block(block, k, ky, interpolation, coi):
    import numpy as np

    height, width = block.shape[0] // ky, block.shape[1] // k
    if height == 0 or width == 0:
        return np.empty((height, width) + block.shape[2:], block.dtype)
    return zar.decimate(block, fx=(1, k), fy=(1, ky), interpolation=interpolation, coi=coi)


def _sides(border):
    if border is None or isinstance(border, str) or len(border) == 2:
        return [border or "constant"] * 4
    return list(border)


def _neighbourhood(x, reach, operation, arguments, border, coi):
    modes = [side if isinstance(side, str) else side[0] for side in _sides(border)]
    wrap = modes.count("wrap")
    if wrap not in (0, 4):
        raise ValueError("zar.dask takes 'wrap' on all four sides or on none")
    if x.ndim == 3:
        x = x.rechunk({2: -1})
    extra = [(0, 0)] * (x.ndim - 2)
    pad = reach if wrap else (0, 0)
    if wrap:
        # The pads join the edge blocks, whose regions leave them out.
        chunks = [_widen(x.chunks[axis], pad[axis]) for axis in (0, 1)]
        x = da.pad(x, [(pad[0], pad[0]), (pad[1], pad[1])] + extra, mode="wrap").rechunk(
            {0: chunks[0], 1: chunks[1]})
    depth = {0: reach[0], 1: reach[1], **({2: 0} if x.ndim == 3 else {})}
    # Where each block starts in the (padded) array, with its overlap.
    starts = [tuple(sum(c[:i]) - (reach[axis] if i else 0) for i in range(len(c)))
              for axis, c in enumerate(x.chunks[:2])]
    y = x.map_overlap(_block, depth=depth, boundary="none", dtype=x.dtype, operation=operation,
                      arguments=arguments, border=border, coi=coi, pad=pad, starts=starts,
                      size=x.shape[:2])
    if wrap:
        y = y[pad[0]:y.shape[0] - pad[0], pad[1]:y.shape[1] - pad[1]]
    return y


def _widen(chunks, pad):
    if len(chunks) == 1:
        return (chunks[0] + 2 * pad,)
    return (chunks[0] + pad,) + chunks[1:-1] + (chunks[-1] + pad,)


def _block(block, operation, arguments, border, coi, pad, starts, size, block_info=None):
    roi = None
    if pad != (0, 0):
        # The region is the block less the wrapped pad, wherever the pad lies in it.
        at = block_info[0]["chunk-location"]
        first = [max(pad[axis], starts[axis][at[axis]]) for axis in (0, 1)]
        last = [min(size[axis] - pad[axis], starts[axis][at[axis]] + block.shape[axis])
                for axis in (0, 1)]
        top, left = (first[axis] - starts[axis][at[axis]] for axis in (0, 1))
        roi = (left, top, last[1] - first[1], last[0] - first[0])
    return getattr(zar, operation)(block, **arguments, border=border, coi=coi, roi=roi)
