#!/usr/bin/env python3
"""Writes the update archive of the extraction benchmark: 200 MiB in 2000 files of mixed sizes
and compressibility, the same bytes on every machine (a fixed seed), so runs compare.
usage: make-update.py ARCHIVE"""
import random
import sys
import zipfile

FILES = 2000
TOTAL = 200 * 1024 * 1024
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


def main():
    rng = random.Random(8)
    text = " ".join(rng.choices(WORDS, k=700_000)).encode()  # about 5 MiB of text to cut from
    low = bytes(rng.randrange(16) for _ in range(256)) * 1  # a table for low-entropy bytes
    table = bytes(low[i] for i in range(256))
    with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        for index, size in enumerate(sizes(rng)):
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
            name = f"app/part{index // 100:02d}/file{index:04d}.{('bin', 'txt', 'dll', 'dat')[kind]}"
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0x20  # the archive attribute, as a Windows archiver writes it
            archive.writestr(info, data)


if __name__ == "__main__":
    main()
