#!/usr/bin/env python3
"""Checks the files of an unpacked orlix-monitor package.

usage: check_contents.py ROOT VERSION

ROOT is the package unpacked with dpkg-deb -x, VERSION its version. Prints
one "ok - ..." or "FAIL - ..." line per check; the exit status is the number
of failed checks.
"""
import configparser
import gzip
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")
failures = 0


def report(ok, what, detail=""):
    global failures
    if not ok:
        failures += 1
    print(("ok - " if ok else "FAIL - ") + what + ("" if ok or not detail else ": " + detail))


def roff_sections(page):
    """The sections of a manual page as {name: plain text}."""
    text = gzip.decompress(page.read_bytes()).decode("utf-8")
    sections, name = {}, None
    for line in text.splitlines():
        if line.startswith(".SH "):
            name = line[4:].strip().strip('"')
            sections[name] = ""
        elif name and not line.startswith("."):
            plain = re.sub(r"\\f[BIRP]|\\&|\\\(aq|\\\*\(Aq", "", line).replace("\\-", "-").replace("\\e", "\\")
            sections[name] += plain + "\n"
    return sections


def options_of_help(program):
    out = subprocess.run([str(program), "--help"], capture_output=True, text=True, timeout=30)
    if out.returncode != 0:
        return None
    return set(OPTION.findall(out.stdout))


def check_man_pages(root):
    programs = sorted(p.name for p in (root / "usr/bin").iterdir())
    man1 = root / "usr/share/man/man1"
    pages = sorted(p.name[: -len(".1.gz")] for p in man1.glob("*.1.gz"))
    report(programs == pages, "one manual page per program",
           f"programs {programs}, pages {pages}")
    for name in programs:
        page = man1 / f"{name}.1.gz"
        if not page.exists():
            continue
        sections = roff_sections(page)
        report(sections.get("NAME", "").strip().startswith(name + " - "), f"{name}(1) names its program")
        documented = set(OPTION.findall(sections.get("SYNOPSIS", "") + sections.get("OPTIONS", "")))
        helped = options_of_help(root / "usr/bin" / name)
        if helped is None:
            report(False, f"{name} --help")
            continue
        report(documented == helped, f"{name}(1) has exactly the options of {name} --help",
               f"only in the page {sorted(documented - helped)}, only in --help {sorted(helped - documented)}")


def png_size(path):
    head = path.read_bytes()[:24]
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def check_menu_entry(root):
    desktop = root / "usr/share/applications/orlix-monitor.desktop"
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(desktop, encoding="utf-8")
    d = entry["Desktop Entry"]
    exe = d.get("Exec", "").split()[0] if d.get("Exec") else ""
    report((root / "usr/bin" / exe).is_file(), "the menu entry starts a program of the package", exe)
    cats = d.get("Categories", "").split(";")
    report("Utility" in cats and "Engineering" in cats, "the menu entry is under Utility and Engineering")
    icons = root / "usr/share/icons/hicolor"
    icon = d.get("Icon", "")
    report((icons / "scalable/apps" / f"{icon}.svg").is_file(), "the menu entry's icon is there as SVG", icon)
    for size in (48, 256):
        png = icons / f"{size}x{size}/apps/{icon}.png"
        got = png_size(png) if png.is_file() else None
        report(got == (size, size), f"the icon is there as a {size} px PNG", str(got))


def check_versions(root, version):
    meta = next((root / "usr/share/metainfo").glob("*.metainfo.xml"))
    component = ET.parse(meta).getroot()
    launch = component.findtext("launchable")
    report((root / "usr/share/applications" / (launch or "-")).is_file(),
           "the metainfo launches the menu entry", str(launch))
    releases = [r.get("version") for r in component.iter("release")]
    report(releases[:1] == [version], "the metainfo's newest release is the package's version", str(releases[:1]))
    changelog = gzip.decompress((root / "usr/share/doc/orlix-monitor/changelog.gz").read_bytes()).decode()
    top = re.match(r"orlix-monitor \(([^)]+)\)", changelog)
    report(bool(top) and top.group(1) == version, "the changelog's newest entry is the package's version",
           top.group(1) if top else changelog[:40])


def main():
    root, version = Path(sys.argv[1]), sys.argv[2]
    check_man_pages(root)
    check_menu_entry(root)
    check_versions(root, version)
    return failures


if __name__ == "__main__":
    sys.exit(main())
