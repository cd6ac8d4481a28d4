#!/usr/bin/env python3
"""The rig's update case: old and new images for every image partition of
both partition tables, the flash layout (devsim's layout format, which the
rig's init also reads), the manifests of the packages, and for each scenario
what the device must hold afterwards (the expectation files that
check_device.sh reads) and the nandsim faults it runs with.

Usage: make_case.py OUTDIR [--kills N] [--seed S]
With --kills, N scenarios kill the agent (SIGKILL) at points drawn with the
seed S; each must still end on the target.
"""
import argparse
import hashlib
import os
import random

BLOCK = 0x20000
PAGE = 2048
OOB = 64

# Flash order as on the router: the system table's partitions, the recovery
# table's, then misc, fota and cache. Sizes in bytes; image sizes of the old
# image (the new one is made from it).
SYSTEM = [("init", 0x40000, 150_001), ("obm", 0x40000, 90_000), ("obm_cfg", 0x40000, 20_480),
          ("mep2", 0x40000, 131_072), ("uboot", 0x80000, 200_123), ("arbel", 0x100000, 400_000),
          ("msabinary", 0x80000, 160_000), ("rfplugin", 0x40000, 100_000), ("kernel", 0x200000, 600_000)]
FILE_SYSTEMS = [("system", 0x100000), ("userdata", 0x100000), ("mass_storage", 0x100000), ("NVMFS", 0x100000)]
RECOVERY = [("recovery", 0x200000, 500_000), ("kernel_maintenance", 0x100000, 3 * BLOCK + 4_000),
            ("uboot_maintenance", 0x80000, 180_000)]
OTHERS = [("misc", 0x40000), ("fota", 0x40000), ("cache", 0x400000)]

FATAL_LOG = "kvr_fota/dua/log_fatal_kvr"


def sha(data):
    return hashlib.sha256(data).hexdigest()


def erased_after(data, size):
    """The hash of a partition of the size that holds the data, erased
    (0xFF) after it."""
    return sha(data + b"\xff" * (size - len(data)))


def fota_record(flag):
    return b"FOTA" + flag.to_bytes(4, "little") + bytes(4)


def make_images(rng, name, size, partition_size):
    old = bytearray(rng.randbytes(size))
    new = bytearray(old)
    for _ in range(max(4, size // 20_000)):
        at = rng.randrange(len(new) - 64)
        new[at:at + 16] = rng.randbytes(16)
    cut = len(new) // 7
    new = new[cut:] + new[:cut]
    # kernel_maintenance grows by two blocks: the rig puts a factory bad
    # block just past the old image, where only the new one is written.
    growth = 2 * BLOCK if name == "kernel_maintenance" else rng.randrange(1, 9_000)
    new += rng.randbytes(growth)
    assert len(new) <= partition_size, name
    return bytes(old), bytes(new)


def kill_points(count, seed):
    """Kill points: KIND:N (the Nth syscall of that kind), KIND:-K (the Kth
    from the end) or KIND:F (that fraction of the whole update's count),
    resolved by the rig's init from the run without kills. The first ones
    reach every stage: the pre-processing script (the fifth new process,
    after the four service stops), the verify stage near the start, both
    restart calls, and the post stage's last three shell commands (the FOTA
    flag's erase and copy, the result flag); the rest are drawn."""
    rng = random.Random(seed)
    points = ["shell:5", f"sys:{rng.uniform(0.02, 0.05):.4f}", "reboot:1", "reboot:2",
              "shell:-3", "shell:-2", "shell:-1"]
    fixed = len(points)
    drawn = ["erase", "write", "backup", "sys"]
    while len(points) < count:
        kind = drawn[len(points) - fixed] if len(points) < fixed + len(drawn) else rng.choice(drawn)
        points.append(f"{kind}:{rng.uniform(0.01, 0.99):.4f}")
    return points[:count]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--kills", type=int, default=0)
    parser.add_argument("--seed", type=int, default=1)
    given = parser.parse_args()
    out = given.out
    os.makedirs(f"{out}/images", exist_ok=True)
    os.makedirs(f"{out}/expect", exist_ok=True)
    rng = random.Random(17)

    layout = []          # lines of the layout file
    images = {}          # name -> (old, new)
    offsets = {}
    sizes = {}
    offset = 0

    def add(name, size, extra=""):
        nonlocal offset
        layout.append(f"{name} {size:#x} {BLOCK:#x} {PAGE} oob={OOB}{extra}")
        offsets[name] = offset
        sizes[name] = size
        offset += size

    for name, size, image_size in SYSTEM:
        images[name] = make_images(rng, name, image_size, size)
        add(name, size, f" image=images/{name}.old")
    for name, size in FILE_SYSTEMS:
        add(name, size, f" mount=/{name.lower()}")
    for name, size, image_size in RECOVERY:
        images[name] = make_images(rng, name, image_size, size)
        add(name, size, f" image=images/{name}.old")
    for name, size in OTHERS:
        add(name, size, " mount=/cache" if name == "cache" else "")

    for name, (old, new) in images.items():
        open(f"{out}/images/{name}.old", "wb").write(old)
        open(f"{out}/images/{name}.new", "wb").write(new)
    open(f"{out}/layout", "w").write("\n".join(layout) + "\n")

    with open(f"{out}/manifest.full", "w") as m:
        for name in images:
            m.write(f"{name} image images/{name}.old images/{name}.new\n")
        m.write("pre scripts/pre.sh\npost scripts/post.sh\n")
    os.makedirs(f"{out}/scripts", exist_ok=True)
    # The package's scripts leave a mark, under the simulated device's root
    # folder when devsim runs them.
    for stage in ("pre", "post"):
        open(f"{out}/scripts/{stage}.sh", "w").write(f'touch "${{KVR_FOTA_ROOT:-}}/cache/rig_{stage}_ran"\n')

    # A package with one file-system partition: yaffs2 is not in the rig's
    # kernel, so its mount fails in the verify stage.
    for side, files in (("old", {"a.txt": b"old text\n"}), ("new", {"a.txt": b"new text\n", "b.bin": b"\0" * 100})):
        os.makedirs(f"{out}/userdata.{side}", exist_ok=True)
        for file, data in files.items():
            open(f"{out}/userdata.{side}/{file}", "wb").write(data)
    open(f"{out}/manifest.fs", "w").write("userdata fs userdata.old userdata.new\npre scripts/pre.sh\n")

    order = [name for name, _, _ in SYSTEM] + [name for name, _, _ in RECOVERY]

    def expectation(file, state, flag, status, fatal, post=True):
        """state: name -> 'target', 'source' or 'any'."""
        lines = []
        for name in order:
            old, new = images[name]
            what = state.get(name, "source")
            if what == "any":
                lines.append(f"part {name} any where the update failed")
            else:
                data = new if what == "target" else old
                lines.append(f"part {name} {erased_after(data, sizes[name])} {what} image")
        # Nothing is written outside the updated partitions.
        for name, _ in FILE_SYSTEMS + [("fota", 0)]:
            lines.append(f"part {name} {erased_after(b'', sizes[name])} erased")
        record = fota_record(flag) if flag else b""
        lines.append(f"part misc {erased_after(record, sizes['misc'])} {'FOTA flag %d' % flag if flag else 'erased'}")
        lines.append(f"file kvr_fota/dua/update_status {status}")
        for path in ("kvr_fota/update.flg", "kvr_fota/current_update", "update.pkg"):
            lines.append(f"absent {path}")
        lines.append("present up_result_for_del.flg")
        lines.append("present rig_pre_ran")
        lines.append(f"{'present' if post else 'absent'} rig_post_ran")
        for text in fatal:
            lines.append(f"fatal {text}")
        open(f"{out}/expect/{file}", "w").write("\n".join(lines) + "\n")

    everything = {name: "target" for name in order}
    expectation("full.expect", everything, 2, 0, ["FOTA Update successful."])

    recovery_names = [name for name, _, _ in RECOVERY]
    system_names = [name for name, _, _ in SYSTEM]

    def failed_at(table, name):
        """The partitions that hold their target when the update fails in
        the given partition: the recovery table's before it (or all of
        them, for a failure in the system table) and the system table's
        before it."""
        state = {}
        if table == "system":
            state.update({n: "target" for n in recovery_names})
            names = system_names
        else:
            names = recovery_names
        for n in names[:names.index(name)]:
            state[n] = "target"
        state[name] = "any"
        return state

    blocks = lambda name: offsets[name] // BLOCK
    scenarios = ["full full.pkg full.expect -"]

    # A factory bad block in kernel_maintenance, just past its old image:
    # the first block that only the new image writes.
    old_km = images["kernel_maintenance"][0]
    bad = blocks("kernel_maintenance") + (len(old_km) + BLOCK - 1) // BLOCK
    expectation("badblock.expect", failed_at("recovery", "kernel_maintenance"), 0, 1,
                ["Error: erase block failed", "Error: erase block second time failed",
                 "Error: Update Recovery System failed."], post=False)
    scenarios.append(f"badblock full.pkg badblock.expect badblocks={bad}")

    # An erase that fails: the kernel's third block may be erased once (by
    # the rig, which writes the old image) and not again.
    expectation("erasefail.expect", failed_at("system", "kernel"), 2, 1,
                ["Error: erase block failed", "Error: erase block second time failed",
                 "Error: update Normal System failed."], post=False)
    scenarios.append(f"erasefail full.pkg erasefail.expect weakblocks={blocks('kernel') + 2}:1")

    # A program that fails for good: a page in arbel's second block may be
    # programmed once (by the rig) and not again.
    page = (offsets["arbel"] + BLOCK) // PAGE + 5
    expectation("progfail.expect", failed_at("system", "arbel"), 2, 1,
                ["Error: write block failed", "Error: write block second time failed",
                 "Error: update Normal System failed."], post=False)
    scenarios.append(f"progfail full.pkg progfail.expect weakpages={page}:1")

    expectation("mountfail.expect", {}, 0, 1,
                ["Error: mount yaffs failed", "Error: verify failed."], post=False)
    scenarios.append("mountfail fs.pkg mountfail.expect -")
    for i, point in enumerate(kill_points(given.kills, given.seed), 1):
        scenarios.append(f"kill{i} full.pkg full.expect - {point}")
    open(f"{out}/scenarios", "w").write("\n".join(scenarios) + "\n")


if __name__ == "__main__":
    main()
