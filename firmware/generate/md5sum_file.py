"""The _md5sum text that travels with the modem package."""

import hashlib


def md5sum_file(package: bytes, build_path: str, pack_version: str) -> bytes:
    """md5sum-style line for the package, then its pack_version line."""
    digest = hashlib.md5(package).hexdigest()
    return f"{digest}  {build_path}\npack_version {pack_version}\n".encode("ascii")
