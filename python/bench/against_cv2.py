"""zar from Python against cv2 from Python, one row per operation family, and
what the Python layer adds to each call.

Images are 1920x1080, 3 channels of uint8.  Each side writes into a result
array made beforehand (zar's out=, cv2's dst=), so no row times an allocation;
OpenCV runs on one thread, as zar does.  For every row:

  zar py   median time of the zar call made from Python;
  zar C    median time of the bare library call on the same headers, timed in
           C++ around that call alone (zar._zar._c_call_seconds);
  cv2      median time of OpenCV's nearest call from Python;
  layer    what the Python layer adds to a call (argument parsing, the
           headers, the result array, releasing and taking back the GIL): on a
           24x24 image, the median time of the call from Python less the median
           time of the library call inside it, timed in the same calls.  (The
           library call alone in a tight C++ loop is faster than the same call
           between Python statements, with its caches and vector units warm;
           "hot" gives zar py - zar C with that loop, an upper bound.)

Usage: against_cv2.py [seconds per measurement]
"""
import statistics
import sys
import time

import cv2
import numpy as np

import zar
from zar._zar import _c_call_seconds


def python_seconds(call, budget):
    """Median seconds per call, from batches of about a millisecond."""
    call()
    start = time.perf_counter()
    call()
    one = time.perf_counter() - start
    batch = max(1, int(0.001 / max(one, 1e-7)))
    samples, end = [], time.perf_counter() + budget
    while time.perf_counter() < end or len(samples) < 5:
        start = time.perf_counter()
        for _ in range(batch):
            call()
        samples.append((time.perf_counter() - start) / batch)
    return statistics.median(samples)


def c_seconds(function, args, kwargs, budget, one):
    """Median seconds of the bare library call, repeated in a C++ loop."""
    repeat = int(min(100000, max(5, budget / max(one, 1e-7))))
    return _c_call_seconds(repeat, function, *args, **kwargs)


def layer_seconds(function, args, kwargs, budget):
    """Median time of the whole call less median time of the library call within it."""
    whole = python_seconds(lambda: function(*args, **kwargs), budget)
    inner, end = [], time.perf_counter() + budget
    while time.perf_counter() < end or len(inner) < 5:
        inner.append(_c_call_seconds(1, function, *args, **kwargs))
    hot = whole - c_seconds(function, args, kwargs, budget, whole)
    return whole - statistics.median(inner), hot


def cases(width, height):
    rng = np.random.default_rng(1)
    a = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
    b = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
    same = np.empty_like(a)
    half = np.empty((height // 2, width // 2, 3), np.uint8)
    double = np.empty((height * 2, width * 2, 3), np.uint8)
    third = np.empty((height * 2 // 3, width * 2 // 3, 3), np.uint8)
    xmap = np.tile(np.arange(width, dtype=np.float32) * 0.9 + 3.3, (height, 1))
    ymap = np.tile(np.arange(height, dtype=np.float32)[:, None] * 0.9 + 2.7, (1, width))
    square = np.ones((3, 3), np.uint8)
    bmp = zar.to_bmp(a)
    rep = dict(border="replicate")
    # family: (zar function, args, kwargs, cv2 call, cv2's call)
    return [
        ("set", zar.set, (a, 77), dict(out=same), lambda: same.fill(77), "ndarray.fill"),
        ("copy", zar.copy, (a,), dict(out=same), lambda: cv2.copyTo(a, None, same), "copyTo"),
        ("add", zar.add, (a, b), dict(out=same), lambda: cv2.add(a, b, dst=same), "add"),
        ("or / and", zar.bitwise_or, (a, b), dict(out=same),
         lambda: cv2.bitwise_or(a, b, dst=same), "bitwise_or"),
        ("xor value", zar.bitwise_xor, (a, 90), dict(out=same),
         lambda: cv2.bitwise_xor(a, (90, 90, 90, 0), dst=same), "bitwise_xor"),
        ("blur 5x5", zar.blur, (a, (5, 5)), dict(out=same, **rep),
         lambda: cv2.blur(a, (5, 5), dst=same, borderType=cv2.BORDER_REPLICATE), "blur"),
        ("fixed gauss_3", zar.fixed_filter, (a, "gauss_3"), dict(out=same, **rep),
         lambda: cv2.GaussianBlur(a, (3, 3), 0, dst=same, borderType=cv2.BORDER_REPLICATE),
         "GaussianBlur 3x3"),
        ("fixed sobel_x", zar.fixed_filter, (a, "sobel_x"), dict(out=same, **rep),
         lambda: cv2.Sobel(a, -1, 1, 0, dst=same, ksize=3, borderType=cv2.BORDER_REPLICATE),
         "Sobel"),
        ("dilate / erode 3x3", zar.dilate, (a, 1), dict(out=same, **rep),
         lambda: cv2.dilate(a, square, dst=same, borderType=cv2.BORDER_REPLICATE), "dilate"),
        ("decimate 1/2 super", zar.decimate, (a,), dict(fx=(1, 2), interpolation="super", out=half),
         lambda: cv2.resize(a, half.shape[1::-1], dst=half, interpolation=cv2.INTER_AREA),
         "resize AREA"),
        ("zoom 2 linear", zar.zoom, (a,), dict(fx=2, out=double),
         lambda: cv2.resize(a, double.shape[1::-1], dst=double), "resize LINEAR"),
        ("resize 2/3 linear", zar.resize, (a,), dict(fx=(2, 3), out=third),
         lambda: cv2.resize(a, third.shape[1::-1], dst=third), "resize LINEAR"),
        ("remap linear", zar.remap, (a, xmap, ymap), dict(out=same),
         lambda: cv2.remap(a, xmap, ymap, cv2.INTER_LINEAR, dst=same), "remap LINEAR"),
        ("bitmap 24-bit", zar.from_bmp, (bmp,), {},
         lambda: cv2.imdecode(np.frombuffer(bmp, np.uint8), cv2.IMREAD_UNCHANGED), "imdecode"),
    ]


def main():
    budget = float(sys.argv[1]) if len(sys.argv) > 1 else 0.5
    cv2.setNumThreads(1)
    tiny = {row[0]: row for row in cases(24, 24)}
    print("| family | zar py ms | zar C ms | cv2 ms | zar/cv2 | layer us | hot us | cv2 call |")
    print("|---|---:|---:|---:|---:|---:|---:|---|")
    for family, function, args, kwargs, opencv, opencv_name in cases(1920, 1080):
        py = python_seconds(lambda: function(*args, **kwargs), budget)
        cv = python_seconds(opencv, budget)
        c = layer = hot = float("nan")
        if function is not zar.from_bmp:
            c = c_seconds(function, args, kwargs, budget, py)
            _, f, targs, tkwargs, _, _ = tiny[family]
            layer, hot = layer_seconds(f, targs, tkwargs, budget)
        print(f"| {family} | {py * 1e3:.3f} | {c * 1e3:.3f} | {cv * 1e3:.3f} | {py / cv:.3g} "
              f"| {layer * 1e6:.2f} | {hot * 1e6:.2f} | {opencv_name} |", flush=True)


if __name__ == "__main__":
    main()
