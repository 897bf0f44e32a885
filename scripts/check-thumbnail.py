#!/usr/bin/env python3
"""Reads the shared thumbnails of a picture file the way a file manager does.

    scripts/check-thumbnail.py FILE [THUMBNAILS_DIR]

For each size class, finds the PNG named by the MD5 of the file's URI, reads
its tEXt/iTXt keys and says whether it is valid for the file as it is now
(Thumb::URI, Thumb::MTime, and Thumb::Size when present). Exits 0 when at
least one valid thumbnail was found. Uses nothing but Python's standard
library, so that it checks the files, not our own reader of them.
"""
import hashlib
import os
import struct
import sys
import urllib.parse
import zlib


def png_text(path):
    keys = {}
    with open(path, "rb") as f:
        if f.read(8) != b"\x89PNG\r\n\x1a\n":
            raise ValueError("not a PNG")
        while True:
            head = f.read(8)
            if len(head) < 8:
                break
            length, kind = struct.unpack(">I4s", head)
            data = f.read(length)
            f.read(4)  # CRC
            if kind == b"tEXt":
                k, _, v = data.partition(b"\0")
                keys[k.decode("latin-1")] = v.decode("latin-1")
            elif kind == b"zTXt":
                k, _, rest = data.partition(b"\0")
                keys[k.decode("latin-1")] = zlib.decompress(rest[1:]).decode("latin-1")
            elif kind == b"iTXt":
                k, _, rest = data.partition(b"\0")
                compressed, rest = rest[0], rest[2:]
                _, _, rest = rest.partition(b"\0")  # language
                _, _, text = rest.partition(b"\0")  # translated key
                keys[k.decode("latin-1")] = (zlib.decompress(text) if compressed else text).decode("utf-8")
            elif kind == b"IEND":
                break
    return keys


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path = os.path.abspath(sys.argv[1])
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache")
    root = sys.argv[2] if len(sys.argv) > 2 else os.path.join(cache, "thumbnails")
    uri = "file://" + urllib.parse.quote(path)
    name = hashlib.md5(uri.encode()).hexdigest() + ".png"
    st = os.stat(path)
    found = False
    for size in ("normal", "large", "x-large", "xx-large"):
        thumb = os.path.join(root, size, name)
        if not os.path.exists(thumb):
            continue
        keys = png_text(thumb)
        valid = (keys.get("Thumb::URI") == uri and keys.get("Thumb::MTime") == str(int(st.st_mtime))
                 and keys.get("Thumb::Size", str(st.st_size)) == str(st.st_size))
        mode = oct(os.stat(thumb).st_mode & 0o777)
        print(f"{size}: {thumb} mode {mode} {'valid' if valid else 'STALE'} "
              + ", ".join(f"{k}={v}" for k, v in sorted(keys.items()) if k.startswith("Thumb::")))
        found = found or valid
    if not found:
        print(f"no valid thumbnail of {uri} under {root}", file=sys.stderr)
    return 0 if found else 1


if __name__ == "__main__":
    sys.exit(main())
