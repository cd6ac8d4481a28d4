"""Reads the 64-byte header of a U-Boot legacy image."""

import struct
import zlib
from dataclasses import dataclass

MAGIC = 0x27051956
SIZE = 64
_LAYOUT = ">7I4B32s"


@dataclass(frozen=True)
class Header:
    magic: int
    header_crc: int
    time: int
    data_size: int
    load: int
    entry: int
    data_crc: int
    os: int
    arch: int
    type: int
    comp: int
    name: str


def read_header(image: bytes) -> Header:
    fields = struct.unpack(_LAYOUT, image[:SIZE])
    return Header(*fields[:-1], name=fields[-1].rstrip(b"\0").decode("ascii"))


def header_crc(image: bytes) -> int:
    """CRC-32 of the header with its own CRC field zeroed."""
    return zlib.crc32(image[:4] + b"\0\0\0\0" + image[8:SIZE])


def data_crc(image: bytes, header: Header) -> int:
    return zlib.crc32(image[SIZE:SIZE + header.data_size])
