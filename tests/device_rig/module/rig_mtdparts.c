// SPDX-License-Identifier: GPL-2.0
/*
 * Named MTD partitions on the kernel's NAND simulator, as the router's
 * flash has them. nandsim registers its chip only as numbered partitions,
 * and this kernel does not offer the whole chip as a device (no
 * MTD_PARTITIONED_MASTER), so BLKPG from user space cannot add to it; this
 * module adds the partitions to the chip through the kernel's own partition
 * interface (mtd_add_partition), laid end to end from offset 0.
 *
 *   insmod rig_mtdparts.ko names=init,obm,... sizes=0x40000,0x40000,...
 */
#include <linux/err.h>
#include <linux/module.h>
#include <linux/mtd/mtd.h>
#include <linux/mtd/partitions.h>

#define RIG_MAX_PARTS 32

static char *names[RIG_MAX_PARTS];
static int names_count;
module_param_array(names, charp, &names_count, 0400);
MODULE_PARM_DESC(names, "partition names, in flash order");

static ulong sizes[RIG_MAX_PARTS];
static int sizes_count;
module_param_array(sizes, ulong, &sizes_count, 0400);
MODULE_PARM_DESC(sizes, "partition sizes in bytes, one per name");

static int __init rig_mtdparts_init(void)
{
	struct mtd_info *first, *chip;
	long long offset = 0;
	int i, ret = 0;

	if (names_count == 0 || names_count != sizes_count) {
		pr_err("rig_mtdparts: give as many sizes as names\n");
		return -EINVAL;
	}
	first = get_mtd_device(NULL, 0);
	if (IS_ERR(first)) {
		pr_err("rig_mtdparts: no MTD device 0\n");
		return PTR_ERR(first);
	}
	chip = mtd_get_master(first);
	for (i = 0; i < names_count && ret == 0; i++) {
		ret = mtd_add_partition(chip, names[i], offset, sizes[i]);
		if (ret)
			pr_err("rig_mtdparts: %s at 0x%llx: %d\n", names[i], offset, ret);
		offset += sizes[i];
	}
	put_mtd_device(first);
	return ret;
}

static void __exit rig_mtdparts_exit(void)
{
	/* The partitions go with the chip when nandsim is removed. */
}

module_init(rig_mtdparts_init);
module_exit(rig_mtdparts_exit);
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Named partitions on the NAND simulator for the device rig");
