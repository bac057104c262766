#!/usr/bin/env python3
"""The product's MSI end to end under Wine's msiexec, in a Wine prefix of its own:

  installer_test.py BUILD_DIR WORK_DIR machine|user|others

machine, user: install; the files, the scheme's keys with URL Protocol, the shortcuts; a link through
the shell reaches the client and installs an update; upgrade to a newer MSI; uninstall; the registry,
the desktops, the Start menus and the program folders equal their snapshot from before the install.
others: another product took the scheme and the shortcut's name over; both survive the uninstall,
and so does a folder outside the installation that a link in it led to.
"""

import ntpath
import os
import pwd
import shutil
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NAME, MAKER, UPGRADE = "Portico MSI Demo", "Portico Test", "3c0f6a52-7d1e-4b7a-9f57-2d4b8e1c9a10"
LINK_NAME = "MSI Demo"
SCHEMES = {"machine": "msidemo", "user": "msiuser"}


def fail(message):
    sys.exit("FAIL: " + message)


class Prefix:
    def __init__(self, work):
        self.path = os.path.join(work, "prefix")
        # Wine's menu builder would add a Linux .desktop file beside each shortcut: no Windows trace.
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
                        LANG="en_US.UTF-8")
        self.logs, self.serial = os.path.join(work, "logs"), 0
        os.makedirs(self.logs, exist_ok=True)

    def start(self):
        subprocess.run([os.path.join(ROOT, "scripts", "wine-prefix"), self.path], env=self.env, check=True)
        # Output goes to files: Wine's helpers can hold a pipe open after the program ends.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env)

    def run(self, *command, check=True):
        self.serial += 1
        out = os.path.join(self.logs, "%02d.txt" % self.serial)
        with open(out, "w") as f:
            f.write("$ wine %s\n" % " ".join(command))
            f.flush()
            rc = subprocess.run(["wine", *command], env=self.env, stdout=f, stderr=subprocess.STDOUT).returncode
        with open(out, encoding="utf-8", errors="replace") as f:
            text = f.read()
        if check and rc != 0:
            fail("wine %s: exit %d\n%s" % (" ".join(command), rc, text))
        return rc, text

    def msiexec(self, action, msi):
        # Windows Installer's own log of each run, beside the others, for a failure to show.
        self.serial += 1
        log = os.path.join(self.logs, "%02d-msiexec%s.log" % (self.serial, action.replace("/", "-")))
        return self.run("msiexec", action, "Z:" + msi.replace("/", "\\"), "/qn", "/l*v", "Z:" + log.replace("/", "\\"))

    def unix(self, windows_path):
        drive, rest = windows_path.split(":", 1)
        return os.path.join(self.path, "drive_" + drive.lower(), *rest.strip("\\").split("\\"))

    def reg_value(self, key, name=None):
        rc, text = self.run("reg", "query", key, *(["/v", name] if name else ["/ve"]), check=False)
        if rc != 0:
            return None
        for line in text.splitlines():
            parts = line.strip().split("    ")
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                return parts[2] if len(parts) > 2 else ""
        return None

    def snapshot(self, name):
        """The registry trees a product may write and the folders it may touch, as text."""
        lines = []
        for index, key in enumerate(("HKLM\\Software\\Classes", "HKCU\\Software\\Classes",
                                     "HKLM\\Software\\" + MAKER, "HKCU\\Software\\" + MAKER)):
            out = os.path.join(self.logs, "%s-%d.reg" % (name, index))
            self.run("reg", "export", key, "Z:" + out.replace("/", "\\"), "/y", check=False)
            if os.path.exists(out):
                with open(out, "rb") as f:
                    text = f.read().decode("utf-16", "replace")
                # Windows Installer's own book-keeping lives under Classes\Installer.
                blocks = [b for b in text.split("\r\n\r\n") if "\\Classes\\Installer" not in b.split("\r\n")[0]]
                lines += blocks
        drive = os.path.join(self.path, "drive_c")
        for top in ("Program Files", "users", "ProgramData/Microsoft/Windows/Start Menu"):
            for folder, dirs, files in os.walk(os.path.join(drive, top)):
                relative = os.path.relpath(folder, drive)
                if "/Temp" in relative or "AppData/Local/Microsoft" in relative or "/Application Data" in relative:
                    continue
                lines += [os.path.join(relative, n) for n in dirs + files]
        return sorted(lines)


def layout_release(build, folder, config, extra):
    os.makedirs(folder)
    for exe in ("Portico.exe", "PorticoUser.exe"):
        shutil.copy(os.path.join(build, "bin", exe), folder)
    shutil.copy(os.path.join(build, "bin", "SampleClient.exe"), os.path.join(folder, "DemoClient.exe"))
    with open(os.path.join(folder, "ProductConfig.xml"), "w", encoding="utf-8") as f:
        f.write(config)
    for name, text in extra.items():
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)


def build_msi(build, work, variant, version, extra):
    scheme = SCHEMES[variant]
    config = """<?xml version="1.0" encoding="UTF-8"?>
<Product>
  <ProgName>DemoClient.exe</ProgName>
  <Protocol>%s</Protocol>
  <Pipe>MsiDemoPipe</Pipe>
  <Language>en-US</Language>
  <shortcut_cn>%s Old</shortcut_cn>
  <shortcut_en>%s Old</shortcut_en>
  <shortcut_new_cn>%s</shortcut_new_cn>
  <shortcut_new_en>%s</shortcut_new_en>
  <LogFile>Portico.log</LogFile>
</Product>
""" % (scheme, LINK_NAME, LINK_NAME, LINK_NAME, LINK_NAME)
    release = os.path.join(work, "release-%s-%s" % (variant, version))
    layout_release(build, release, config, extra)
    msi = os.path.join(work, "%s-%s.msi" % (variant, version))
    subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "portico-msi"), release, "--name", NAME,
                    "--version", version, "--manufacturer", MAKER, "--upgrade-code", UPGRADE, "--variant", variant,
                    "--cleanup", os.path.join(build, "bin", "PorticoCleanup.exe"), "-o", msi], check=True)
    return msi


def wait_for(predicate, what, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.5)
    fail("waited in vain for " + what)


class Product:
    def __init__(self, prefix, variant, tool):
        self.prefix, self.variant, self.tool = prefix, variant, tool
        self.scheme = SCHEMES[variant]
        if variant == "user":
            self.folder = "C:\\users\\%s\\AppData\\Local\\Programs\\%s" % (os.environ.get("USER") or pwd.getpwuid(os.getuid()).pw_name, NAME)
            self.launcher = self.folder + "\\PorticoUser.exe"
            self.classes = "HKCU\\Software\\Classes\\" + self.scheme
        else:
            self.folder = "C:\\Program Files\\" + NAME
            self.launcher = self.folder + "\\Portico.exe"
            self.classes = "HKLM\\Software\\Classes\\" + self.scheme

    def file(self, name):
        return os.path.join(self.prefix.unix(self.folder), name)

    def desktop_shortcuts(self):
        drive = os.path.join(self.prefix.path, "drive_c", "users")
        found = []
        for user in os.listdir(drive):
            for sub in ("Desktop", "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"):
                path = os.path.join(drive, user, sub, LINK_NAME + ".lnk")
                if os.path.exists(path):
                    found.append(path)
        common = os.path.join(self.prefix.path, "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs",
                              LINK_NAME + ".lnk")
        return found + ([common] if os.path.exists(common) else [])

    def shortcut_target(self, path):
        rc, text = self.prefix.run(self.tool, "target", "Z:" + path.replace("/", "\\"), check=False)
        return text.splitlines()[-1].strip() if rc == 0 else None

    def check_installed(self, files):
        for name in files:
            if not os.path.isfile(self.file(name)):
                fail("%s is not installed" % name)
        command = self.prefix.reg_value(self.classes + "\\shell\\open\\command")
        if command != '"%s" "%%1"' % self.launcher:
            fail("the open command is %r" % command)
        if self.prefix.reg_value(self.classes, "URL Protocol") != "" or \
                self.prefix.reg_value(self.classes) != "URL:" + self.scheme:
            fail("the scheme's key lacks URL Protocol or URL:%s" % self.scheme)
        shortcuts = self.desktop_shortcuts()
        if len(shortcuts) != 2:
            fail("want a desktop shortcut and a Start menu entry, found %s" % shortcuts)
        for s in shortcuts:
            if self.shortcut_target(s).lower() != self.launcher.lower():
                fail("%s does not point at the launcher" % s)

    def click(self, link):
        record = self.file("DemoClient.record.txt")
        before = open(record).read() if os.path.exists(record) else ""
        if self.variant == "machine":
            self.prefix.run("start", link)
        else:
            # Wine's shell reads only the machine's classes: the user's registered command is run as
            # Windows' shell would run it, with the link in place of %1.
            command = self.prefix.reg_value(self.classes + "\\shell\\open\\command")
            self.prefix.run(command.split('"')[1], link)
        payload = link.split("://", 1)[1]
        wait_for(lambda: os.path.exists(record) and payload in open(record).read()[len(before):],
                 "the client to receive " + payload)
        self.prefix.run("taskkill", "/f", "/im", "DemoClient.exe", check=False)
        time.sleep(1)


def update_archive(path, entries):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with zipfile.ZipFile(path, "w") as z:
        for name, text in entries.items():
            z.writestr(name, text)


def leave_runtime_traces(product):
    # What interrupted starts leave: the stamp of an update under way, an orphan, a half download.
    for name in ("~pt-update.stamp", "~pt~1a2b-3.tmp", "temp\\partial.download", "Portico.log.1"):
        path = product.file(name.replace("\\", "/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write("left behind\n")


def cycle(build, work, variant, prefix, tool):
    product = Product(prefix, variant, tool)
    v1 = build_msi(build, work, variant, "1.0.0", {"Legacy-1.0.txt": "dropped after 1.0\n"})
    v2 = build_msi(build, work, variant, "1.1.0", {"Notes-1.1.txt": "new in 1.1\n"})
    # Every Windows user's hive has Software\Classes; a fresh Wine prefix lacks it until written.
    prefix.run("reg", "add", "HKCU\\Software\\Classes", "/f")
    before = prefix.snapshot("before")

    prefix.msiexec("/i", v1)
    launcher = ntpath.basename(product.launcher)
    product.check_installed([launcher, "DemoClient.exe", "ProductConfig.xml", "PorticoCleanup.exe", "Legacy-1.0.txt"])
    # An update waits in temp; the link's start installs it, and removes the file its list names.
    update_archive(product.file("temp/update.zip"),
                   {"AddedByUpdate.txt": "from an update\n", "~pt~removals.txt": "Legacy-1.0.txt\n"})
    product.click(product.scheme + "://open?id=7")
    if not os.path.isfile(product.file("AddedByUpdate.txt")) or not os.path.isfile(product.file("Portico.log")):
        fail("the update or the log file did not arrive")
    if os.path.exists(product.file("Legacy-1.0.txt")):
        fail("the update's removal list did not remove Legacy-1.0.txt")
    leave_runtime_traces(product)

    prefix.msiexec("/i", v2)
    # Windows Installer tells the older version's removal that an upgrade is under way
    # (UPGRADINGPRODUCTCODE), and the cleanup then keeps what updates added; Wine's msiexec does not
    # set it, so the cleanup runs here and the new version must work without those files.
    product.check_installed([launcher, "Notes-1.1.txt"])
    product.click(product.scheme + "://open?id=8")

    prefix.msiexec("/x", v2)
    after = prefix.snapshot("after")
    if before != after:
        gone = [line for line in before if line not in after]
        left = [line for line in after if line not in before]
        fail("the uninstall left traces:\n  left: %s\n  gone: %s" % ("\n  ".join(left), "\n  ".join(gone)))
    print("%s: installed, a link and an update (a file added, one removed), upgraded, removed without a trace" % variant)


def others(build, work, prefix, tool):
    product = Product(prefix, "machine", tool)
    v1 = build_msi(build, work, "machine", "1.0.0", {})
    prefix.msiexec("/i", v1)
    product.check_installed(["Portico.exe"])
    other = 'C:\\Other Product\\Other.exe'
    other_command = '"%s" "%%1"' % other
    # Another product takes the scheme and the shortcuts' name over, after this one was installed.
    prefix.run("reg", "add", product.classes + "\\shell\\open\\command", "/ve", "/d", other_command, "/f")
    shortcuts = product.desktop_shortcuts()
    for s in shortcuts:
        os.remove(s)
        prefix.run(tool, "make", "Z:" + s.replace("/", "\\"), other)
    # A folder link in the installation leads outside it.
    outside = os.path.join(work, "outside")
    os.makedirs(outside)
    with open(os.path.join(outside, "keep.txt"), "w") as f:
        f.write("not the product's\n")
    os.symlink(outside, product.file("linked"))

    prefix.msiexec("/x", v1)
    if prefix.reg_value(product.classes + "\\shell\\open\\command") != other_command or \
            prefix.reg_value(product.classes, "URL Protocol") != "":
        fail("the other product's scheme did not survive")
    for s in shortcuts:
        if not os.path.exists(s) or product.shortcut_target(s) != other:
            fail("the other product's shortcut %s did not survive" % s)
    if not os.path.isfile(os.path.join(outside, "keep.txt")):
        fail("the uninstall followed the link out of the installation")
    # Windows removes a link to a folder with RemoveDirectoryW; Wine removes none of its host links,
    # so the link alone may stay.
    folder = product.prefix.unix(product.folder)
    if os.path.lexists(folder) and os.listdir(folder) not in ([], ["linked"]):
        fail("the installation was not removed: %s" % os.listdir(folder))
    print("others: the other product's scheme and shortcuts, and the folder a link led to, survived")


def main():
    build, work, case = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    prefix = Prefix(work)
    prefix.start()
    tool = "Z:" + os.path.join(build, "bin", "LinkTool.exe").replace("/", "\\")
    try:
        if case == "others":
            others(build, work, prefix, tool)
        else:
            cycle(build, work, case, prefix, tool)
    finally:
        prefix.stop()


if __name__ == "__main__":
    main()
