#!/usr/bin/env python3
"""Turns the driver's results into docs/BENCHMARKS.md and its chart.
usage: report.py RESULTS STRIPPED_SIZE IMPORTS MACHINE WINE OUT_MD OUT_PNG NOTES_MD
Ratios are of medians taken in one run, the baseline interleaved with the subject; the spread of a
ratio is that of the ratios of the runs paired in each round. Nothing here judges time: a missed
goal is written down, never failed on."""
import datetime
import statistics
import struct
import sys
import zlib
from collections import defaultdict

MIB = 1024 * 1024
UPDATE_BYTES = 200 * MIB


def load(path):
    runs = defaultdict(dict)  # (figure, variant) -> {round: value}
    with open(path) as results:
        for line in results:
            figure, variant, round_, value = line.split()
            runs[(figure, variant)][int(round_)] = float(value)
    return runs


def spread(values):
    values = sorted(values)
    quartiles = statistics.quantiles(values, n=4) if len(values) > 1 else [values[0]] * 3
    return statistics.median(values), values[0], values[-1], quartiles[0], quartiles[2]


def paired(subject, baseline):
    return [subject[r] / baseline[r] for r in subject if r in baseline and baseline[r] > 0]


def ms(us):
    return f"{us / 1000:.1f} ms"


def describe(values, unit):
    median, low, high, q1, q3 = spread(list(values))
    return f"{unit(median)} (IQR {unit(q1)}–{unit(q3)}, range {unit(low)}–{unit(high)}, n={len(values)})"


def ratio_text(subject, baseline):
    ratios = paired(subject, baseline)
    median_ratio = statistics.median(subject.values()) / statistics.median(baseline.values())
    _, low, high, q1, q3 = spread(ratios)
    return median_ratio, f"**{median_ratio:.2f}** (paired: IQR {q1:.2f}–{q3:.2f}, range {low:.2f}–{high:.2f})"


# --- a small PNG bar chart, with no library beyond the standard one -----------------------------

FONT = {  # 5x7 glyphs, one string of five bits per row
    "0": "01110 10001 10011 10101 11001 10001 01110", "1": "00100 01100 00100 00100 00100 00100 01110",
    "2": "01110 10001 00001 00010 00100 01000 11111", "3": "11110 00001 00001 01110 00001 00001 11110",
    "4": "00010 00110 01010 10010 11111 00010 00010", "5": "11111 10000 11110 00001 00001 10001 01110",
    "6": "00110 01000 10000 11110 10001 10001 01110", "7": "11111 00001 00010 00100 01000 01000 01000",
    "8": "01110 10001 10001 01110 10001 10001 01110", "9": "01110 10001 10001 01111 00001 00010 01100",
    ".": "00000 00000 00000 00000 00000 01100 01100", "-": "00000 00000 00000 11111 00000 00000 00000",
    " ": "00000 00000 00000 00000 00000 00000 00000", "<": "00010 00100 01000 10000 01000 00100 00010",
    "=": "00000 00000 11111 00000 11111 00000 00000", "/": "00001 00010 00010 00100 01000 01000 10000",
    "A": "01110 10001 10001 11111 10001 10001 10001", "B": "11110 10001 10001 11110 10001 10001 11110",
    "C": "01110 10001 10000 10000 10000 10001 01110", "D": "11110 10001 10001 10001 10001 10001 11110",
    "E": "11111 10000 10000 11110 10000 10000 11111", "F": "11111 10000 10000 11110 10000 10000 10000",
    "G": "01110 10001 10000 10111 10001 10001 01111", "H": "10001 10001 10001 11111 10001 10001 10001",
    "I": "01110 00100 00100 00100 00100 00100 01110", "K": "10001 10010 10100 11000 10100 10010 10001",
    "L": "10000 10000 10000 10000 10000 10000 11111", "M": "10001 11011 10101 10101 10001 10001 10001",
    "N": "10001 11001 10101 10011 10001 10001 10001", "O": "01110 10001 10001 10001 10001 10001 01110",
    "P": "11110 10001 10001 11110 10000 10000 10000", "R": "11110 10001 10001 11110 10100 10010 10001",
    "S": "01111 10000 10000 01110 00001 00001 11110", "T": "11111 00100 00100 00100 00100 00100 00100",
    "U": "10001 10001 10001 10001 10001 10001 01110", "V": "10001 10001 10001 10001 10001 01010 00100",
    "W": "10001 10001 10001 10101 10101 10101 01010", "X": "10001 10001 01010 00100 01010 10001 10001",
    "Y": "10001 10001 01010 00100 00100 00100 00100", "Z": "11111 00001 00010 00100 01000 10000 11111",
}


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = bytearray(b"\xff" * (width * height * 3))

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(self.height, y1)):
            row = y * self.width * 3
            for x in range(max(0, x0), min(self.width, x1)):
                self.pixels[row + x * 3:row + x * 3 + 3] = bytes(colour)

    def text(self, x, y, text, colour=(0, 0, 0), scale=2):
        for char in text.upper():
            rows = FONT.get(char, FONT[" "]).split()
            for dy, bits in enumerate(rows):
                for dx, bit in enumerate(bits):
                    if bit == "1":
                        self.rect(x + dx * scale, y + dy * scale, x + (dx + 1) * scale, y + (dy + 1) * scale, colour)
            x += 6 * scale

    def png(self):
        raw = b"".join(b"\x00" + bytes(self.pixels[y * self.width * 3:(y + 1) * self.width * 3])
                       for y in range(self.height))

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def chart(bars, path):
    """bars: (label, ratio, goal or None). Log scale from 1/4 to 32, the baseline at 1."""
    import math
    left, width, row = 330, 620, 44
    canvas = Canvas(left + width + 40, 70 + row * len(bars) + 40)
    low, high = math.log2(0.25), math.log2(256)

    def x_of(ratio):
        ratio = min(max(ratio, 0.25), 256)
        return left + int((math.log2(ratio) - low) / (high - low) * width)

    canvas.text(10, 12, "RATIO TO BASELINE - LOG SCALE - BAR = MEDIAN - RED = GOAL - BLUE = REFERENCE")
    for tick in (0.25, 0.5, 1, 2, 4, 8, 16, 32, 64, 128, 256):
        canvas.rect(x_of(tick), 50, x_of(tick) + 1, 60 + row * len(bars), (200, 200, 200))
        canvas.text(x_of(tick) - 10, 64 + row * len(bars), f"{tick:g}".replace("0.", "."), (90, 90, 90))
    for index, (label, ratio, goal) in enumerate(bars):
        y = 60 + row * index
        canvas.text(10, y + 12, label)
        # Grey-blue: for reference, no goal; green: goal met; orange: goal missed.
        colour = (120, 140, 180) if goal is None else (70, 140, 70) if ratio <= goal else (200, 120, 40)
        canvas.rect(x_of(1), y + 6, x_of(ratio), y + row - 6, colour) if ratio >= 1 else \
            canvas.rect(x_of(ratio), y + 6, x_of(1), y + row - 6, colour)
        if goal:
            canvas.rect(x_of(goal) - 1, y + 2, x_of(goal) + 2, y + row - 2, (210, 30, 30))
        canvas.text(min(max(x_of(ratio), x_of(1)) + 6, left + width - 40), y + 14, f"{ratio:.2f}", (0, 0, 0))
    canvas.rect(x_of(1), 50, x_of(1) + 2, 60 + row * len(bars), (0, 0, 0))
    with open(path, "wb") as out:
        out.write(canvas.png())


def main():
    results, size, imports, machine, wine, out_md, out_png, notes = sys.argv[1:9]
    runs = load(results)
    size = int(size)
    imports = imports.split()
    system_dlls = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "shlwapi.dll",
                   "msvcrt.dll", "psapi.dll", "comctl32.dll", "gdi32.dll"}
    only_system = all(name.lower() in system_dlls for name in imports)

    b1, b1_trivial = runs[("B1", "portico")], runs[("B1", "trivial")]
    b1_imports, b1_direct, b1_imports_direct = (runs[("B1", "imports")], runs[("B1", "direct")],
                                                runs[("B1", "imports-direct")])
    b2, b2_box, b2_trivial = runs[("B2", "portico")], runs[("B2", "box")], runs[("B2", "trivial")]
    b2_net = {r: b2[r] - b2_box[r] for r in b2 if r in b2_box}
    b3, b3_miniunz = runs[("B3", "portico")], runs[("B3", "miniunz")]
    b5, b5_trivial, b5_imports = runs[("B5", "portico")], runs[("B5", "trivial")], runs[("B5", "imports")]

    r1, t1 = ratio_text(b1, b1_trivial)
    r1d, t1d = ratio_text(b1, b1_imports_direct)
    r2, t2 = ratio_text(b2_net, b2_trivial)
    r2raw, t2raw = ratio_text(b2, b2_trivial)
    r3, t3 = ratio_text(b3, b3_miniunz)
    r5, t5 = ratio_text(b5, b5_trivial)
    r5i, t5i = ratio_text(b5, b5_imports)

    def throughput(us):
        return f"{UPDATE_BYTES / MIB / (us / 1e6):.0f} MiB/s"

    def mib(value):
        return f"{value / MIB:.1f} MiB"

    def med(values, unit=ms):
        return unit(statistics.median(values.values()))

    verdict = lambda ok: "met" if ok else "**missed**"
    lines = [
        "# Benchmarks",
        "",
        "Written by `make bench` (release build, under Wine and Xvfb with one wineserver kept alive); do not edit",
        "by hand. Each ratio is taken in one run against a baseline run interleaved with the subject, round",
        "by round, after one warm-up round that is not kept. Times are wall-clock on a machine that may be",
        "shared, so the ratios matter more than the absolute figures. Spread: the interquartile range and the",
        "whole range; the spread of a ratio is that of the ratios of the runs paired in each round.",
        "",
        f"- Date: {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC",
        f"- Machine: {machine}",
        f"- Wine: {wine}",
        "",
        "![Ratios to baseline](benchmarks.png)",
        "",
        "| Figure | Subject: median and spread | Baseline: median and spread | Ratio | Goal | |",
        "|---|---|---|---|---|---|",
        f"| B1 start road | {describe(b1.values(), ms)} | trivial program: {describe(b1_trivial.values(), ms)} "
        f"| {t1} | ≤ 1.15 | {verdict(r1 <= 1.15)} |",
        f"| B2 hand-off, box wait taken out | {describe(b2_net.values(), ms)} | trivial program: "
        f"{describe(b2_trivial.values(), ms)} | {t2} | ≤ 1.25 | {verdict(r2 <= 1.25)} |",
        f"| B2 box-dismissal wait (reported apart) | {describe(b2_box.values(), ms)} | — | — | — | |",
        f"| B3 update apply (200 MiB, 2000 files) | {describe(b3.values(), ms)}, {throughput(statistics.median(b3.values()))} "
        f"| miniunz: {describe(b3_miniunz.values(), ms)}, {throughput(statistics.median(b3_miniunz.values()))} "
        f"| {t3} | ≤ 1.10 | {verdict(r3 <= 1.10)} |",
        f"| B4 binary | stripped Portico.exe: {size / MIB:.2f} MiB ({size} bytes); imports: "
        f"{', '.join(imports)} | — | — | ≤ 1.0 MiB, system DLLs only | "
        f"size {verdict(size <= MIB)}, imports {verdict(only_system)} |",
        f"| B5 memory (peak working set) | {describe(b5.values(), mib)} | trivial program: "
        f"{describe(b5_trivial.values(), mib)} | {t5} | ≤ 1.5 | {verdict(r5 <= 1.5)} |",
        "",
        "## Where the time and memory go",
        "",
        "Reference runs, interleaved with the figures above (medians):",
        "",
        "| Run | Median | Launcher's figure against it |",
        "|---|---|---|",
        f"| B1: trivial program (no DLL beyond kernel32 and msvcrt) | {med(b1_trivial)} | {r1:.2f} |",
        f"| B1: trivial program with the launcher's DLLs (user32, shell32, ole32, advapi32, shlwapi) "
        f"| {med(b1_imports)} | {statistics.median(b1.values()) / statistics.median(b1_imports.values()):.2f} |",
        f"| B1: trivial program starting SampleClient (two bare starts) | {med(b1_direct)} "
        f"| {statistics.median(b1.values()) / statistics.median(b1_direct.values()):.2f} |",
        f"| B1: the same with the launcher's DLLs (the floor of any launcher that links them) "
        f"| {med(b1_imports_direct)} | {t1d} |",
        f"| B2: launcher start to its box seen | {med(runs[('B2', 'to-box')])} | |",
        f"| B2: box seen to box gone | {med(b2_box)} | |",
        f"| B2: trivial program with the launcher's DLLs showing the same box: start to box seen "
        f"| {med(runs[('B2', 'trivial-to-box')])} "
        f"| {statistics.median(runs[('B2', 'to-box')].values()) / statistics.median(runs[('B2', 'trivial-to-box')].values()):.2f} |",
        f"| B2: the same, box seen to box gone | {med(runs[('B2', 'trivial-box')])} | |",
        f"| B2: box gone to the message's arrival in the client | {med(runs[('B2', 'after-box')])} | |",
        f"| B2: hand-off as measured, box wait included | {med(b2)} | {r2raw:.2f} |",
        f"| B5: trivial program with the launcher's DLLs | {med(b5_imports, mib)} | {t5i} |",
        "",
        "The launcher's own steps on the start road, each timed once in a fresh process (medians, the",
        "steps in the order the launcher takes them):",
        "",
        "| Step | Median | Range |",
        "|---|---|---|",
    ]
    steps = [(variant, values) for (figure, variant), values in runs.items() if figure == "B1step"]
    total = 0.0
    for variant, values in steps:
        median, low, high, _, _ = spread(list(values.values()))
        total += median
        lines.append(f"| {variant} | {median / 1000:.2f} ms | {low / 1000:.2f}–{high / 1000:.2f} ms |")
    lines += [f"| all steps | {total / 1000:.2f} ms | |", ""]
    with open(notes) as extra:
        lines.append(extra.read().rstrip() + "\n")
    with open(out_md, "w") as out:
        out.write("\n".join(lines))
    chart([("B1 START ROAD", r1, 1.15), ("B1 VS 2 STARTS SAME DLLS", r1d, None), ("B2 HAND-OFF NET", r2, 1.25),
           ("B2 WITH BOX WAIT", r2raw, None), ("B3 UPDATE APPLY", r3, 1.10), ("B4 SIZE / 1 MIB", size / MIB, 1.0),
           ("B5 PEAK MEMORY", r5, 1.5), ("B5 VS SAME DLLS", r5i, None)], out_png)
    for line in lines[14:21]:
        print(line)


if __name__ == "__main__":
    main()
