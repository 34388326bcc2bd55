#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What an install puts on disk passes the desktop's own validators, with the
icon set complete; the Debian package passes lintian.
  installed.py files|package CMAKE BUILD_DIR"""

import glob
import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from alarm_road import StepFailed, missing_tools, run  # noqa: E402

APP = "io.github.zelmoro.Zelmoro"


def check_files(cmake, build_dir, work):
    run([cmake, "--install", build_dir, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=work))
    share = f"{work}/usr/share"
    run(["desktop-file-validate", f"{share}/applications/{APP}.desktop"])
    run(["appstreamcli", "validate", "--no-net", f"{share}/metainfo/{APP}.metainfo.xml"])
    sizes = (16, 22, 24, 32, 48, 64, 128, 256)
    icons = [f"{share}/icons/hicolor/{s}x{s}/apps/{APP}.png" for s in sizes]
    for icon in icons:  # each a square PNG of its folder's size
        size = run(["identify", "-format", "%wx%h", icon])
        if size != icon.split("/")[-3]:
            return [f"{icon} is {size}"]
    paths = [f"{share}/icons/hicolor/scalable/apps/{APP}.svg", f"{share}/man/man1/zelmoro.1.gz"]
    return [f"no {path}" for path in paths if not os.path.isfile(path)]


def check_package(cmake, build_dir, work):
    run([os.path.join(os.path.dirname(cmake), "cpack"), "-G", "DEB", "-B", work,
         "--config", os.path.join(build_dir, "CPackConfig.cmake")], timeout=300)
    report = subprocess.run(["lintian", "--no-cfg", "--fail-on", "error,warning",
                             *glob.glob(f"{work}/*.deb")], capture_output=True, text=True)
    return [report.stdout + report.stderr] if report.returncode else []


def main(what, cmake, build_dir):
    missing = missing_tools({"files": ["desktop-file-validate", "appstreamcli", "identify"],
                             "package": ["lintian", "dpkg-shlibdeps"]}[what])
    if missing:
        print(f"SKIP: {', '.join(missing)} not installed")
        return 77
    with tempfile.TemporaryDirectory(prefix="zelmoro-install-") as work:
        try:
            faults = (check_files if what == "files" else check_package)(cmake, build_dir, work)
        except StepFailed as failure:
            faults = [str(failure)]
    print("\n".join(faults) or "all as described")
    return int(bool(faults))


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
