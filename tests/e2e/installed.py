#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What an install puts on disk passes the desktop's own validators, with the
icon set complete and the 32 and 16 pixel icons as drawn; the Debian package
passes lintian.   installed.py files|package CMAKE BUILD_DIR"""

import glob
import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from alarm_road import StepFailed, missing_tools, run  # noqa: E402

APP = "io.github.zelmoro.Zelmoro"
BLACK, RED, WHITE = (0, 0, 0, 255), (255, 0, 0, 255), (255, 255, 255, 255)


def pixels(png):
    """The rows of RGBA pixels of a square PNG."""
    data = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], check=True, capture_output=True).stdout
    side = round((len(data) // 4) ** 0.5)
    return [[tuple(data[i:i + 4]) for i in range(r, r + side * 4, 4)] for r in range(0, len(data), side * 4)]


def icon_faults(png, size, first, last, disc):
    """The faults of an icon against its description: a white band with a black
    one-pixel frame across the full width over rows first..last, a red disc
    `disc` pixels across at its centre, nothing but transparency elsewhere."""
    rows = pixels(png)
    band = [y for y in range(size) if any(p[3] for p in rows[y])]
    frame = {rows[y][x] for y in (first, last) for x in range(size)} | \
        {rows[y][x] for y in range(first, last + 1) for x in (0, size - 1)}
    inside = {rows[y][x] for y in range(first + 1, last) for x in range(1, size - 1)}
    red = [(x, y) for y in range(size) for x in range(size) if rows[y][x] == RED] or [(0, 0)]
    xs, ys = sorted({x for x, _ in red}), sorted({y for _, y in red})
    # Across, the disc is centred to the pixel; down, to the pixel or half of one.
    found = (band, frame, inside, len(xs), len(ys), xs[0] + xs[-1],
             abs(ys[0] + ys[-1] - first - last) <= 1, rows[ys[0]][xs[0]] == RED)
    wanted = (list(range(first, last + 1)), {BLACK}, {RED, WHITE}, disc, disc, size - 1, True, False)
    return [f"{size} px icon: {found} is not {wanted}"] * (found != wanted)


def check_files(cmake, build_dir, work):
    run([cmake, "--install", build_dir, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=work))
    share = f"{work}/usr/share"
    run(["desktop-file-validate", f"{share}/applications/{APP}.desktop"])
    run(["appstreamcli", "validate", "--no-net", f"{share}/metainfo/{APP}.metainfo.xml"])
    icon = f"{share}/icons/hicolor/%s/apps/{APP}.%s"
    faults = [f"no {s}x{s} icon" for s in (16, 22, 24, 32, 48, 64, 128, 256)
              if len(pixels(icon % (f"{s}x{s}", "png"))) != s]
    faults += [f"no {path}" for path in (icon % ("scalable", "svg"), f"{share}/man/man1/zelmoro.1.gz")
               if not os.path.isfile(path)]
    return faults + icon_faults(icon % ("32x32", "png"), 32, 6, 25, 12) + \
        icon_faults(icon % ("16x16", "png"), 16, 3, 13, 6)


def check_package(cmake, build_dir, work):
    run([os.path.join(os.path.dirname(cmake), "cpack"), "-G", "DEB", "-B", work,
         "--config", os.path.join(build_dir, "CPackConfig.cmake")], timeout=300)
    report = subprocess.run(["lintian", "--no-cfg", "--fail-on", "error,warning",
                             *glob.glob(f"{work}/*.deb")], capture_output=True, text=True)
    return [report.stdout + report.stderr] if report.returncode else []


def main(what, cmake, build_dir):
    missing = missing_tools({"files": ["desktop-file-validate", "appstreamcli", "convert"],
                             "package": ["lintian", "dpkg-shlibdeps"]}[what])
    if missing:
        print(f"SKIP: {', '.join(missing)} not installed")
        return 77
    with tempfile.TemporaryDirectory(prefix="zelmoro-install-") as work:
        try:
            faults = (check_files if what == "files" else check_package)(cmake, build_dir, work)
        except (StepFailed, subprocess.CalledProcessError) as failure:
            faults = [str(failure)]
    print("\n".join(faults) or "all as described")
    return int(bool(faults))


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
