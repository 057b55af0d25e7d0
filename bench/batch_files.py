#!/usr/bin/python3
"""Files per second of `orvel meta -r` over a directory of 1,000 camera-like JPEGs, against
`exiftool -r -j` and `exiv2 -pa` in the same run, with a cold and a warm page cache.

    /usr/bin/python3 bench/batch_files.py BUILD_DIR [PHOTO_DIR]

The photos (1600x1200, smooth scenes with film grain, quality 88, the EXIF block of
examples/photo.jpg with its date changed per file) are made once with Pillow and kept in
PHOTO_DIR (default /tmp/orvel-bench-photos). A cold cache is had by asking the kernel to drop
each file's pages (posix_fadvise DONTNEED), which needs no privileges; `fincore` confirms it.
Prints `ratio <task> vs <peer>: x.xx` (our time / theirs, below 1 we are faster) for wall time
and CPU time (user + system of the children), and the files per second of each.
"""
import os
import resource
import subprocess
import sys
import threading
import time

import numpy as np
from PIL import Image, ImageChops

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
COUNT = 1000
SIZE = (1600, 1200)


def exif_block(photo):
    """The EXIF payload of the example photo's APP1 segment ("Exif\\0\\0" and the TIFF data)."""
    data = open(photo, "rb").read()
    position = 2
    while position + 4 <= len(data) and data[position] == 0xFF:
        marker, length = data[position + 1], int.from_bytes(data[position + 2:position + 4], "big")
        body = data[position + 4:position + 2 + length]
        if marker == 0xE1 and body.startswith(b"Exif\0\0"):
            return body
        position += 2 + length
    raise SystemExit(f"no EXIF block in {photo}")


def make_photos(directory):
    if os.path.isdir(directory) and len(os.listdir(directory)) >= 10:
        names = sum(len(files) for _, _, files in os.walk(directory))
        if names == COUNT:
            return
    exif = exif_block(os.path.join(ROOT, "examples", "photo.jpg"))
    rng = np.random.default_rng(2026)
    grain = Image.effect_noise(SIZE, 10).convert("RGB")  # centred on 128
    for index in range(COUNT):
        folder = os.path.join(directory, f"{2020 + index // 250}", f"{index // 25 % 10:02d}")
        os.makedirs(folder, exist_ok=True)
        scene = Image.fromarray(rng.integers(0, 256, (6, 8, 3), dtype=np.uint8))
        shifted = ImageChops.offset(grain, int(rng.integers(SIZE[0])), int(rng.integers(SIZE[1])))
        picture = ImageChops.add(scene.resize(SIZE, Image.BICUBIC), shifted, 1.0, -128)
        dated = exif.replace(b"2023:07:14 09:30:00", f"2023:07:14 09:{index % 60:02d}:00".encode())
        picture.save(os.path.join(folder, f"IMG_{index:04d}.JPG"), quality=88, exif=dated)


def all_files(directory):
    return sorted(os.path.join(d, f) for d, _, names in os.walk(directory) for f in names)


def drop_cache(files):
    for path in files:
        descriptor = os.open(path, os.O_RDONLY)
        try:
            os.fsync(descriptor)
            os.posix_fadvise(descriptor, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(descriptor)


def cached_fraction(files):
    """The share of the files' pages in the page cache, by fincore."""
    result = subprocess.run(["fincore", "-b", "-n", "-o", "RES,SIZE"] + files[:50],
                            capture_output=True, text=True)
    pairs = [line.split() for line in result.stdout.splitlines() if line.strip()]
    resident = sum(int(p[0]) for p in pairs)
    size = sum(int(p[1]) for p in pairs)
    return resident / size if size else 0.0


def timed(command, files, cold):
    """Wall and CPU seconds of one run of command (its output discarded)."""
    if cold:
        drop_cache(files)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def python_threads(library, files):
    """Files per second of the Python package reading metadata from 1 and from 2 threads."""
    sys.path.insert(0, os.path.join(ROOT, "python"))
    os.environ["ORVEL_LIBRARY"] = library
    import orvel
    datas = [open(p, "rb").read(65536) for p in files[:200]] * 5

    def work(part):
        for data in part:
            orvel.read_metadata(data)

    rates = {}
    for threads in (1, 2):
        best = None
        for _ in range(3):
            workers = [threading.Thread(target=work, args=(datas[t::threads],))
                       for t in range(threads)]
            start = time.perf_counter()
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()
            elapsed = time.perf_counter() - start
            best = elapsed if best is None else min(best, elapsed)
        rates[threads] = len(datas) / best
    return rates


def main():
    build = os.path.abspath(sys.argv[1])
    directory = sys.argv[2] if len(sys.argv) > 2 else "/tmp/orvel-bench-photos"
    make_photos(directory)
    files = all_files(directory)
    orvel = os.path.join(build, "tools", "orvel", "orvel")
    cores = os.cpu_count()
    commands = {
        "orvel": [orvel, "meta", "--jsonl", "-r", directory],
        "orvel-j1": [orvel, "meta", "--jsonl", "-r", "-j", "1", directory],
        "exiftool": ["exiftool", "-r", "-j", directory],
        "exiv2": ["exiv2", "-pa"] + files,
    }
    drop_cache(files)
    print(f"{len(files)} JPEGs, {sum(os.path.getsize(f) for f in files) / 1e6:.0f} MB, "
          f"{cores} cores; cached after dropping: {cached_fraction(files):.0%}")
    for cache in ("cold", "warm"):
        times = {}
        for name, command in commands.items():
            runs = [timed(command, files, cache == "cold") for _ in range(3)]
            times[name] = min(runs)  # the least disturbed run on a shared machine
            wall, cpu = times[name]
            print(f"{cache:4} {name:9} {len(files) / wall:9.0f} files/s  wall {wall:6.2f} s  "
                  f"cpu {cpu:6.2f} s")
        for ours in ("orvel", "orvel-j1"):
            for peer in ("exiftool", "exiv2"):
                task = f"meta_dir_{cache}" + ("_1thread" if ours == "orvel-j1" else "")
                print(f"ratio {task} vs {peer}: {times[ours][0] / times[peer][0]:.3f}")
                print(f"ratio {task}_cpu vs {peer}: {times[ours][1] / times[peer][1]:.3f}")
    rates = python_threads(os.path.join(build, "src", "libOrvel.so"), files)
    print(f"python read_metadata: 1 thread {rates[1]:.0f} files/s, 2 threads {rates[2]:.0f} "
          f"files/s ({rates[2] / rates[1]:.2f}x)")


if __name__ == "__main__":
    main()
