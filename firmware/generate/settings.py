"""Names, sizes and header fields of the sample firmware set."""

# Header time of both U-Boot images and MTIME of the gzip package
# (2020-09-13 12:26:40 UTC).
SOURCE_DATE_EPOCH = 1600000000

KERNEL_FILE = "root_uImage"
KERNEL_DATA_SIZE = 0x180000
# The kernel partition image is padded with 0xFF, the erased-flash value,
# after the uImage; the header's size field covers only the data.
KERNEL_FILE_SIZE = 17825792
KERNEL_PADDING = 0xFF

BOOTLOADER_FILE = "uboot.img"
BOOTLOADER_FILE_SIZE = 291516

MODEM_NAME = "fa_kr710_host_nomifi_ims_NA_C0_B.fbf"
MODEM_FILE = MODEM_NAME + ".gz"
MODEM_PAYLOAD_SIZE = 23000000
MD5SUM_FILE = MODEM_NAME + "_md5sum"
MD5SUM_BUILD_PATH = "/build/modem/" + MODEM_FILE
PACK_VERSION = "KR710_NA_C0_B_SAMPLE_01"

UIMAGE_HEADER_SIZE = 64
