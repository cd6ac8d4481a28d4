#!/usr/bin/env python3
"""Folder trees compared entry by entry: kind, mode bits, file bytes, link text.

  folder_trees.py compare WANT GOT      exit 1 naming the first difference
  folder_trees.py summary OLD NEW GOT   prints: bytes of NEW's files, entries
                                        that differ between OLD and NEW, and
                                        "yes" or "no" for GOT equal to NEW
"""
import os
import stat
import sys


def tree(root):
    out = {}
    for folder, dirs, files in os.walk(root):
        for entry in dirs + files:
            full = os.path.join(folder, entry)
            st = os.lstat(full)
            rel = os.path.relpath(full, root)
            if stat.S_ISLNK(st.st_mode):
                out[rel] = ("link", os.readlink(full))
            elif stat.S_ISDIR(st.st_mode):
                out[rel] = ("folder", stat.S_IMODE(st.st_mode))
            else:
                with open(full, "rb") as f:
                    out[rel] = ("file", stat.S_IMODE(st.st_mode), f.read())
    return out


def compare(want, got):
    want, got = tree(want), tree(got)
    for path in sorted(set(got) | set(want)):
        if got.get(path) != want.get(path):
            print(f"{path}: {str(got.get(path))[:80]} != {str(want.get(path))[:80]}", file=sys.stderr)
            return 1
    return 0


def summary(old, new, got):
    old, new, got = tree(old), tree(new), tree(got)
    size = sum(len(v[2]) for v in new.values() if v[0] == "file")
    changed = sum(old.get(k) != new.get(k) for k in set(old) | set(new))
    print(size, changed, "yes" if got == new else "no")
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    if len(sys.argv) == 5 and sys.argv[1] == "summary":
        sys.exit(summary(*sys.argv[2:5]))
    print(__doc__, file=sys.stderr)
    sys.exit(2)
