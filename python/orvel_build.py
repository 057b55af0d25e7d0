"""A build backend that packs the pure-Python package into a wheel with the standard library
alone: `pip install ./python` works without fetching setuptools or anything else."""
import base64
import hashlib
import os
import zipfile

NAME = "orvel"
VERSION = "1.1.0"
HERE = os.path.dirname(os.path.abspath(__file__))
DIST_INFO = f"{NAME}-{VERSION}.dist-info"
METADATA = (f"Metadata-Version: 2.1\nName: {NAME}\nVersion: {VERSION}\n"
            "Summary: Photo and video metadata, images and palettes through libOrvel\n"
            "Requires-Python: >=3.9\n")
WHEEL = "Wheel-Version: 1.0\nGenerator: orvel_build\nRoot-Is-Purelib: true\nTag: py3-none-any\n"


def _package_files():
    root = os.path.join(HERE, NAME)
    for directory, _, names in sorted(os.walk(root)):
        for name in sorted(names):
            if name.endswith(".py"):
                path = os.path.join(directory, name)
                yield path, os.path.relpath(path, HERE).replace(os.sep, "/")


def _record_line(arcname, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{arcname},sha256={digest},{len(data)}\n"


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    filename = f"{NAME}-{VERSION}-py3-none-any.whl"
    record = ""
    with zipfile.ZipFile(os.path.join(wheel_directory, filename), "w",
                         zipfile.ZIP_DEFLATED) as wheel:
        entries = [(arc, open(path, "rb").read()) for path, arc in _package_files()]
        entries += [(f"{DIST_INFO}/METADATA", METADATA.encode()),
                    (f"{DIST_INFO}/WHEEL", WHEEL.encode())]
        for arcname, data in entries:
            wheel.writestr(arcname, data)
            record += _record_line(arcname, data)
        wheel.writestr(f"{DIST_INFO}/RECORD", record + f"{DIST_INFO}/RECORD,,\n")
    return filename


def get_requires_for_build_wheel(config_settings=None):
    return []
