#!/usr/bin/env python3
"""Turns the driver's results into docs/BENCHMARKS.md and its chart.
usage: report.py RESULTS STRIPPED_SIZE IMPORTS MACHINE WINE DISK OUT_MD OUT_PNG NOTES_MD LAST_JSON
       report.py --compare RESULTS STRIPPED_SIZE LAST_JSON
       report.py --last RESULTS STRIPPED_SIZE MACHINE NOTE LAST_JSON
       report.py --b9 B9_RESULTS PACKAGE_BYTES OUT_MD   (B9 alone: its section of OUT_MD is replaced)
The first writes the page, and LAST_JSON with the figures it shows; the second prints the figures
of RESULTS beside those of LAST_JSON, each flagged that lies outside the spread the last run's paired
ratios had (the size: any change). The third writes LAST_JSON alone from a run that was cut short,
with NOTE saying so.
Ratios are of medians taken in one run, the baseline interleaved with the subject; the spread of a
ratio is that of the ratios of the runs paired in each round. Nothing here judges time: a missed
goal is written down, never failed on."""
import datetime
import json
import re
import statistics
import sys
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
    # Inclusive: with few values the exclusive method reaches past the range.
    quartiles = statistics.quantiles(values, n=4, method="inclusive") if len(values) > 1 else [values[0]] * 3
    return statistics.median(values), values[0], values[-1], quartiles[0], quartiles[2]


def paired(subject, baseline):
    return [subject[r] / baseline[r] for r in subject if r in baseline and baseline[r] > 0]


FLOOR = "floor: the launcher's DLLs, client by CreateProcessW"


def paired_median(subject, baseline):
    return statistics.median(paired(subject, baseline))


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


# --- the figures kept from run to run ------------------------------------------------------------

# Each figure a ratio: (name, what, subject, baseline). The floor is the trivial program with the
# launcher's DLLs starting the same client as the launcher does (CreateProcessW, the same flags).
FIGURES = (
    ("B1", "start road : floor", ("B1", "portico"), ("B1", "imports-direct")),
    ("B1-trivial", "start road : trivial program", ("B1", "portico"), ("B1", "trivial")),
    ("B2", "hand-off, box wait out : trivial program", ("B2", "net"), ("B2", "trivial")),
    ("B3", "update apply : miniunz", ("B3", "portico"), ("B3", "miniunz")),
    ("B5", "peak working set : floor", ("B5", "portico"), ("B5", "floor")),
    ("B5-imports", "peak working set : the DLLs alone", ("B5", "portico"), ("B5", "imports")),
    ("B6", "many small files : miniunz", ("B6", "portico"), ("B6", "miniunz")),
    ("B7", "signed update : unsigned", ("B3", "signed"), ("B3", "portico")),
)


def with_net_hand_off(runs):
    b2, box = runs.get(("B2", "portico")), runs.get(("B2", "box"))
    if b2 and box:
        runs[("B2", "net")] = {r: b2[r] - box[r] for r in b2 if r in box}
    return runs


def summary(runs, size):
    figures = {}
    for name, what, subject_key, baseline_key in FIGURES:
        subject, baseline = runs.get(subject_key), runs.get(baseline_key)
        ratios = paired(subject, baseline) if subject and baseline else []
        if not ratios:
            continue
        _, low, high, q1, q3 = spread(ratios)
        figures[name] = {"what": what, "subject": statistics.median(subject.values()),
                         "baseline": statistics.median(baseline.values()),
                         "ratio": statistics.median(subject.values()) / statistics.median(baseline.values()),
                         "paired": {"median": statistics.median(ratios), "q1": q1, "q3": q3, "low": low,
                                    "high": high, "n": len(ratios)}}
    figures["B4"] = {"what": "stripped Portico.exe, bytes", "size": size}
    return figures


def compare(figures, last_path):
    """Prints each figure beside the last full run's; answers the names of those that moved."""
    try:
        with open(last_path) as last_file:
            last_run = json.load(last_file)
        last = last_run["figures"]
        print(f"last run: {last_run['date']}, {last_run['machine']}" +
              (f" ({last_run['note']})" if last_run.get("note") else ""))
    except (OSError, ValueError, KeyError):
        last = {}
    moved = []
    print(f"{'figure':<11} {'what':<42} {'now':>7} {'paired now':>17} {'last run':>8} {'its paired range':>17}")
    for name, figure in figures.items():
        before = last.get(name)
        if name == "B4":
            flag = before is not None and before.get("size") != figure["size"]
            was = f"{before['size']}" if before else "—"
            print(f"{name:<11} {figure['what']:<42} {figure['size']:>7} {'':>17} {was:>8} {'':>17}"
                  f"{'  MOVED' if flag else ''}")
        else:
            now = figure["paired"]
            flag = before is not None and not before["paired"]["low"] <= now["median"] <= before["paired"]["high"]
            was = f"{before['paired']['median']:.3f}" if before else "—"
            was_range = f"{before['paired']['low']:.3f}–{before['paired']['high']:.3f}" if before else ""
            print(f"{name:<11} {figure['what']:<42} {figure['ratio']:>7.3f} "
                  f"{now['median']:>7.3f} ({now['low']:.2f}–{now['high']:.2f}) {was:>8} {was_range:>17}"
                  f"{'  MOVED' if flag else ''}")
        if flag:
            moved.append(name)
    if moved:
        print("moved beyond the last run's spread: " + ", ".join(moved))
    return moved


# --- the chart ----------------------------------------------------------------------------------

def chart(bars, path):
    """bars: (label, paired ratios, ratio of medians, goal or None). One row a figure, log scale, the
    baseline at 1: the bar is the ratio of the medians, the box the paired IQR, the whisker the paired
    range; the goal is a red mark, and the colour says met (green), missed (orange) or reference (grey)."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.ticker import FixedLocator, NullLocator

    height = 0.6 + 0.48 * len(bars)
    figure, axes = plt.subplots(figsize=(11, height), dpi=110)
    rows = list(range(len(bars)))[::-1]
    low_edge, high_edge = 0.2, 400
    for y, (label, ratios, ratio, goal) in zip(rows, bars):
        colour = "#8c9cb8" if goal is None else "#4a9a4a" if ratio <= goal else "#d98a2b"
        left, right = (1, ratio) if ratio >= 1 else (ratio, 1)
        axes.barh(y, right - left, left=left, height=0.62, color=colour, alpha=0.55, edgecolor=colour)
        reach = max(ratio, 1, goal or 0)
        if ratios and len(ratios) > 1:
            # Kept on the scale: a ratio is never below zero, but a net time taken from two may be.
            _, low, high, q1, q3 = (max(value, low_edge) for value in spread(ratios))
            reach = max(reach, high)
            axes.plot([low, high], [y, y], color="black", linewidth=0.9)
            axes.add_patch(plt.Rectangle((q1, y - 0.14), q3 - q1, 0.28, facecolor="white", edgecolor="black",
                                         linewidth=0.9, zorder=3))
        if goal is not None:
            axes.plot([goal, goal], [y - 0.38, y + 0.38], color="#d22020", linewidth=2.4, zorder=4)
        verdict = "" if goal is None else f"  goal ≤ {goal:g}: " + ("met" if ratio <= goal else "missed")
        spread_text = ""
        if ratios and len(ratios) > 1:
            _, low, high, q1, q3 = spread(ratios)
            spread_text = f"  (IQR {q1:.2f}–{q3:.2f}, n={len(ratios)})"
        axes.text(reach * 1.12, y, f"{ratio:.2f}{spread_text}{verdict}", va="center", fontsize=8.5,
                  fontweight="bold" if goal is not None else "normal")
    axes.axvline(1, color="black", linewidth=1.2)
    axes.set_xscale("log")
    axes.set_xlim(low_edge, high_edge)
    ticks = [0.25, 0.5, 1, 1.5, 2, 4, 8, 16, 32, 64, 128]
    axes.xaxis.set_major_locator(FixedLocator(ticks))
    axes.xaxis.set_minor_locator(NullLocator())
    axes.set_xticklabels([f"{tick:g}" for tick in ticks])
    axes.set_yticks(rows)
    axes.set_yticklabels([bar[0] for bar in bars], fontsize=9)
    axes.set_ylim(-0.6, len(bars) - 0.4)
    axes.grid(axis="x", color="#dddddd", linewidth=0.6)
    axes.set_axisbelow(True)
    axes.set_xlabel("ratio to the baseline (log scale; left of 1 is faster or smaller than the baseline)")
    axes.set_title("Bar: ratio of medians · box: paired IQR · whisker: paired range · red: goal · "
                   "green met, orange missed, grey for reference", fontsize=9)
    figure.tight_layout()
    # Reproducible bytes for the same figures: no date in the file.
    figure.savefig(path, metadata={"Software": None})
    plt.close(figure)


def previous_size(page):
    """The stripped size the page reported last time, if there is such a page."""
    try:
        with open(page) as old:
            found = re.search(r"^\| B4 binary \| stripped Portico\.exe: [^|]*\((\d+) bytes\)", old.read(), re.M)
    except OSError:
        return None
    return int(found.group(1)) if found else None


# What each step of the launcher's road is, in the order of bench/memory-steps.txt.
STEP_TEXT = {
    "loader": "the loader: the image and its DLLs mapped, their start",
    "runtime": "the C and C++ runtime's start (static constructors)",
    "command-line": "the command line: the DLL search, a pass runner's switch, forcerun",
    "config": "the configuration (ProductConfig.xml) and the launcher's location",
    "log-file": "the log file (LogFile; absent here)",
    "first-records": "the first records (the configuration's), the link in the command line",
    "running-copies": "the look for a running copy (process snapshots)",
    "folder-judgement": "the installation folder's judgement (its owner and rights)",
    "registration": "the protocol's registration",
    "records": "the working folder; the target's and parameters' records",
    "update-lock": "the update lock",
    "update-trust": "the update's trust (the key's parse, when there is a key)",
    "update-staging": "the update's staging (temp's leftovers)",
    "update-extraction": "the update's extraction (no update.zip: a look)",
    "shortcut-and-keys": "the shortcut's check, the keys, the shortcut's arguments",
    "target-start": "the client's start (CreateProcessW)",
    "exit": "the start's record and the exit",
}


def memory_by_step(runs, mib):
    """The peak working set at each step's end (medians), what each step added, and the floor's."""
    launcher = [(variant, values) for (figure, variant), values in runs.items() if figure == "B5step"]
    floor = {variant: values for (figure, variant), values in runs.items() if figure == "B5floorstep"}
    if not launcher:
        return [""]
    lines = [
        "",
        "B5 by step: the launcher and the floor run as debuggees with a breakpoint at the entry of the",
        "function that begins each next step (addresses from `nm`, `bench/memory-steps.txt`), and at",
        "`RtlExitUserProcess`; the peak working set read at each (medians; the peak only grows, so what a step",
        "adds is the difference). Under Wine the working set is the Unix process's resident set: Wine's own",
        "libraries and each DLL's Unix side are in it, and a page counts once touched.",
        "",
        "| Step | Launcher: peak at its end | Added by it | Floor: peak at its end |",
        "|---|---|---|---|",
    ]
    previous = 0.0
    for variant, values in launcher:
        peak = statistics.median(values.values())
        added = "" if previous == 0 else f"{(peak - previous) / 1024:+.0f} KiB"
        theirs = mib(statistics.median(floor[variant].values())) if variant in floor else ""
        lines.append(f"| {STEP_TEXT.get(variant, variant)} | {mib(peak)} | {added} | {theirs} |")
        previous = peak
    return lines + [""]


def write_last(path, machine, figures, note=None):
    record = {"date": f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC", "machine": machine,
              "figures": figures}
    if note:
        record["note"] = note
    with open(path, "w") as out:
        json.dump(record, out, indent=1, ensure_ascii=False)
        out.write("\n")


def main():
    if sys.argv[1] == "--last":
        results, size, machine, note, last = sys.argv[2:7]
        write_last(last, machine, summary(with_net_hand_off(load(results)), int(size)), note)
        return
    if sys.argv[1] == "--compare":
        results, size, last = sys.argv[2:5]
        compare(summary(with_net_hand_off(load(results)), int(size)), last)
        return
    results, size, imports, machine, wine, disk, out_md, out_png, notes, last = sys.argv[1:11]
    runs = with_net_hand_off(load(results))
    size = int(size)
    before = previous_size(out_md)
    size_change = "" if before is None else f"; {size - before:+d} bytes against the page's previous run, {before} bytes"
    imports = imports.split()
    system_dlls = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "shlwapi.dll",
                   "msvcrt.dll", "psapi.dll", "comctl32.dll", "gdi32.dll"}
    only_system = all(name.lower() in system_dlls for name in imports)

    b1, b1_trivial = runs[("B1", "portico")], runs[("B1", "trivial")]
    b1_imports, b1_direct, b1_imports_direct = (runs[("B1", "imports")], runs[("B1", "direct")],
                                                runs[("B1", "imports-direct")])
    b2, b2_box, b2_trivial = runs[("B2", "portico")], runs[("B2", "box")], runs[("B2", "trivial")]
    b2_net = runs[("B2", "net")]
    b3, b3_miniunz = runs[("B3", "portico")], runs[("B3", "miniunz")]
    b6, b6_miniunz = runs[("B6", "portico")], runs[("B6", "miniunz")]
    b7 = runs[("B3", "signed")]
    b5, b5_trivial, b5_imports = runs[("B5", "portico")], runs[("B5", "trivial")], runs[("B5", "imports")]
    b5_floor = runs[("B5", "floor")]

    r1, t1 = ratio_text(b1, b1_trivial)
    r1d, t1d = ratio_text(b1, b1_imports_direct)
    r2, t2 = ratio_text(b2_net, b2_trivial)
    r2raw, t2raw = ratio_text(b2, b2_trivial)
    r3, t3 = ratio_text(b3, b3_miniunz)
    r6, t6 = ratio_text(b6, b6_miniunz)
    r7, t7 = ratio_text(b7, b3)
    r5, t5 = ratio_text(b5, b5_trivial)
    r5i, t5i = ratio_text(b5, b5_imports)
    r5f, t5f = ratio_text(b5, b5_floor)

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
        f"- Disk of the update figures: {disk} (the build tree's); the same runs on a tmpfs are under "
        "\"Update: where the time goes\"",
        "",
        "![Ratios to baseline](benchmarks.png)",
        "",
        "| Figure | Subject: median and spread | Baseline: median and spread | Ratio | Goal | |",
        "|---|---|---|---|---|---|",
        f"| B1 start road | {describe(b1.values(), ms)} | {FLOOR}: {describe(b1_imports_direct.values(), ms)} "
        f"| {t1d} | ≤ 1.10 | {verdict(paired_median(b1, b1_imports_direct) <= 1.10)} |",
        f"| B1 start road, for reference | (the same) | trivial program: {describe(b1_trivial.values(), ms)} "
        f"| {t1} | ≤ 1.15 | {verdict(r1 <= 1.15)} |",
        f"| B2 hand-off, box wait taken out | {describe(b2_net.values(), ms)} | trivial program: "
        f"{describe(b2_trivial.values(), ms)} | {t2} | ≤ 1.25 | {verdict(r2 <= 1.25)} |",
        f"| B2 box-dismissal wait (reported apart) | {describe(b2_box.values(), ms)} | — | — | — | |",
        f"| B3 update apply (200 MiB, 2000 files) | {describe(b3.values(), ms)}, {throughput(statistics.median(b3.values()))} "
        f"| miniunz: {describe(b3_miniunz.values(), ms)}, {throughput(statistics.median(b3_miniunz.values()))} "
        f"| {t3} | ≤ 1.25 | {verdict(r3 <= 1.25)} |",
        f"| B4 binary | stripped Portico.exe: {size / MIB:.2f} MiB ({size} bytes{size_change}); imports: "
        f"{', '.join(imports)} | — | — | ≤ 1.0 MiB, system DLLs only | "
        f"size {verdict(size <= MIB)}, imports {verdict(only_system)} |",
        f"| B5 memory (peak working set) | {describe(b5.values(), mib)} | {FLOOR}: "
        f"{describe(b5_floor.values(), mib)} | {t5f} | ≤ 1.15 | {verdict(paired_median(b5, b5_floor) <= 1.15)} |",
        f"| B5 memory, for reference | (the same) | old floor, the launcher's DLLs without the client's start: "
        f"{describe(b5_imports.values(), mib)} | {t5i} | — | |",
        f"| B5 memory, for reference | (the same) | trivial program: "
        f"{describe(b5_trivial.values(), mib)} | {t5} | ≤ 1.5 | {verdict(r5 <= 1.5)} |",
        f"| B6 many small files (20 000 of 1–8 KiB in 200 folders) | {describe(b6.values(), ms)} "
        f"| miniunz: {describe(b6_miniunz.values(), ms)} | {t6} | ≤ 1.5 | {verdict(r6 <= 1.5)} |",
        f"| B7 signed update (B3's archive, its signature checked first) | {describe(b7.values(), ms)} "
        f"| B3, the launcher unsigned: {describe(b3.values(), ms)} | {t7} | ≤ 1.15 | {verdict(r7 <= 1.15)} |",
    ]
    if runs.get(("B8", "pack")) and runs.get(("B8", "patch-bytes")):
        patch, full = runs[("B8", "patch-bytes")][0], runs[("B8", "full-bytes")][0]
        r8, t8 = ratio_text(runs[("B8", "pack")], runs[("B8", "zip")])
        lines += [
            f"| B8 bytes of a patch (1 file of B3's 2000 changed, `portico-pack make --from`) | {patch:.0f} bytes "
            f"| the whole package: {full:.0f} bytes | {100 * patch / full:.3f} % | ≤ 1 % | {verdict(patch <= full / 100)} |",
            f"| B8 `portico-pack make` of B3's tree (Linux) | {describe(runs[('B8', 'pack')].values(), ms)} "
            f"| `zip -r -6`: {describe(runs[('B8', 'zip')].values(), ms)} | {t8} | ≤ 1.5 | {verdict(r8 <= 1.5)} |",
        ]
    lines += [
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
        f"| B1: the same with the launcher's DLLs, the client started as the launcher starts it ({FLOOR}) "
        f"| {med(b1_imports_direct)} | {t1d} |",
        f"| B2: launcher start to its box seen | {med(runs[('B2', 'to-box')])} | |",
        f"| B2: box seen to box gone | {med(b2_box)} | |",
        f"| B2: trivial program with the launcher's DLLs showing the same box: start to box seen "
        f"| {med(runs[('B2', 'trivial-to-box')])} "
        f"| {statistics.median(runs[('B2', 'to-box')].values()) / statistics.median(runs[('B2', 'trivial-to-box')].values()):.2f} |",
        f"| B2: the same, box seen to box gone | {med(runs[('B2', 'trivial-box')])} | |",
        f"| B2: box gone to the message's arrival in the client | {med(runs[('B2', 'after-box')])} | |",
        f"| B2: hand-off as measured, box wait included | {med(b2)} | {r2raw:.2f} |",
        f"| B5: trivial program with the launcher's DLLs (the old floor) | {med(b5_imports, mib)} | {t5i} |",
        f"| B5: the same, starting the client as the launcher starts it ({FLOOR}) | {med(b5_floor, mib)} | {t5f} |",
    ] + memory_by_step(runs, mib) + [
        "## Update: where the time goes",
        "",
        "Each update figure is taken over three installations in turn: the launcher's extraction, `miniunz`, and",
        "`miniunz` built to flush each file it writes (`FlushFileBuffers` before its `fclose`; a baseline of our",
        "own, `bench/FlushingClose.c`). The same runs again on a tmpfs, where a flush writes nothing (medians;",
        "paired ratios):",
        "",
        "| Run | Launcher | miniunz | miniunz, flushing each file | Launcher : miniunz | Launcher : flushing miniunz |",
        "|---|---|---|---|---|---|",
    ]
    for figure, what in (("B3", "B3, 200 MiB in 2000 files"), ("B6", "B6, 20 000 files of 1–8 KiB")):
        for place, key in ((disk, figure), ("tmpfs", figure + "-tmpfs")):
            subject, plain, flushing = (runs.get((key, "portico")), runs.get((key, "miniunz")),
                                        runs.get((key, "miniunz-flush")))
            if not subject or not plain or not flushing:
                continue
            lines.append(f"| {what}, on {place} | {med(subject)} | {med(plain)} | {med(flushing)} "
                         f"| {ratio_text(subject, plain)[1]} | {ratio_text(subject, flushing)[1]} |")
    signed_rows = [(place, runs[(key, "signed")], runs[(key, "portico")]) for place, key in
                   ((disk, "B3"), ("tmpfs", "B3-tmpfs")) if runs.get((key, "signed")) and runs.get((key, "portico"))]
    if signed_rows:
        lines += [
            "",
            "B7, the same archive signed (`update.zip.minisig` beside it, the key given as `UpdatePublicKey` is),",
            "taken as a fourth turn in B3's rounds over the launcher's own installation; the check's cost is",
            "what the signed pass takes beyond the unsigned one:",
            "",
            "| Run | Signed | Unsigned | Difference | Signed : unsigned |",
            "|---|---|---|---|---|",
        ]
        for place, signed, unsigned in signed_rows:
            difference = statistics.median(signed.values()) - statistics.median(unsigned.values())
            lines.append(f"| B7, on {place} | {med(signed)} | {med(unsigned)} | {ms(difference)} "
                         f"| {ratio_text(signed, unsigned)[1]} |")
    hashes = [(what, runs.get(("hash", variant))) for variant, what in (
        ("wine-libsodium", "the launcher's libsodium (cross-built from Debian's source), under Wine"),
        ("native-libsodium", "Debian's libsodium, native"),
        ("b2sum", "coreutils' `b2sum`, native (the same BLAKE2b-512)"))]
    if any(values for _, values in hashes):
        lines += [
            "",
            "The hash alone: BLAKE2b-512 over B3's `update.zip`, read in 256 KiB chunks as the check reads it",
            "(`bench/HashSpeed.c`; the file in the page cache):",
            "",
            "| Hash | Median | Range |",
            "|---|---|---|",
        ]
        for what, values in hashes:
            if values:
                median, low, high, _, _ = spread(list(values.values()))
                lines.append(f"| {what} | {ms(median)} | {ms(low)}–{ms(high)} |")
    calls = defaultdict(dict)  # function -> {program: calls per entry}
    for (figure, variant), values in runs.items():
        if figure == "calls":
            program, function = variant.split(":", 1)
            calls[function][program] = values[0]
    if calls:
        lines += [
            "",
            "System calls per entry of a B6-shaped update (100 files of 1–8 KiB a folder, each replacing an",
            "installed file): calls of ntdll's `Nt` functions in Wine's relay trace (`WINEDEBUG=+relay`), the",
            "difference between an archive of three folders and one of one, divided by the 200 entries between them",
            "(`bench/count-calls.sh`). What a run costs once (the process, the archive's directory) is not in it.",
            "",
            "| Call | Launcher | miniunz |",
            "|---|---|---|",
        ]
        for function in sorted(calls):
            lines.append(f"| `{function}` | {calls[function].get('portico', 0):.2f} "
                         f"| {calls[function].get('miniunz', 0):.2f} |")
        totals = {program: sum(per.get(program, 0) for per in calls.values()) for program in ("portico", "miniunz")}
        lines.append(f"| all | **{totals['portico']:.1f}** | **{totals['miniunz']:.1f}** |")
    lines += [
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
    def bar(label, subject, baseline, goal):
        return label, paired(subject, baseline), ratio_text(subject, baseline)[0], goal

    bars = [bar("B1 start road : floor", b1, b1_imports_direct, 1.10), bar("B1 : trivial program", b1, b1_trivial, None),
            bar("B2 hand-off, box wait out", b2_net, b2_trivial, 1.25), bar("B2 with the box wait", b2, b2_trivial, None),
            bar(f"B3 update, 2000 files ({disk})", b3, b3_miniunz, 1.25)]
    if runs.get(("B3", "miniunz-flush")):
        bars.append(bar("B3 against flushing miniunz", b3, runs[("B3", "miniunz-flush")], None))
    if runs.get(("B3-tmpfs", "portico")):
        bars.append(bar("B3 on tmpfs", runs[("B3-tmpfs", "portico")], runs[("B3-tmpfs", "miniunz")], None))
    bars += [("B4 size / 1 MiB", [], size / MIB, 1.0), bar("B5 peak memory : floor", b5, b5_floor, 1.15),
             bar("B5 : the DLLs alone (old floor)", b5, b5_imports, None),
             bar("B5 : trivial program", b5, b5_trivial, None),
             bar(f"B6 20 000 small files ({disk})", b6, b6_miniunz, 1.5)]
    if runs.get(("B6", "miniunz-flush")):
        bars.append(bar("B6 against flushing miniunz", b6, runs[("B6", "miniunz-flush")], None))
    if runs.get(("B6-tmpfs", "portico")):
        bars.append(bar("B6 on tmpfs", runs[("B6-tmpfs", "portico")], runs[("B6-tmpfs", "miniunz")], None))
    bars.append(bar(f"B7 signed update : B3 ({disk})", b7, b3, 1.15))
    if runs.get(("B3-tmpfs", "signed")):
        bars.append(bar("B7 : B3 on tmpfs", runs[("B3-tmpfs", "signed")], runs[("B3-tmpfs", "portico")], None))
    chart(bars, out_png)
    write_last(last, machine, summary(runs, size))
    for line in lines:
        if line.startswith("| B"):
            print(line)


B9_BEGIN = "<!-- B9 begin: written by bench/run-b9.sh -->"
B9_END = "<!-- B9 end -->"


def tls_text(what, extra, https):
    if extra >= 0:
        return f"- **TLS** adds {ms(extra)} to {what}: {100 * extra / https:.0f}% of its HTTPS time."
    return f"- **TLS**: {what} took {ms(-extra)} *less* over HTTPS than over HTTP."


def b9_section(runs, size):
    """The client updater's download against curl's, HTTP and HTTPS, and a resume's cost."""
    def fig(variant):
        return runs[("B9", variant)]

    def rate(values):
        median = statistics.median(values.values())
        return f"{size / MIB / (median / 1e6):.0f} MiB/s"

    rows = []
    for scheme in ("http", "https"):
        transfer, total, curl = fig(f"updater-{scheme}-transfer"), fig(f"updater-{scheme}-total"), fig(f"curl-{scheme}")
        _, text = ratio_text(transfer, curl)
        rows.append(f"| {scheme.upper()} | {describe(transfer.values(), ms)}, {rate(transfer)} | "
                    f"{describe(curl.values(), ms)}, {rate(curl)} | {text} | {ms(statistics.median(total.values()))} |")
    median = lambda variant: statistics.median(fig(variant).values())  # noqa: E731
    tls_updater = median("updater-https-transfer") - median("updater-http-transfer")
    tls_curl = median("curl-https") - median("curl-http")
    resumed = median("resume-first-transfer") + median("resume-rest-transfer")
    resume_cost = resumed - median("updater-http-transfer")
    checks = median("updater-http-total") - median("updater-http-transfer")
    rounds = len(fig("updater-http-transfer"))
    return "\n".join([
        B9_BEGIN,
        "## B9: the client updater's download",
        "",
        f"The updater (`portico_updater`, WinHTTP under Wine) fetching a {size / MIB:.0f} MiB package (random bytes) "
        "from nginx on loopback, against `curl` on the host fetching the same file; "
        f"{rounds} rounds, each taking the four in turn. *Transfer* is from the call of `Download` to the last "
        "byte; *placed* adds the SHA-256 and signature checks and the renames into `temp`.",
        "",
        "| | Updater under Wine: transfer | curl, native | Updater : curl | Updater, placed |",
        "|---|---|---|---|---|",
        *rows,
        "",
        tls_text("the updater's transfer (Wine's Schannel, over GnuTLS)", tls_updater, median("updater-https-transfer")),
        tls_text("curl's (OpenSSL)", tls_curl, median("curl-https")),
        f"- **The checks.** From the last byte to the package placed took {ms(checks)}: the SHA-256 against the "
        "feed, the fetch of the package's `.minisig`, its BLAKE2b-512 and Ed25519 check, and two renames.",
        f"- **A resume.** Cancelled at half and resumed by a new process (a new check of the feed, then "
        f"`Range: bytes=<n>-`): the two transfers took {ms(resumed)} together, "
        + (f"{ms(resume_cost)} more" if resume_cost >= 0 else f"{ms(-resume_cost)} less")
        + " than one whole transfer (medians of each, taken in the same rounds).",
        B9_END,
    ])


def main_b9():
    results, size, out_md = sys.argv[2:5]
    section = b9_section(load(results), int(size))
    try:
        with open(out_md) as old:
            page = old.read()
    except OSError:
        page = ""
    if B9_BEGIN in page and B9_END in page:
        page = page[:page.index(B9_BEGIN)] + section + page[page.index(B9_END) + len(B9_END):]
    else:
        page = page.rstrip("\n") + "\n\n" + section + "\n"
    with open(out_md, "w") as out:
        out.write(page)
    print(section)


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--b9":
        main_b9()
    else:
        main()
