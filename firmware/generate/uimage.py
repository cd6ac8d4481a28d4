"""U-Boot legacy images built with mkimage."""

import os
import subprocess
import tempfile
from dataclasses import dataclass

from settings import SOURCE_DATE_EPOCH


@dataclass(frozen=True)
class UImage:
    arch: str
    os: str
    type: str
    comp: str
    name: str
    load: int
    entry: int


def make_uimage(mkimage: str, image: UImage, data: bytes) -> bytes:
    """Runs mkimage on data; the header time is SOURCE_DATE_EPOCH."""
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(SOURCE_DATE_EPOCH))
    with tempfile.TemporaryDirectory(prefix="flashdesk_uimage_") as work:
        data_path = os.path.join(work, "data")
        image_path = os.path.join(work, "image")
        with open(data_path, "wb") as data_file:
            data_file.write(data)
        subprocess.run(
            [mkimage, "-A", image.arch, "-O", image.os, "-T", image.type,
             "-C", image.comp, "-n", image.name,
             "-a", f"0x{image.load:08X}", "-e", f"0x{image.entry:08X}",
             "-d", data_path, image_path],
            env=environment, check=True, stdout=subprocess.DEVNULL)
        with open(image_path, "rb") as image_file:
            return image_file.read()
