"""Generates the sample set twice and compares both runs with the build's set.

check_determinism.py PYTHON GENERATOR MKIMAGE BUILD_SET_FOLDER WORK_FOLDER
"""

import filecmp
import os
import shutil
import subprocess
import sys


def generate(python: str, generator: str, mkimage: str, folder: str) -> None:
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([python, "-B", generator, mkimage, folder], check=True)


def main() -> int:
    python, generator, mkimage, build_set, work = sys.argv[1:]
    runs = [os.path.join(work, "first"), os.path.join(work, "second")]
    for run in runs:
        generate(python, generator, mkimage, run)

    names = sorted(os.listdir(build_set))
    failures = 0
    for run in runs:
        if sorted(os.listdir(run)) != names:
            print(f"{run} holds {sorted(os.listdir(run))}, {build_set} holds {names}")
            failures += 1
            continue
        for name in names:
            if not filecmp.cmp(os.path.join(build_set, name), os.path.join(run, name), shallow=False):
                print(f"{name} differs between {build_set} and {run}")
                failures += 1
    if failures == 0:
        print(f"{len(names)} files identical across the build's set and two fresh runs")
        for run in runs:
            shutil.rmtree(run)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
