#!/usr/bin/env python3
"""Packs a release from a build tree: the files release/files.txt lists, the programs stripped and
(with a certificate) Authenticode-signed, SHA256SUMS over them, all in one zip whose bytes depend
only on its contents and SOURCE_DATE_EPOCH.

  package-release.py targets [--files LIST]            the CMake targets of the listed programs
  package-release.py package BUILD_DIR OUT_DIR [--files LIST]
  package-release.py sign FILE                         Authenticode-signs one file (an .exe or .msi)

Signing takes SIGN_CERT (PEM, the signer's certificate first, then any intermediates), SIGN_KEY,
optionally SIGN_PASS (the key's passphrase) and SIGN_TIMESTAMP_URL (an RFC 3161 server) from the
environment. Without SIGN_CERT the release is unsigned and holds UNSIGNED.txt. MINISIGN_KEY (a minisign
secret key; MINISIGN_PASS its password, when it has one) signs SHA256SUMS into
OUT_DIR/Portico-<version>-win64.SHA256SUMS.minisig, beside the zip.
"""

import argparse
import datetime
import hashlib
import os
import re
import shutil
import subprocess
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FILES = os.path.join(ROOT, "release", "files.txt")
STRIP = "x86_64-w64-mingw32-strip"
ADDED = ("SHA256SUMS", "UNSIGNED.txt")
UNSIGNED_NOTE = """\
The programs of this release carry no Authenticode signature.

Windows warns before it runs an unsigned program downloaded from the Internet, and SmartScreen may
block it. Sign a release before you ship it: make dist SIGN_CERT=cert.pem SIGN_KEY=key.pem
(docs/Releasing.md).
"""


def fail(message):
    sys.exit("release: " + message)


class Entry:
    def __init__(self, path, source, where):
        self.path, self.source, self.where = path, source, where

    @property
    def program(self):
        return self.source == "build"


def read_list(list_path):
    entries, seen = [], set()
    with open(list_path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            where = "%s:%d" % (os.path.relpath(list_path, ROOT), number)
            fields = line.split()
            if len(fields) != 2:
                fail("%s: want two fields, the path in the zip and its source: %r" % (where, line))
            path, source = fields
            parts = path.split("/")
            if path.startswith("/") or any(p in ("", ".", "..") for p in parts) or "\\" in path:
                fail("%s: %r is not a plain relative path" % (where, path))
            if path in ADDED:
                fail("%s: %s is written by the packaging" % (where, path))
            if path.lower() in seen:
                fail("%s: %s is listed twice" % (where, path))
            if source == "build" and not path.endswith(".exe"):
                fail("%s: only a program (.exe) comes from the build" % where)
            seen.add(path.lower())
            entries.append(Entry(path, source, where))
    if not entries:
        fail("%s lists no files" % list_path)
    return entries


def source_file(entry, build):
    if entry.program:
        return os.path.join(build, "bin", os.path.basename(entry.path))
    return os.path.join(ROOT, entry.source)


def epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not value.isdigit():
        fail("SOURCE_DATE_EPOCH must be set to a Unix time (the scripts take HEAD's commit time)")
    return int(value)


def check_links(stage, shipped):
    # A page that points at a file the release leaves out is a broken page in the vendor's hands.
    for path in shipped:
        if not path.endswith(".md"):
            continue
        with open(os.path.join(stage, path), encoding="utf-8") as f:
            text = f.read()
        # Code is not prose: a lambda's "[](const" is no link.
        text = re.sub(r"```.*?```", "", text, flags=re.S)
        text = re.sub(r"`[^`\n]*`", "", text)
        for target in re.findall(r"\]\(([^)#\s]+)", text):
            if re.match(r"[a-z]+:", target):
                continue
            linked = os.path.normpath(os.path.join(os.path.dirname(path), target)).replace(os.sep, "/")
            if linked not in shipped:
                fail("%s links to %s, which the release does not ship (add it to release/files.txt)" % (path, linked))


def sign(exe):
    cert, key = os.environ.get("SIGN_CERT"), os.environ.get("SIGN_KEY")
    if not key:
        fail("SIGN_CERT is given but SIGN_KEY is not")
    unsigned = exe + ".unsigned"
    os.replace(exe, unsigned)
    command = ["osslsigncode", "sign", "-certs", os.path.abspath(cert), "-key", os.path.abspath(key),
               "-h", "sha256", "-n", "Portico"]
    password = os.environ.get("SIGN_PASS")
    if password:
        # Read from standard input, so that the passphrase never shows in a process list.
        command += ["-readpass", "-"]
    if os.environ.get("SIGN_TIMESTAMP_URL"):
        command += ["-ts", os.environ["SIGN_TIMESTAMP_URL"]]
    command += ["-in", unsigned, "-out", exe]
    result = subprocess.run(command, input=(password or "").encode(), capture_output=True)
    os.remove(unsigned)
    if result.returncode != 0:
        fail("signing %s failed:\n%s" % (os.path.basename(exe), (result.stdout + result.stderr).decode(errors="replace")))


def sign_sums(sums, signature):
    key = os.environ["MINISIGN_KEY"]
    comment = "Portico release %s" % os.path.basename(signature).split(".SHA256SUMS")[0]
    command = ["minisign", "-S", "-s", os.path.abspath(key), "-m", sums, "-x", signature + ".part", "-t", comment]
    # The password on standard input, as for osslsigncode: never in a process list.
    result = subprocess.run(command, input=(os.environ.get("MINISIGN_PASS", "") + "\n").encode(), capture_output=True)
    if result.returncode != 0:
        fail("minisign failed on SHA256SUMS:\n%s" % (result.stdout + result.stderr).decode(errors="replace"))
    os.replace(signature + ".part", signature)


def signer():
    result = subprocess.run(["openssl", "x509", "-in", os.environ["SIGN_CERT"], "-noout", "-subject"],
                            capture_output=True, text=True)
    return result.stdout.strip().removeprefix("subject=").strip() or os.environ["SIGN_CERT"]


def write_zip(zip_path, top, stage, paths, when):
    stamp = datetime.datetime.fromtimestamp(max(when, 315532800), datetime.timezone.utc)
    temporary = zip_path + ".part"
    with zipfile.ZipFile(temporary, "w") as z:
        for path in sorted(paths):
            info = zipfile.ZipInfo(top + "/" + path, stamp.timetuple()[:6])
            info.create_system = 3
            info.external_attr = (0o100755 if path.endswith(".exe") else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(stage, path), "rb") as f:
                z.writestr(info, f.read(), compresslevel=9)
    os.replace(temporary, zip_path)


def remove(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.remove(path)


def write_sums(stage, shipped):
    with open(os.path.join(stage, "SHA256SUMS"), "w", newline="\n") as f:
        for path in sorted(shipped):
            with open(os.path.join(stage, path), "rb") as g:
                f.write("%s  %s\n" % (hashlib.sha256(g.read()).hexdigest(), path))


def package(build, out, list_path):
    entries = read_list(list_path)
    when = epoch()
    signed = bool(os.environ.get("SIGN_CERT"))
    stray = [v for v in ("SIGN_KEY", "SIGN_PASS", "SIGN_TIMESTAMP_URL") if os.environ.get(v)]
    if stray and not signed:
        fail("%s given without SIGN_CERT" % " and ".join(stray))
    with open(os.path.join(build, "PorticoVersion.txt")) as f:
        top = "Portico-%s-win64" % f.read().strip()
    zip_path, folder = os.path.join(out, top + ".zip"), os.path.join(out, top)
    sums_signature = os.path.join(out, top + ".SHA256SUMS.minisig")
    if os.environ.get("MINISIGN_PASS") and not os.environ.get("MINISIGN_KEY"):
        fail("MINISIGN_PASS given without MINISIGN_KEY")
    remove(sums_signature)
    # A failed run leaves neither the last release nor a half-made one that could pass for this one.
    remove(zip_path)
    remove(folder)
    stage = os.path.join(out, "." + top + ".part")
    remove(stage)

    missing = [e for e in entries if not os.path.isfile(source_file(e, build))]
    if missing:
        fail("listed files are missing:\n" + "".join(
            "  %s (%s, from %s)\n" % (e.path, e.where, source_file(e, build)) for e in missing))
    for e in entries:
        target = os.path.join(stage, e.path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(source_file(e, build), target)
    shipped = {e.path for e in entries}
    check_links(stage, shipped)

    # strip writes the PE time stamp anew, from SOURCE_DATE_EPOCH when it is set.
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(when))
    for e in entries:
        if e.program:
            subprocess.run([STRIP, os.path.join(stage, e.path)], check=True, env=env)
            if signed:
                sign(os.path.join(stage, e.path))
    if not signed:
        with open(os.path.join(stage, "UNSIGNED.txt"), "w", newline="\r\n") as f:
            f.write(UNSIGNED_NOTE)
        shipped.add("UNSIGNED.txt")
    # The sums are written last, over the programs as they ship: signed.
    write_sums(stage, shipped)
    shipped.add("SHA256SUMS")

    if os.environ.get("MINISIGN_KEY"):
        sign_sums(os.path.join(stage, "SHA256SUMS"), sums_signature)

    write_zip(zip_path, top, stage, shipped, when)
    os.replace(stage, folder)
    state = "signed by %s" % signer() if signed else "UNSIGNED (no SIGN_CERT given)"
    shown = os.path.relpath(zip_path)
    print("release: %s, %d files, %s" % (zip_path if shown.startswith("..") else shown, len(shipped), state))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=("targets", "package", "sign"))
    parser.add_argument("build", nargs="?")
    parser.add_argument("out", nargs="?")
    parser.add_argument("--files", default=FILES)
    args = parser.parse_args()
    if args.command == "sign":
        if not args.build or not os.environ.get("SIGN_CERT"):
            parser.error("sign needs FILE and SIGN_CERT")
        sign(os.path.abspath(args.build))
    elif args.command == "targets":
        print(" ".join(os.path.basename(e.path)[:-4] for e in read_list(args.files) if e.program))
    elif not args.build or not args.out:
        parser.error("package needs BUILD_DIR and OUT_DIR")
    else:
        package(os.path.abspath(args.build), os.path.abspath(args.out), args.files)


if __name__ == "__main__":
    main()
