"""Writes the sample firmware set: make_firmware_set.py MKIMAGE OUTPUT_DIR."""

import os
import sys

import settings
from md5sum_file import md5sum_file
from noise import noise
from stored_gzip import stored_gzip
from uimage import UImage, make_uimage

KERNEL = UImage(arch="mips", os="linux", type="kernel", comp="lzma",
                name="Linux Kernel Image", load=0x80000000, entry=0x8036E000)
# mkimage's default OS field, as for a U-Boot build's own image.
BOOTLOADER = UImage(arch="mips", os="linux", type="standalone", comp="none",
                    name="SPI Flash Image", load=0x80200000, entry=0x80200000)


def kernel_image(mkimage: str) -> bytes:
    image = make_uimage(mkimage, KERNEL, noise(settings.KERNEL_FILE, settings.KERNEL_DATA_SIZE))
    padding = bytes([settings.KERNEL_PADDING]) * (settings.KERNEL_FILE_SIZE - len(image))
    return image + padding


def bootloader_image(mkimage: str) -> bytes:
    data_size = settings.BOOTLOADER_FILE_SIZE - settings.UIMAGE_HEADER_SIZE
    return make_uimage(mkimage, BOOTLOADER, noise(settings.BOOTLOADER_FILE, data_size))


def write_file(directory: str, name: str, content: bytes) -> None:
    """Replaces the file in one step so an interrupted run leaves no half file."""
    path = os.path.join(directory, name)
    with open(path + ".part", "wb") as part:
        part.write(content)
    os.replace(path + ".part", path)


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    mkimage, output_dir = sys.argv[1:]
    os.makedirs(output_dir, exist_ok=True)

    write_file(output_dir, settings.KERNEL_FILE, kernel_image(mkimage))
    write_file(output_dir, settings.BOOTLOADER_FILE, bootloader_image(mkimage))
    package = stored_gzip(noise(settings.MODEM_NAME, settings.MODEM_PAYLOAD_SIZE),
                          settings.MODEM_NAME, settings.SOURCE_DATE_EPOCH)
    write_file(output_dir, settings.MODEM_FILE, package)
    write_file(output_dir, settings.MD5SUM_FILE,
               md5sum_file(package, settings.MD5SUM_BUILD_PATH, settings.PACK_VERSION))
    return 0


if __name__ == "__main__":
    sys.exit(main())
