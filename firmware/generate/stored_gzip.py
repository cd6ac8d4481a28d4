"""gzip members made of stored deflate blocks.

The payload is incompressible, so stored blocks are what a compressor would
choose anyway; writing them directly keeps the bytes independent of the zlib
version on the build machine.
"""

import struct
import zlib

_MAX_STORED_BLOCK = 0xFFFF
_FLAG_FNAME = 0x08
_OS_UNIX = 3


def stored_gzip(payload: bytes, file_name: str, mtime: int) -> bytes:
    """A gzip member whose header carries file_name (FNAME) and mtime."""
    parts = [struct.pack("<BBBBIBB", 0x1F, 0x8B, 8, _FLAG_FNAME, mtime, 0, _OS_UNIX),
             file_name.encode("latin-1") + b"\0"]
    offset = 0
    while True:
        block = payload[offset:offset + _MAX_STORED_BLOCK]
        offset += len(block)
        final = offset >= len(payload)
        parts.append(struct.pack("<BHH", 1 if final else 0, len(block), len(block) ^ 0xFFFF))
        parts.append(block)
        if final:
            break
    parts.append(struct.pack("<II", zlib.crc32(payload), len(payload) & 0xFFFFFFFF))
    return b"".join(parts)
