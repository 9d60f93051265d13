#!/usr/bin/env python3
"""x11_screenshot.py OUTPUT.png: saves the root window of $DISPLAY as a PNG.

Needs nothing but libX11 (which Wine and Xvfb bring) and Python's own zlib,
so a machine without ImageMagick or xwd can still show what the player drew.
"""
import ctypes
import ctypes.util
import struct
import sys
import zlib


class XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, enough to read the pixels.
    _fields_ = [
        ("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
        ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
        ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
        ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
        ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
        ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
        ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong),
    ]


def grab():
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    x11 = ctypes.CDLL(name)
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XGetImage.restype = ctypes.POINTER(XImage)
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XDisplayWidth.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XDestroyImage = None  # a macro in Xlib; the process ends soon anyway
    display = x11.XOpenDisplay(None)
    if not display:
        raise SystemExit("x11_screenshot: cannot open the display")
    width = x11.XDisplayWidth(display, 0)
    height = x11.XDisplayHeight(display, 0)
    ZPixmap = 2
    image = x11.XGetImage(display, x11.XDefaultRootWindow(display), 0, 0, width, height,
                          ctypes.c_ulong(0xFFFFFFFF), ZPixmap)
    if not image:
        raise SystemExit("x11_screenshot: XGetImage failed")
    img = image.contents
    if img.bits_per_pixel != 32:
        raise SystemExit("x11_screenshot: %d bits per pixel not supported" % img.bits_per_pixel)
    raw = ctypes.string_at(img.data, img.bytes_per_line * img.height)
    rows = []
    for y in range(img.height):
        line = raw[y * img.bytes_per_line: y * img.bytes_per_line + img.width * 4]
        rgb = bytearray(img.width * 3)
        rgb[0::3] = line[2::4]  # B,G,R,X in memory on a little-endian server
        rgb[1::3] = line[1::4]
        rgb[2::3] = line[0::4]
        rows.append(b"\x00" + bytes(rgb))
    return img.width, img.height, b"".join(rows)


def png(width, height, data):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: x11_screenshot.py OUTPUT.png")
    width, height, data = grab()
    with open(sys.argv[1], "wb") as out:
        out.write(png(width, height, data))


if __name__ == "__main__":
    main()
