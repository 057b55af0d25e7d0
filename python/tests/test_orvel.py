"""The Python package against the library's own answers, peers (Pillow) and round trips."""
import ctypes
import gc
import json
import os
import shutil
import sys
import threading
import time

import numpy as np
import pytest
from PIL import Image as PillowImage

import orvel
from orvel._lib import lib

PHOTO = os.environ["ORVEL_TEST_PHOTO"]
PHOTO_GPS = (-33.89127777777778, 151.27419444444445, 12.5)


def test_read_metadata_from_path_and_bytes_agrees_with_the_json():
    by_path = orvel.read_metadata(PHOTO)
    with open(PHOTO, "rb") as file:
        by_bytes = orvel.read_metadata(file.read())
    document = json.loads(by_path.json)
    for meta in (by_path, by_bytes):
        assert meta.is_valid and meta.tags == document["tags"] and len(meta.tags) > 20
        assert (meta.camera, meta.software) == (document["camera"], document["software"])
        assert meta.orientation == 1 and meta.gps == pytest.approx(PHOTO_GPS)
    assert by_path.json == by_bytes.json


def test_read_failures_raise_and_files_without_metadata_do_not(tmp_path):
    with pytest.raises(FileNotFoundError):
        orvel.read_metadata(tmp_path / "missing.jpg")
    with pytest.raises(IsADirectoryError):
        orvel.read_metadata(tmp_path)
    os.mkfifo(tmp_path / "pipe")
    with pytest.raises(OSError, match="not a regular file"):
        orvel.read_metadata(tmp_path / "pipe")
    plain = orvel.read_metadata(b"no image here")
    assert (plain.is_valid, plain.tags, plain.gps, plain.orientation) == (False, {}, None, None)


def test_strip_and_strip_bytes(tmp_path):
    clean = tmp_path / "clean.jpg"
    orvel.strip(PHOTO, clean)
    assert orvel.read_metadata(clean).tags == {}
    with open(PHOTO, "rb") as file:
        assert orvel.strip_bytes(file.read()) == clean.read_bytes()
    with pytest.raises(orvel.OrvelError) as caught:
        orvel.strip_bytes(b"plain text")
    assert caught.value.status == 4
    assert caught.value.message == lib.ov_exif_strerror(4).decode()


def test_edit_writes_on_a_clean_exit_only(tmp_path):
    copy = tmp_path / "photo.jpg"
    shutil.copy(PHOTO, copy)
    with orvel.edit(copy) as e:
        e["Artist"] = "Jane Doe"
        e.gps = (48.8584, 2.2945, 35.0)
        e.software = "orvel test"
    meta = orvel.read_metadata(copy)
    assert (meta.tags["Artist"], meta.software) == ("Jane Doe", "orvel test")
    assert meta.gps == pytest.approx((48.8584, 2.2945, 35.0), abs=1e-4)
    assert meta.tags["Model"] == orvel.read_metadata(PHOTO).tags["Model"]
    before = copy.read_bytes()
    with pytest.raises(orvel.OrvelError) as caught:
        with orvel.edit(copy) as e:
            e["Artist"] = "Somebody Else"
            e["NoSuchTag"] = "1"
    assert caught.value.status == 4 and copy.read_bytes() == before
    with orvel.edit(before) as e:
        e["Artist"] = "From bytes"
    assert orvel.read_metadata(e.result).tags["Artist"] == "From bytes"


def test_images_round_trip_through_files_numpy_and_pillow(tmp_path):
    rng = np.random.default_rng(7)
    for shape, mode, formats in (((5, 7), "L", ("png", "pgm", "tga")),
                                 ((5, 7, 3), "RGB", ("png", "ppm", "qoi", "bmp", "tga")),
                                 ((6, 4, 4), "RGBA", ("png", "pam", "qoi", "tga"))):
        pixels = rng.integers(0, 256, shape, dtype=np.uint8)
        image = orvel.Image.from_array(pixels)
        assert (image.mode, image.size) == (mode, (shape[1], shape[0]))
        for name in formats:
            image.save(tmp_path / f"x.{name}")
            with orvel.Image.open(tmp_path / f"x.{name}") as back:
                assert np.array_equal(np.asarray(back).reshape(shape), pixels), name
            if name in ("qoi", "pam"):
                continue  # Debian's Pillow reads neither QOI nor PAM
            with PillowImage.open(tmp_path / f"x.{name}") as peer:
                assert np.array_equal(np.asarray(peer).reshape(shape), pixels), name
        picture = image.to_pillow()
        assert picture.mode == mode and np.array_equal(np.asarray(picture).reshape(shape), pixels)
        assert np.array_equal(np.asarray(orvel.Image.from_pillow(picture)).reshape(shape), pixels)
    view = np.asarray(image)
    pointer, _ = image._pixels()
    assert view.ctypes.data == ctypes.addressof(pointer.contents)  # no copy
    image.close()
    del image, pointer
    gc.collect()
    assert np.array_equal(view, pixels)  # the array keeps the pixels alive
    with pytest.raises(orvel.OrvelError) as caught:
        orvel.Image.from_bytes(b"not an image at all")
    assert caught.value.status in (2, 4) and caught.value.message


def test_transforms_agree_with_pillow_and_follow_the_stored_orientation(tmp_path):
    from PIL import ImageOps
    pixels = np.random.default_rng(3).integers(0, 256, (10, 16, 3), dtype=np.uint8)
    image, peer = orvel.Image.from_array(pixels), PillowImage.fromarray(pixels)
    same = lambda ours, theirs: np.array_equal(np.asarray(ours), np.asarray(theirs))
    for angle in (0, 90, 180, 270, -90):
        assert same(image.rotate(angle), peer.rotate(angle, expand=True)), angle
    assert same(image.flip("horizontal"), ImageOps.mirror(peer))
    assert same(image.flip("vertical"), ImageOps.flip(peer))
    assert same(image.crop((3, 2, 11, 9)), peer.crop((3, 2, 11, 9)))
    assert same(image.resize((32, 20), "nearest"), peer.resize((32, 20), PillowImage.NEAREST))
    halved = np.asarray(image.resize((8, 5))).astype(int)  # box: the mean of each 2x2 square
    assert np.abs(halved - pixels.reshape(5, 2, 8, 2, 3).mean(axis=(1, 3))).max() <= 0.5
    for bad in (lambda: image.rotate(45), lambda: image.resize((4, 4), "lanczos"),
                lambda: image.crop((0, 0, 17, 4)), lambda: image.resize((0, 3))):
        with pytest.raises((ValueError, orvel.OrvelError)):
            bad()
    for orientation in range(1, 9):
        exif = PillowImage.Exif()
        exif[0x0112] = orientation
        peer.save(tmp_path / "o.png", exif=exif)
        with orvel.Image.open(tmp_path / "o.png") as stored:
            assert stored.orientation == orientation
            upright = ImageOps.exif_transpose(PillowImage.open(tmp_path / "o.png"))
            assert same(stored.orient(), upright), orientation
            small = stored.thumbnail((8, 8))
            assert small.size == ((8, 5) if orientation < 5 else (5, 8)), orientation
            assert stored.thumbnail((100, 100)).size == upright.size  # never enlarged
    assert orvel.Image.from_array(pixels).orient().orientation == 1
    photo = orvel.Image.open(PHOTO)
    sizes = []
    for quality in (95, 30):
        photo.save(tmp_path / f"q{quality}.jpg", quality=quality)
        sizes.append(os.path.getsize(tmp_path / f"q{quality}.jpg"))
        with PillowImage.open(tmp_path / f"q{quality}.jpg") as back:
            error = np.abs(np.asarray(back).astype(int) - np.asarray(photo)).mean()
            assert back.format == "JPEG" and error < (3 if quality == 95 else 10), error
    assert sizes[0] > sizes[1]


def test_palette_names_spaces_and_algorithms():
    halves = np.zeros((8, 8, 3), dtype=np.uint8)
    halves[:, :4, 0] = 255
    halves[:, 4:, 2] = 255
    image = orvel.Image.from_array(halves)
    colours = {tuple(round(c, 3) for c in colour) for colour in image.palette(4, space="srgb")}
    assert colours == {(1.0, 0.0, 0.0), (0.0, 0.0, 1.0)}
    assert len(image.palette(2, algo="kmeans", seed=3)) == 2
    with pytest.raises(orvel.OrvelError) as caught:
        image.palette(4, algo="nosuch")
    assert caught.value.status == 4


def test_calls_into_the_library_let_other_threads_run():
    rng = np.random.default_rng(1)
    big = orvel.Image.from_array(rng.integers(0, 256, (256, 256, 3), dtype=np.uint8))
    count, running = 0, True

    def spin():
        nonlocal count
        while running:
            count += 1
            time.sleep(0)  # lets go of the GIL, so the main thread can always come back

    previous = sys.getswitchinterval()
    sys.setswitchinterval(100.0)  # threads change only where one lets go of the GIL
    spinner = threading.Thread(target=spin)
    try:
        spinner.start()
        time.sleep(0.05)
        before = count
        big.palette(16, algo="kmeans")
        after = count
    finally:
        running = False
        spinner.join()
        sys.setswitchinterval(previous)
    assert after > before


def test_dask_frame_on_a_local_cluster_of_two_processes(tmp_path):
    from dask.distributed import Client, LocalCluster

    import orvel.dask

    paths = []
    for index in range(6):
        paths.append(tmp_path / f"p{index}.jpg")
        shutil.copy(PHOTO, paths[-1])
    with orvel.edit(paths[2]) as e:
        e.gps = (10.5, -20.25, 3.0)
    (tmp_path / "note.txt").write_text("no metadata")
    paths += [tmp_path / "missing.jpg", tmp_path / "note.txt"]
    shutil.copy(PHOTO, tmp_path / "p1.jpeg")  # its thumbnail would replace p1.jpg's
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        frame = orvel.dask.read_metadata(paths, npartitions=3)
        assert frame.npartitions == 3 and list(frame.columns) == list(orvel.dask.COLUMNS)
        rows = frame.compute()
        assert len(client.scheduler_info()["workers"]) == 2
        results = orvel.dask.thumbnails(paths + [tmp_path / "p1.jpeg"], tmp_path / "small",
                                        fit=(40, 40), npartitions=3).compute()
    assert [r["path"] for r in results] == [str(p) for p in paths + [tmp_path / "p1.jpeg"]]
    assert [r["status"] for r in results] == ["ok"] * 6 + ["error"] * 3
    assert "p1.jpg" in results[8]["error"] and results[8]["output"] is None
    assert sorted(os.listdir(tmp_path / "small")) == [f"p{i}.jpg" for i in range(6)]
    assert results[0]["output"] == str(tmp_path / "small" / "p0.jpg")
    with PillowImage.open(results[0]["output"]) as small:
        assert small.format == "JPEG" and small.size == (40, 30) == (results[0]["width"],
                                                                     results[0]["height"])
    assert list(rows["path"]) == [str(p) for p in paths]
    assert list(rows["status"]) == ["ok"] * 6 + ["error", "ok"]
    assert "No such file" in rows.iloc[6]["error"]
    first, moved, note = rows.iloc[0], rows.iloc[2], rows.iloc[7]
    expected = orvel.read_metadata(PHOTO)
    assert json.loads(first["tags"]) == expected.tags
    assert (first["camera"], first["software"], first["date"], first["orientation"]) == (
        expected.camera, expected.software, "2023:07:14 09:30:00", 1)
    assert (first["latitude"], first["longitude"], first["altitude"]) == pytest.approx(PHOTO_GPS)
    assert (moved["latitude"], moved["longitude"]) == pytest.approx((10.5, -20.25), abs=1e-4)
    assert note["camera"] is None and np.isnan(note["latitude"]) and note["tags"] == "{}"
