#!/usr/bin/env python3
"""Extracts the uncompressed ELF kernel from a compressed x86 kernel image (bzImage).

The emulated machine boots the ELF directly, which saves it the decompression.
Usage: hidvm-extract-vmlinux.py VMLINUZ VMLINUX
"""
import bz2
import lzma
import sys
import zlib

# Compressed-stream signatures, as the kernel's own extract-vmlinux looks for them.
SIGNATURES = [
    (b"\xfd7zXZ\x00", "xz"),
    (b"\x1f\x8b\x08", "gzip"),
    (b"\x5d\x00\x00", "lzma"),
    (b"BZh", "bzip2"),
]


def decompress(kind, data):
    if kind == "xz":
        return lzma.LZMADecompressor(format=lzma.FORMAT_XZ).decompress(data)
    if kind == "lzma":
        return lzma.LZMADecompressor(format=lzma.FORMAT_ALONE).decompress(data)
    if kind == "gzip":
        return zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(data)
    if kind == "bzip2":
        return bz2.BZ2Decompressor().decompress(data)
    raise ValueError(kind)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    image = open(sys.argv[1], "rb").read()
    for signature, kind in SIGNATURES:
        start = image.find(signature)
        while start >= 0:
            try:
                kernel = decompress(kind, image[start:])
            except (lzma.LZMAError, zlib.error, OSError, EOFError, ValueError):
                kernel = b""
            if kernel.startswith(b"\x7fELF"):
                with open(sys.argv[2], "wb") as out:
                    out.write(kernel)
                return
            start = image.find(signature, start + 1)
    sys.exit("no compressed ELF kernel found in " + sys.argv[1])


if __name__ == "__main__":
    main()
