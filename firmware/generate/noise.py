"""Deterministic pseudo-random filler for the sample firmware files."""

import hashlib


def noise(label: str, size: int) -> bytes:
    """SHAKE-256 output keyed by label: the same bytes on every machine."""
    return hashlib.shake_256(f"flashdesk sample firmware: {label}".encode()).digest(size)
