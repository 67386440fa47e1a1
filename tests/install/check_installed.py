#!/usr/bin/env python3
"""What the install puts on the desktop and in the documents works there.

- The menu entry is valid (desktop-file-validate), has its Japanese name and
  comment, keywords, the document type and the action デモ, whose command
  opens the window on the simulator without a TNC and without an error.
- The document type: a real .nmi file is recognised as
  application/x-nami-document and its default application is nami, so a
  double-click opens it in nami (shared-mime-info and the desktop database,
  asked through gio as a file manager asks).
- The icon is there as SVG and as PNG of 48 to 256 pixels, each of its size.
- /usr/share/doc/nami holds the README, the example NAMI.INI and a
  machine-readable copyright file naming the licence.
- The programs are built hardened: full RELRO, immediate binding, stack
  protector and fortified libc calls.

usage: check_installed.py --build BUILD_DIR SOURCE_DIR   (installs BUILD_DIR into a temporary prefix)
       check_installed.py --prefix PREFIX SOURCE_DIR     (checks an installed package, e.g. /usr)
"""
import configparser
import gzip
import os
import shutil
import struct
import subprocess
import sys
import tempfile

problems = []
SIZES = (48, 64, 128, 256)
MIME = "application/x-nami-document"


def check(ok, text):
    if not ok:
        problems.append(text)
    return ok


def desktop_entry(prefix, env):
    path = os.path.join(prefix, "share/applications/nami.desktop")
    out = subprocess.run(["desktop-file-validate", path], capture_output=True, text=True)
    check(out.returncode == 0 and not out.stdout.strip(), f"desktop-file-validate: {out.stdout}{out.stderr}")
    entry = configparser.RawConfigParser(interpolation=None, strict=True)
    entry.optionxform = str
    entry.read(path, encoding="utf-8")
    main = entry["Desktop Entry"]
    for key in ("Name[ja]", "Comment[ja]", "Keywords", "Keywords[ja]"):
        check(main.get(key), f"nami.desktop has no {key}")
    check(MIME in main.get("MimeType", "").split(";"), f"nami.desktop does not name {MIME}")
    check("demo" in main.get("Actions", "").split(";"), "nami.desktop has no action demo")
    demo = entry["Desktop Action demo"] if entry.has_section("Desktop Action demo") else {}
    check(demo.get("Name[ja]") == "デモ", "the demo action is not called デモ")
    # The action's command, run as the menu runs it (the program from this
    # install): the window comes up on the simulator, with no error box.
    argv = demo.get("Exec", "").split()
    if not check(argv[:2] == ["nami", "--demo"], f"the demo action runs {argv}"):
        return
    argv[0] = os.path.join(prefix, "bin/nami")
    run = subprocess.run(argv, env=dict(env, QT_QPA_PLATFORM="offscreen", NAMI_STARTUP_REPORT="exit"),
                         capture_output=True, text=True, timeout=60)
    check(run.returncode == 0 and "startup:" in run.stderr and "cannot be opened" not in run.stderr,
          f"the demo action ended with {run.returncode}: {run.stderr}")


def document_type(prefix, source_dir, tmp, env, installed):
    if installed:
        data = prefix + "/share"  # the package's triggers have built the caches
    else:
        # A data folder as the package's triggers leave it: the system's
        # types and ours, the desktop database of our menu entry.
        data = os.path.join(tmp, "share")
        os.makedirs(os.path.join(data, "mime/packages"))
        os.makedirs(os.path.join(data, "applications"))
        shutil.copy("/usr/share/mime/packages/freedesktop.org.xml", os.path.join(data, "mime/packages"))
        shutil.copy(os.path.join(prefix, "share/mime/packages/nami.xml"), os.path.join(data, "mime/packages"))
        shutil.copy(os.path.join(prefix, "share/applications/nami.desktop"), os.path.join(data, "applications"))
        subprocess.run(["update-mime-database", os.path.join(data, "mime")], check=True, capture_output=True)
        subprocess.run(["update-desktop-database", os.path.join(data, "applications")], check=True)
    # The desktop takes an entry only when its program is on PATH.
    env = dict(env, XDG_DATA_DIRS=data, XDG_DATA_HOME=os.path.join(tmp, "nothing"),
               XDG_CONFIG_HOME=os.path.join(tmp, "nothing"),
               PATH=os.path.join(prefix, "bin") + os.pathsep + env["PATH"])
    document = os.path.join(tmp, "東京局.nmi")
    shutil.copy(os.path.join(source_dir, "tests/data/cfb-document.nmi"), document)
    info = subprocess.run(["gio", "info", "-a", "standard::content-type", document], capture_output=True,
                          text=True, env=env)
    check(f"standard::content-type: {MIME}" in info.stdout, f"a .nmi file is not {MIME}: {info.stdout}{info.stderr}")
    handler = subprocess.run(["gio", "mime", MIME], capture_output=True, text=True, env=env)
    check(f"Default application for “{MIME}”: nami.desktop" in handler.stdout,
          f"nami is not the default application of {MIME}: {handler.stdout}{handler.stderr}")


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def icons(prefix):
    icons_dir = os.path.join(prefix, "share/icons/hicolor")
    check(os.path.isfile(os.path.join(icons_dir, "scalable/apps/nami.svg")), "no SVG icon")
    for size in SIZES:
        path = os.path.join(icons_dir, f"{size}x{size}/apps/nami.png")
        got = png_size(path) if os.path.isfile(path) else "missing"
        check(got == (size, size), f"{path}: {got}, not a {size}x{size} PNG")


def documents(prefix, source_dir):
    doc = os.path.join(prefix, "share/doc/nami")
    try:
        with gzip.open(os.path.join(doc, "README.md.gz"), "rb") as f, open(os.path.join(source_dir, "README.md"),
                                                                            "rb") as g:
            check(f.read() == g.read(), "README.md.gz is not the README")
    except OSError as e:
        problems.append(f"README: {e}")
    example = os.path.join(doc, "examples/NAMI.INI")
    check(os.path.isfile(example) and "[Devices]" in open(example, encoding="utf-8").read(),
          "no example NAMI.INI with a [Devices] section")
    copyright_text = open(os.path.join(doc, "copyright"), encoding="utf-8").read()
    check(copyright_text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"),
          "copyright is not machine-readable")
    check("License: GPL-3+" in copyright_text and "/usr/share/common-licenses/GPL-3" in copyright_text,
          "copyright does not name GPL-3+")


def hardened(prefix):
    for program in ("nami", "nami-tncsim"):
        path = os.path.join(prefix, "bin", program)
        dynamic = subprocess.run(["readelf", "-d", "-W", path], capture_output=True, text=True).stdout
        segments = subprocess.run(["readelf", "-l", "-W", path], capture_output=True, text=True).stdout
        symbols = subprocess.run(["readelf", "--dyn-syms", "-W", path], capture_output=True, text=True).stdout
        check("BIND_NOW" in dynamic, f"{program}: not linked with -z now")
        check("GNU_RELRO" in segments, f"{program}: no RELRO segment")
        check("__stack_chk_fail" in symbols, f"{program}: no stack protector")
        check(any(s.endswith("_chk") or "_chk@" in s for s in symbols.split()), f"{program}: no fortified call")


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("--build", "--prefix"):
        print(__doc__)
        return 2
    source_dir = os.path.abspath(sys.argv[3])
    with tempfile.TemporaryDirectory() as tmp:
        home = os.path.join(tmp, "home")
        rundir = os.path.join(tmp, "run")
        os.makedirs(home)
        os.makedirs(rundir, mode=0o700)
        env = {"HOME": home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "XDG_RUNTIME_DIR": rundir,
               "LANG": "C.UTF-8"}
        installed = sys.argv[1] == "--prefix"
        if installed:
            prefix = sys.argv[2]
        else:
            prefix = os.path.join(tmp, "prefix")
            subprocess.run(["cmake", "--install", sys.argv[2], "--prefix", prefix], check=True,
                           capture_output=True)
        desktop_entry(prefix, env)
        document_type(prefix, source_dir, tmp, env, installed)
        icons(prefix)
        documents(prefix, source_dir)
        hardened(prefix)
    for p in problems:
        print(p)
    print(f"{len(problems)} problem(s)" if problems else "the installed files work")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
