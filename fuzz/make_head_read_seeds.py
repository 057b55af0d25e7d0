#!/usr/bin/env python3
"""Writes the seeds of fuzz_head_read: each JPEG seed of fuzz_metadata, cut just past its
start-of-scan marker and in the middle of its metadata, behind the two-byte cut.
From the repository's root: python3 fuzz/make_head_read_seeds.py"""
import pathlib
import struct

source = pathlib.Path("fuzz/corpus/metadata")
target = pathlib.Path("fuzz/corpus/head_read")
target.mkdir(parents=True, exist_ok=True)
for path in sorted(source.glob("*.jpg")):
    data = path.read_bytes()
    scan = data.find(b"\xff\xda")
    cuts = {"mid": len(data) // 2}
    if scan > 0:
        cuts["scan"] = scan + 5
    for name, cut in cuts.items():
        (target / f"{path.stem}_{name}").write_bytes(struct.pack("<H", cut) + data)
