#!/usr/bin/env python3
"""Writes the update archives of the extraction benchmarks, the same bytes on every machine (fixed
seeds), so runs compare:
  make-update.py ARCHIVE                   B3: 200 MiB in 2000 files of mixed sizes and compressibility
  make-update.py --small FOLDERS ARCHIVE   B6: 100 files of 1-8 KiB in each of FOLDERS folders
                                           (200 for the figure: 20 000 files)"""
import random
import sys
import zipfile

FILES = 2000
TOTAL = 200 * 1024 * 1024
SMALL_PER_FOLDER = 100
SMALL_SIZES = (1024, 8192)
WORDS = ("launcher update archive entry folder window pipe message client record start shortcut "
         "registry value config product language version icon manifest extract replace checksum").split()


def sizes(rng):
    # Mostly small files with a long tail of large ones, as an application folder has; an archiver
    # lists them folder by folder, 100 to a folder here.
    raw = [rng.lognormvariate(0, 1.6) for _ in range(FILES)]
    scale = TOTAL / sum(raw)
    out = [max(1, int(r * scale)) for r in raw]
    out[-1] += TOTAL - sum(out)
    return out


def small_sizes(rng, folders):
    return [rng.randint(*SMALL_SIZES) for _ in range(folders * SMALL_PER_FOLDER)]


def write(path, rng, make_sizes, name_of):
    text = " ".join(rng.choices(WORDS, k=700_000)).encode()  # about 5 MiB of text to cut from
    low = bytes(rng.randrange(16) for _ in range(256)) * 1  # a table for low-entropy bytes
    table = bytes(low[i] for i in range(256))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        for index, size in enumerate(make_sizes(rng)):
            kind = index % 4
            if kind == 0:  # incompressible: media, compressed resources
                data = rng.randbytes(size)
            elif kind == 1:  # text: scripts, configuration, documentation
                data = b""
                while len(data) < size:
                    begin = rng.randrange(len(text) - 1)
                    data += text[begin:begin + size - len(data)]
            elif kind == 2:  # binaries: half-compressible
                data = rng.randbytes(size).translate(table)
            else:  # sparse data: long runs
                data = (bytes(4096) + rng.randbytes(64)) * (size // 4160 + 1)
                data = data[:size]
            name = name_of(index) + ('.bin', '.txt', '.dll', '.dat')[kind]
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            # Made on Windows (create_system 0): its attributes are DOS ones, here the archive attribute
            # alone. zipfile would mark it made on Unix, where the empty high bits read as mode 0,
            # that is read-only.
            info.create_system = 0
            info.external_attr = 0x20
            archive.writestr(info, data)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--small":
        folders = int(sys.argv[2])
        write(sys.argv[3], random.Random(6), lambda rng: small_sizes(rng, folders),
              lambda index: f"small/part{index // SMALL_PER_FOLDER:03d}/file{index:05d}")
    elif len(sys.argv) == 2:
        write(sys.argv[1], random.Random(8), sizes, lambda index: f"app/part{index // 100:02d}/file{index:04d}")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
