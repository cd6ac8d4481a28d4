"""Checks the sample firmware set: check_firmware_set.py FOLDER."""

import gzip
import hashlib
import os
import struct
import sys
import unittest

from uimage_header import MAGIC, SIZE, data_crc, header_crc, read_header

MODEM_NAME = "fa_kr710_host_nomifi_ims_NA_C0_B.fbf"
SAMPLE_TIME = 1600000000

IH_OS_LINUX = 5
IH_ARCH_MIPS = 5
IH_TYPE_STANDALONE = 1
IH_TYPE_KERNEL = 2
IH_COMP_NONE = 0
IH_COMP_LZMA = 3

# SHA-256 of the sample files; a change here means the set is no longer the
# same bytes on every machine, or the generator was changed on purpose.
SAMPLE_DIGESTS = {
    "root_uImage": "cf13b22c8f92aae9b237f176d8409ae22ca1a54c50a1a2238ee06791df99fc63",
    "uboot.img": "e5de81bdd6b71042b8466cd1e6325f8c51a1703c4dbfd4b124079b25ab35875f",
    MODEM_NAME + ".gz": "45e334690b4274eff0e2dadb26f03069d36e7065999e7aa6a5d8e6b21993fcc9",
    MODEM_NAME + "_md5sum": "64d910a86cd0ff65a330eea6a5e23cf6a5c74d9f996be141d6fee548541c6929",
}

folder = ""


def read(name: str) -> bytes:
    with open(os.path.join(folder, name), "rb") as file:
        return file.read()


class UImageChecks:
    def check_image(self, image: bytes, file_size: int):
        self.assertEqual(len(image), file_size)
        header = read_header(image)
        self.assertEqual(header.magic, MAGIC)
        self.assertEqual(header.header_crc, header_crc(image))
        self.assertLessEqual(SIZE + header.data_size, len(image))
        self.assertEqual(header.data_crc, data_crc(image, header))
        self.assertEqual(header.time, SAMPLE_TIME)
        self.assertEqual(header.arch, IH_ARCH_MIPS)
        self.assertEqual(header.os, IH_OS_LINUX)
        return header


class KernelImageTest(UImageChecks, unittest.TestCase):
    def test_header_and_padding(self):
        image = read("root_uImage")
        header = self.check_image(image, 17825792)
        self.assertEqual(header.type, IH_TYPE_KERNEL)
        self.assertEqual(header.comp, IH_COMP_LZMA)
        self.assertEqual(header.name, "Linux Kernel Image")
        self.assertEqual(header.load, 0x80000000)
        self.assertEqual(header.entry, 0x8036E000)
        padding = image[SIZE + header.data_size:]
        self.assertTrue(padding)
        self.assertEqual(padding.count(0xFF), len(padding))


class BootloaderImageTest(UImageChecks, unittest.TestCase):
    def test_header(self):
        image = read("uboot.img")
        header = self.check_image(image, 291516)
        self.assertEqual(header.data_size, len(image) - SIZE)
        self.assertEqual(header.type, IH_TYPE_STANDALONE)
        self.assertEqual(header.comp, IH_COMP_NONE)
        self.assertEqual(header.name, "SPI Flash Image")
        self.assertEqual(header.load, 0x80200000)
        self.assertEqual(header.entry, 0x80200000)


class ModemPackageTest(unittest.TestCase):
    def test_gzip_header(self):
        package = read(MODEM_NAME + ".gz")
        self.assertEqual(len(package), 23001810)
        magic, method, flags, mtime = struct.unpack("<HBBI", package[:8])
        self.assertEqual(magic, 0x8B1F)
        self.assertEqual(method, 8)
        self.assertEqual(flags, 0x08)
        self.assertEqual(mtime, SAMPLE_TIME)
        name_end = package.index(b"\0", 10)
        self.assertEqual(package[10:name_end].decode("latin-1"), MODEM_NAME)

    def test_content_is_whole_and_incompressible(self):
        payload = gzip.decompress(read(MODEM_NAME + ".gz"))
        self.assertEqual(len(payload), 23000000)
        self.assertGreater(len(gzip.compress(payload[:1 << 20], compresslevel=6)), 1 << 20)

    def test_md5sum_file(self):
        text = read(MODEM_NAME + "_md5sum")
        self.assertNotIn(b"\r", text)
        lines = text.decode("ascii").split("\n")
        self.assertEqual(len(lines), 3)
        self.assertEqual(lines[2], "")
        digest, path = lines[0].split("  ")
        self.assertEqual(digest, hashlib.md5(read(MODEM_NAME + ".gz")).hexdigest())
        self.assertEqual(path, "/build/modem/" + MODEM_NAME + ".gz")
        self.assertEqual(lines[1], "pack_version KR710_NA_C0_B_SAMPLE_01")


class KnownBytesTest(unittest.TestCase):
    def test_files_match_recorded_digests(self):
        self.assertEqual(sorted(os.listdir(folder)), sorted(SAMPLE_DIGESTS))
        for name, digest in SAMPLE_DIGESTS.items():
            with self.subTest(name=name):
                self.assertEqual(hashlib.sha256(read(name)).hexdigest(), digest)


if __name__ == "__main__":
    folder = sys.argv[1]
    unittest.main(argv=sys.argv[:1], verbosity=2)
