#!/usr/bin/env python3
"""Writes the session fuzzer's seed inputs: one well-formed stream per message kind and encoding.
Layout of an input: options byte, width byte, height byte, then server messages (see
SessionReaderFuzz.cpp)."""
import os
import struct
import subprocess
import sys
import zlib

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "seeds")
os.makedirs(out, exist_ok=True)


def rect(x, y, w, h, enc):
    return struct.pack(">HHHHi", x, y, w, h, enc)


def update(*rects):
    return struct.pack(">BBH", 0, 0, len(rects)) + b"".join(rects)


def px(v, bpp):
    return v.to_bytes(bpp // 8, "little")


def compact(n):
    out = bytes([(n & 0x7F) | (0x80 if n > 0x7F else 0)])
    if n > 0x7F:
        out += bytes([((n >> 7) & 0x7F) | (0x80 if n > 0x3FFF else 0)])
        if n > 0x3FFF:
            out += bytes([n >> 14])
    return out


def jpeg(w, h):
    """A small JPEG from ImageMagick; none when it is not installed."""
    try:
        return subprocess.run(["convert", "-size", f"{w}x{h}", "gradient:red-blue", "-quality", "80", "jpg:-"],
                              check=True, capture_output=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None


def tight_rects(bpp):
    """Tight rectangles on all four streams: fill, copy (as it is and compressed), palettes of 2 and 3,
    gradient, a stream reset and JPEG. At 32 bits pixels take three bytes (the seed asks for depth 24)."""
    tp = (lambda v: v.to_bytes(3, "big")) if bpp == 32 else (lambda v: px(v & ((1 << bpp) - 1), bpp))
    zs = [zlib.compressobj() for _ in range(4)]

    def data(stream, raw):
        if len(raw) < 12:
            return raw
        packed = zs[stream].compress(raw) + zs[stream].flush(zlib.Z_SYNC_FLUSH)
        return compact(len(packed)) + packed
    rects = [rect(0, 0, 40, 30, 7) + bytes([0x80]) + tp(0x203040),
             rect(1, 1, 2, 1, 7) + bytes([0x00]) + tp(0x112233) + tp(0x445566),
             rect(0, 2, 20, 4, 7) + bytes([0x10]) + data(1, b"".join(tp(i * 0x010203) for i in range(80))),
             rect(0, 6, 13, 5, 7) + bytes([0x60, 1, 1]) + tp(0xFF) + tp(0xFFFFFF)
             + data(2, bytes([0xA5, 0x5A]) * 5),
             rect(20, 6, 10, 5, 7) + bytes([0x70, 1, 2]) + tp(1) + tp(2) + tp(3)
             + data(3, bytes(i % 3 for i in range(50))),
             rect(0, 12, 16, 4, 7) + bytes([0x40, 2]) + data(0, b"".join(tp(i) for i in range(64))),
             rect(0, 16, 20, 4, 7) + bytes([0x14]) + data(1, b"".join(tp(7) for _ in range(80)))]
    zs[2] = zlib.compressobj()  # stream 2 starts again: the next rectangle asks for the reset
    rects.append(rect(0, 20, 10, 2, 7) + bytes([0x24]) + data(2, b"".join(tp(9) for _ in range(20))))
    image = jpeg(8, 8)
    if image:
        rects.append(rect(30, 20, 8, 8, 7) + bytes([0x90]) + compact(len(image)) + image)
    return rects


def seeds_for(bpp, opt):
    b = bpp // 8
    s = {}
    s["raw"] = update(rect(1, 2, 3, 2, 0) + px(0x11, bpp) * 6)
    s["copyrect"] = update(rect(0, 0, 4, 4, 0) + px(5, bpp) * 16, rect(4, 4, 4, 4, 1) + struct.pack(">HH", 0, 0))
    s["rre"] = update(rect(0, 0, 20, 10, 2) + struct.pack(">I", 2) + px(1, bpp)
                      + px(2, bpp) + struct.pack(">HHHH", 1, 1, 3, 3)
                      + px(3, bpp) + struct.pack(">HHHH", 5, 5, 30, 30))
    s["corre"] = update(rect(2, 2, 10, 10, 4) + struct.pack(">I", 1) + px(1, bpp) + px(7, bpp) + bytes([1, 1, 2, 2]))
    tiles = bytes([2]) + px(9, bpp) + bytes([8 | 16, 2]) + px(3, bpp) + bytes([0x00, 0xFF]) + px(4, bpp) + bytes([0xF0, 0x00])
    tiles += bytes([1]) + px(6, bpp) * (4 * 16)
    tiles += bytes([4 | 8, 1]) + px(8, bpp) + bytes([0x21, 0x11])
    tiles += bytes([0])
    s["hextile"] = update(rect(0, 0, 36, 20, 5) + tiles)
    s["bell_cut"] = bytes([2, 3, 0, 0, 0]) + struct.pack(">I", 5) + b"a\nb\0c" + update()
    pf = {8: bytes([8, 8, 1, 1, 0, 7, 0, 7, 0, 3, 0, 3, 6, 0, 0, 0]),
          16: bytes([16, 16, 0, 1, 0, 31, 0, 31, 0, 31, 10, 5, 0, 0, 0, 0]),
          32: bytes([32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0])}[bpp]
    s["reinit"] = bytes([42]) + struct.pack(">HH", 80, 70) + pf + struct.pack(">I", 2) + b"hi" \
        + update(rect(70, 60, 10, 10, 0) + px(1, bpp) * 100)
    # The server's screen grows: a pixel where the old frame had none.
    s["desktop_size"] = update(rect(0, 0, 60, 50, -223), rect(50, 40, 10, 10, 0) + px(1, bpp) * 100)
    cp = (lambda v: v.to_bytes(3, "little")) if bpp == 32 else (lambda v: px(v, bpp))
    z = zlib.compressobj()  # one stream for every ZRLE rectangle of the connection

    def zrle(tiles):
        data = z.compress(tiles) + z.flush(zlib.Z_SYNC_FLUSH)
        return struct.pack(">I", len(data)) + data
    s["zrle"] = update(
        rect(0, 0, 36, 3, 16) + zrle(bytes([1]) + cp(2)),                              # solid
        rect(36, 0, 4, 3, 16) + zrle(bytes([0]) + cp(1) * 12),                         # raw
        rect(0, 4, 4, 3, 16) + zrle(bytes([2]) + cp(3) + cp(4) + bytes([0xA0, 0x50, 0xF0])),  # packed
        rect(8, 4, 4, 3, 16) + zrle(bytes([128]) + cp(5) + bytes([3]) + cp(6) + bytes([7])),  # RLE
        rect(12, 4, 4, 3, 16) + zrle(bytes([131]) + cp(7) + cp(8) + cp(9)
                                     + bytes([0x81, 5, 2, 0x80, 3, 0])))                  # palette RLE
    s["tight"] = update(*tight_rects(bpp))
    caps = struct.pack(">I", (1 << 24) | (1 << 27) | (1 << 28) | 1) + struct.pack(">I", 1000)
    text = "Işık\r\nğüşö\0".encode()
    provide = struct.pack(">I", (1 << 28) | 1) + zlib.compress(struct.pack(">I", len(text)) + text)
    ext = lambda body: bytes([3, 0, 0, 0]) + struct.pack(">i", -len(body)) + body
    s["clipboard"] = ext(caps) + ext(struct.pack(">I", (1 << 27) | 1)) + ext(provide) \
        + ext(struct.pack(">I", (1 << 25) | 1)) + ext(struct.pack(">I", 1 << 26)) + update()
    # A pending pixel-format change (0x10) applies before the first update, so only the re-initialisation
    # seed carries it: the other seeds decode at their own depth.
    return {f"{k}_{bpp}": bytes([opt | (0x10 if k == "reinit" else 0), 40, 30]) + v for k, v in s.items()}


for bpp, opt in ((8, 0x00), (16, 0x01 | 0x04 | 0x08), (32, 0x02 | 0x20 | 0x80)):
    for name, data in seeds_for(bpp, opt).items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
