#!/usr/bin/env python3
"""Small helpers for make_data.sh: source pictures, and byte-level rewrites of
BMP files that ImageMagick wrote (it writes no top-down rows, no BI_RLE4 and
16/32-bit bit fields only behind a 124-byte header).  The rewrites move bytes
around; the pixels the tests expect always come from ImageMagick decoding the
final file."""
import random
import struct
import sys


def source(kind, width, height, seed, path):
    """A deterministic PPM/PGM picture for ImageMagick to encode."""
    rng = random.Random(seed)
    if kind == "bilevel":
        px = bytes(rng.choice((0, 255)) for _ in range(width * height))
        head = b"P5 %d %d 255\n" % (width, height)
    elif kind == "gray16":  # the 16 levels of a 4-bit gray ramp
        px = bytes(17 * rng.randrange(16) for _ in range(width * height))
        head = b"P5 %d %d 255\n" % (width, height)
    elif kind == "gray256":  # every level at least once
        px = bytes((i * 37) % 256 for i in range(width * height))
        head = b"P5 %d %d 255\n" % (width, height)
    else:  # "colorsN": N random colours, repeated in short runs
        n = int(kind[len("colors"):])
        colors = [bytes(rng.randrange(256) for _ in range(3)) for _ in range(n)]
        out = []
        while len(out) < width * height:
            out.extend([rng.choice(colors)] * rng.choice((1, 1, 2, 3, 5)))
        px = b"".join(out[: width * height])
        head = b"P6 %d %d 255\n" % (width, height)
    with open(path, "wb") as f:
        f.write(head + px)


def read(path):
    data = bytearray(open(path, "rb").read())
    off = struct.unpack_from("<I", data, 10)[0]
    size, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", data, 14)
    return data, off, size, w, h, bpp, comp


def row_size(w, bpp):
    return (w * bpp + 31) // 32 * 4


def file_header(total, off):
    return b"BM" + struct.pack("<IHHI", total, 0, 0, off)


def flip(src, dst):
    """Top-down copy: negative biHeight, rows in the opposite order."""
    data, off, size, w, h, bpp, comp = read(src)
    assert comp in (0, 3) and h > 0
    rs = row_size(w, bpp)
    rows = [data[off + r * rs: off + (r + 1) * rs] for r in range(h)]
    data[off:off + h * rs] = b"".join(reversed(rows))
    struct.pack_into("<i", data, 22, -h)
    open(dst, "wb").write(data)


def repack40(src, dst, compression):
    """A 124-byte-header 16/32-bit file rewritten with a 40-byte header: its
    three colour masks behind the header (compression 3) or none (0)."""
    data, off, size, w, h, bpp, comp = read(src)
    assert size == 124 and comp == 3
    masks = data[14 + 40: 14 + 52]
    info = bytearray(data[14:14 + 40])
    struct.pack_into("<I", info, 0, 40)
    struct.pack_into("<I", info, 16, compression)
    extra = masks if compression == 3 else b""
    bits = data[off:off + row_size(w, bpp) * h]
    new_off = 14 + 40 + len(extra)
    body = bytes(info) + extra + bits
    open(dst, "wb").write(file_header(14 + len(body), new_off) + body)


def rle4(src, dst):
    """BI_RLE4 coding of a 4-bit BI_RGB file: encoded runs where pixels
    repeat, absolute runs (padded to 16 bits) elsewhere, an end of line after
    every row but the last, which ends with the end of bitmap."""
    data, off, size, w, h, bpp, comp = read(src)
    assert bpp == 4 and comp == 0 and h > 0
    rs = row_size(w, 4)
    colors = struct.unpack_from("<I", data, 14 + 32)[0] or 16
    out = bytearray()
    for r in range(h):
        row = data[off + r * rs: off + (r + 1) * rs]
        px = [(row[x // 2] >> (4 if x % 2 == 0 else 0)) & 15 for x in range(w)]
        x = 0
        while x < w:
            n = 1
            while x + n < w and n < 255 and px[x + n] == px[x]:
                n += 1
            if n >= 2 or w - x < 3:
                n = min(n, w - x)
                out += bytes((n, px[x] << 4 | px[x]))
            else:
                n = 3
                while x + n < w and n < 255 and px[x + n] != px[x + n - 1]:
                    n += 1
                packed = bytearray()
                for k in range(0, n, 2):
                    hi = px[x + k]
                    lo = px[x + k + 1] if k + 1 < n else 0
                    packed.append(hi << 4 | lo)
                if len(packed) % 2:
                    packed.append(0)
                out += bytes((0, n)) + packed
            x += n
        out += bytes((0, 1)) if r == h - 1 else bytes((0, 0))
    info = bytearray(data[14:14 + 40])
    struct.pack_into("<I", info, 16, 2)
    struct.pack_into("<I", info, 20, len(out))
    table = data[14 + 40: 14 + 40 + 4 * colors]
    body = bytes(info) + table + bytes(out)
    open(dst, "wb").write(file_header(14 + len(body), 14 + 40 + len(table)) + body)


if __name__ == "__main__":
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "source":
        source(args[0], int(args[1]), int(args[2]), int(args[3]), args[4])
    elif cmd == "flip":
        flip(*args)
    elif cmd == "repack40":
        repack40(args[0], args[1], int(args[2]))
    elif cmd == "rle4":
        rle4(*args)
    else:
        sys.exit("unknown command " + cmd)
