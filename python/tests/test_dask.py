"""zar.dask: a chunked array's result equals one call on the whole array, pixel
for pixel, in one process and on a cluster of separate worker processes."""
import os
import pathlib
import zlib

import dask
import dask.array as da
import distributed
import numpy as np
import pytest

import zar
import zar.dask as zd

# name: (one call on the whole array, the same on a dask array)
OPS = {
    "blur": (lambda a, **k: zar.blur(a, (5, 4), (3, 1), **k),
             lambda x, **k: zd.blur(x, (5, 4), (3, 1), **k)),
    "gauss_5": (lambda a, **k: zar.fixed_filter(a, "gauss_5", **k),
                lambda x, **k: zd.fixed_filter(x, "gauss_5", **k)),
    "sobel_y": (lambda a, **k: zar.fixed_filter(a, "sobel_y", **k),
                lambda x, **k: zd.fixed_filter(x, "sobel_y", **k)),
    "dilate": (lambda a, **k: zar.dilate(a, 3, **k), lambda x, **k: zd.dilate(x, 3, **k)),
    "erode": (lambda a, **k: zar.erode(a, 2, **k), lambda x, **k: zd.erode(x, 2, **k)),
}
BORDERS = [None, "replicate", "reflect", "wrap", ("constant", 9),
           ("reflect", "replicate", ("constant", 4), "reflect")]


@pytest.mark.parametrize("border", BORDERS)
@pytest.mark.parametrize("name", OPS)
def test_blocks_equal_the_whole_array(name, border):
    whole, blockwise = OPS[name]
    rng = np.random.default_rng(zlib.crc32(f"{name} {border}".encode()))
    for shape in [(61, 70), (45, 38, 3)]:
        image = rng.integers(0, 65535, shape, dtype=np.uint16)
        chunks = tuple(int(c) for c in rng.integers(4, 25, 2)) + shape[2:]
        with dask.config.set(scheduler="synchronous"):
            result = blockwise(da.from_array(image, chunks=chunks), border=border).compute()
        assert np.array_equal(result, whole(image, border=border))


@pytest.mark.parametrize("k,ky,interpolation", [(2, 2, "nn"), (3, 2, "super"), (4, 5, "super"),
                                                (2, 3, "linear")])
def test_decimation_by_integers_is_blockwise(k, ky, interpolation):
    image = np.random.default_rng(k * ky).integers(0, 255, (83, 71, 3), dtype=np.uint8)
    with dask.config.set(scheduler="synchronous"):
        result = zd.decimate(da.from_array(image, chunks=(13, 17, 3)), k, ky,
                             interpolation=interpolation).compute()
    expected = zar.decimate(image, fx=(1, k), fy=(1, ky), interpolation=interpolation)
    assert np.array_equal(result, expected)


def test_wrap_on_some_sides_only_is_refused():
    with pytest.raises(ValueError):
        zd.blur(da.zeros((8, 8), np.uint8), (3, 3), border=("wrap", "wrap", "reflect", "reflect"))


@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # tornado's, inside distributed
def test_worker_processes_equal_one_call():
    # The workers are new interpreters: they find zar where this one did.
    package = str(pathlib.Path(zar.__file__).parents[1])
    os.environ["PYTHONPATH"] = os.pathsep.join([package, os.environ.get("PYTHONPATH", "")])
    image = np.random.default_rng(7).integers(0, 255, (700, 900), dtype=np.uint8)
    x = da.from_array(image, chunks=(180, 250))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            assert os.getpid() not in client.run(os.getpid).values()
            blurred, dilated = client.compute([zd.blur(x, (7, 5), border="reflect"),
                                               zd.dilate(x, 3, border="replicate")], sync=True)
    assert np.array_equal(blurred, zar.blur(image, (7, 5), border="reflect"))
    assert np.array_equal(dilated, zar.dilate(image, 3, border="replicate"))
