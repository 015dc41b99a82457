"""The binding itself: arrays used in place and results chained without copies,
reports raised as ZarError in any thread, the GIL released, bitmaps."""
import pathlib
import threading
import time

import numpy as np
import pytest

import zar
from zar._zar import _image_addresses

DATA = pathlib.Path(__file__).parents[2] / "tests" / "data"


def test_aligned_arrays_and_chained_results_are_not_copied():
    a = np.arange(64 * 96, dtype=np.uint16).reshape(64, 96)  # rows of 192 bytes
    blurred = zar.blur(a, (3, 3))
    assert _image_addresses() == [a.ctypes.data, blurred.ctypes.data]
    filtered = zar.fixed_filter(blurred, "gauss_3")
    assert _image_addresses() == [blurred.ctypes.data, filtered.ctypes.data]
    assert zar.add(filtered, blurred, out=filtered) is filtered
    assert _image_addresses() == [filtered.ctypes.data, blurred.ctypes.data, filtered.ctypes.data]
    # Rows of 95 bytes cannot be addressed in place: copied, and the result has 96-byte rows
    odd = np.ones((20, 95), np.uint8)
    padded = zar.blur(odd, (3, 3), border="replicate")
    assert _image_addresses()[0] != odd.ctypes.data
    assert padded.strides == (96, 1) and padded.ctypes.data % 64 == 0
    zar.bitwise_xor(padded, 1, out=padded)
    assert _image_addresses() == [padded.ctypes.data] * 2
    assert (padded == 0).all()


@pytest.mark.parametrize("call,report", [
    (lambda a: zar.blur(a, (3, 3), (3, 0)),
     (-5, "zarBlur", "(anchorX>=nCols||anchorY>=nRows)", "zarBlur")),
    (lambda a: zar.dilate(a.astype(np.int8)), (-5, "zarDilate", "Illegal image depth", "ownMorph")),
    (lambda a: zar.erode(a, 0), (-5, "zarErode", "Illegal number of of iterations", "ownMorph")),
    (lambda a: zar.bitwise_and(a.view(np.float32), a.view(np.float32)),
     (-5, "zarAnd", "This function does not support depth 32F", "zarand")),
    (lambda a: zar.zoom(a, fx=(1, 2)), (-5, "zarZoom", "xDst < xSrc || yDst < ySrc", "zarZoom")),
    (lambda a: zar.set(a.view(np.float32), 1, roi=(0, 0, 0, 4)),
     (-25, "zarSet", "Incorrect Image", "zarsce")),
    (lambda a: zar.from_bmp(b"BM" + bytes(20)),
     (-5, "zarTranslateDIBBlock", "Block too small for the file header and BITMAPINFOHEADER",
      "zarDIB")),
])
def test_reports_raise_zar_error(call, report):
    with pytest.raises(zar.ZarError) as caught:
        call(np.zeros((8, 16), np.uint8))
    error = caught.value
    assert (error.status, error.function, error.context, error.file) == report
    assert error.line > 0 and error.message and str(error).startswith(report[1])


@pytest.mark.parametrize("call,error", [
    (lambda: zar.blur(np.zeros((4, 4)), (3, 3)), TypeError),
    (lambda: zar.blur(np.zeros(4, np.uint8), (3, 3)), ValueError),
    (lambda: zar.blur(np.zeros((4, 4), np.uint8), (3, 3), out=np.zeros((4, 5), np.uint8)),
     ValueError),
    (lambda: zar.set(np.zeros((4, 4), np.uint8), 1, mask=np.zeros((4, 3), bool)), ValueError),
    (lambda: zar.blur(np.zeros((4, 4), np.uint8), (3, 3), border="mirror"), ValueError),
    (lambda: zar.fixed_filter(np.zeros((4, 4), np.uint8), "sobel"), ValueError),
])
def test_bad_arguments_raise_python_errors(call, error):
    with pytest.raises(error):
        call()


def test_each_thread_gets_reports_as_exceptions():
    # Without the binding's handler in the new thread, the library would end the process.
    caught = []

    def bad_call():
        try:
            zar.dilate(np.zeros((8, 8), np.float32))
        except zar.ZarError as error:
            caught.append(error.context)

    thread = threading.Thread(target=bad_call)
    thread.start()
    thread.join()
    assert caught == ["Illegal image depth"]


def test_calls_release_the_gil():
    image = np.random.default_rng(0).integers(0, 255, (4000, 4000), dtype=np.uint8)
    seconds = []

    def work():
        start = time.perf_counter()
        zar.dilate(image, 40)
        seconds.append(time.perf_counter() - start)

    thread = threading.Thread(target=work)
    thread.start()
    last, gap = time.perf_counter(), 0.0
    while thread.is_alive():
        now = time.perf_counter()
        gap, last = max(gap, now - last), now
    thread.join()
    # A call holding the GIL would stop this loop for as long as it ran.
    assert gap < seconds[0] / 2


@pytest.mark.parametrize("name", ["bits1_gray", "bits4_color_topdown", "bits8_gray",
                                  "rle8_color", "rle4_gray", "bits24", "bits32"])
def test_bitmaps_match_an_independent_decoder(name):
    image = zar.from_bmp((DATA / f"{name}.bmp").read_bytes())
    rgba = np.fromfile(DATA / f"{name}.rgba", ">u2").reshape(*image.shape[:2], 4) >> 8
    if image.ndim == 2:
        assert np.array_equal(image, rgba[..., 0] == 255 if image.dtype == bool else rgba[..., 0])
    else:
        assert np.array_equal(image[..., 2::-1], rgba[..., :3])  # blue first
        assert image.shape[2] == 3 or np.array_equal(image[..., 3], rgba[..., 3])


@pytest.mark.parametrize("shape,dtype", [((7, 13), bool), ((5, 9), np.uint8),
                                         ((6, 7, 3), np.uint8), ((3, 5, 4), np.uint8)])
def test_to_bmp_round_trip(shape, dtype):
    image = np.random.default_rng(1).integers(0, 256, shape).astype(dtype)
    assert np.array_equal(zar.from_bmp(zar.to_bmp(image)), image)
