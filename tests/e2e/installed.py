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
import desktop  # noqa: E402

APP = "io.github.zelmoro.Zelmoro"
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
BLACK, RED, WHITE = (0, 0, 0, 255), (255, 0, 0, 255), (255, 255, 255, 255)


def pixels(png):
    size = int(desktop.run(["identify", "-format", "%w", png]))
    data = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], check=True,
                          capture_output=True).stdout
    px = [tuple(data[i:i + 4]) for i in range(0, len(data), 4)]
    return size, [px[row * size:(row + 1) * size] for row in range(len(px) // size)]


def icon_faults(png, size, first, last, disc):
    """The faults of an icon against its description: a white band with a black
    one-pixel frame across the full width over rows first..last, a red disc
    `disc` pixels across at its centre, nothing but transparency elsewhere."""
    got, rows = pixels(png)
    if (got, len(rows)) != (size, size):
        return [f"{png} is {got} pixels wide, {len(rows)} high, not {size}"]
    faults = [f"row {y} not transparent" for y in range(size)
              if not first <= y <= last and any(p[3] for p in rows[y])]
    faults += [f"frame row {y} not black" for y in (first, last) if set(rows[y]) != {BLACK}]
    faults += [f"frame column {x} not black" for x in (0, size - 1)
               if {rows[y][x] for y in range(first, last + 1)} != {BLACK}]
    inside = {rows[y][x] for y in range(first + 1, last) for x in range(1, size - 1)}
    faults += [f"colours inside the frame: {inside}"] * (inside != {RED, WHITE})
    red = [(x, y) for y in range(size) for x in range(size) if rows[y][x] == RED]
    xs, ys = sorted({x for x, _ in red}), sorted({y for _, y in red})
    if (len(xs), len(ys)) != (disc, disc) or xs[0] + xs[-1] != size - 1 or \
            abs(ys[0] + ys[-1] - first - last) > 1:
        faults.append(f"red spans columns {xs} and rows {ys}, not a {disc}-pixel centred disc")
    elif rows[ys[0]][xs[0]] == RED or len(red) >= disc * disc:
        faults.append("the red area is a square, not a disc")
    return faults


def check_files(cmake, build_dir, work):
    env = dict(os.environ, DESTDIR=work)
    subprocess.run([cmake, "--install", build_dir, "--prefix", "/usr"], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    share = os.path.join(work, "usr", "share")
    desktop.run(["desktop-file-validate", f"{share}/applications/{APP}.desktop"])
    desktop.run(["appstreamcli", "validate", "--no-net", f"{share}/metainfo/{APP}.metainfo.xml"])
    icons = os.path.join(share, "icons", "hicolor")
    faults = [f"no {s}x{s} icon" for s in SIZES
              if pixels(f"{icons}/{s}x{s}/apps/{APP}.png")[0] != s]
    faults += [] if os.path.isfile(f"{icons}/scalable/apps/{APP}.svg") else ["no scalable icon"]
    faults += icon_faults(f"{icons}/32x32/apps/{APP}.png", 32, 6, 25, 12)
    faults += icon_faults(f"{icons}/16x16/apps/{APP}.png", 16, 3, 13, 6)
    faults += [] if os.path.isfile(f"{share}/man/man1/zelmoro.1.gz") else ["no manual page"]
    return faults


def check_package(cmake, build_dir, work):
    cpack = os.path.join(os.path.dirname(cmake), "cpack")
    desktop.run([cpack, "-G", "DEB", "-B", work, "--config",
                 os.path.join(build_dir, "CPackConfig.cmake")], timeout=300)
    package = glob.glob(os.path.join(work, "*.deb"))
    report = subprocess.run(["lintian", "--no-cfg", "--fail-on", "error,warning", *package],
                            capture_output=True, text=True)
    return [] if report.returncode == 0 and package else [report.stdout + report.stderr]


def main(what, cmake, build_dir):
    tools = {"files": ["desktop-file-validate", "appstreamcli", "convert"],
             "package": ["lintian", "dpkg-shlibdeps"]}[what]
    missing = [t for t in tools if not desktop.which(t)]
    if missing and os.environ.get("ZELMORO_REQUIRE_DESKTOP") != "1":
        print(f"SKIP: {', '.join(missing)} not installed")
        return 77
    with tempfile.TemporaryDirectory(prefix="zelmoro-install-") as work:
        try:
            faults = (check_files if what == "files" else check_package)(cmake, build_dir, work)
        except desktop.StepFailed as failure:
            faults = [str(failure)]
    print("\n".join(faults) or "all as described")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
