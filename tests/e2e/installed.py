#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What an install puts on disk passes the desktop's own validators, with the
icon set complete; the Debian package passes lintian; zelmoro-wake alone gets
cap_wake_alarm, from `cmake --install` as root and from the package's postinst.
  installed.py files|package|wake CMAKE BUILD_DIR"""

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
    for s in (16, 22, 24, 32, 48, 64, 128, 256):  # each a square PNG of its folder's size
        size = run(["identify", "-format", "%wx%h", f"{share}/icons/hicolor/{s}x{s}/apps/{APP}.png"])
        if size != f"{s}x{s}":
            return [f"{s}x{s} icon is {size}"]
    paths = [f"{share}/icons/hicolor/scalable/apps/{APP}.svg", f"{share}/man/man1/zelmoro.1.gz"]
    return [f"no {path}" for path in paths if not os.path.isfile(path)]


def package(cmake, build_dir, work):
    run([os.path.join(os.path.dirname(cmake), "cpack"), "-G", "DEB", "-B", work,
         "--config", os.path.join(build_dir, "CPackConfig.cmake")], timeout=300)
    return glob.glob(f"{work}/*.deb")[0]


def check_package(cmake, build_dir, work):
    report = subprocess.run(["lintian", "--no-cfg", "--fail-on", "error,warning",
                             package(cmake, build_dir, work)], capture_output=True, text=True)
    return [report.stdout + report.stderr] if report.returncode else []


def check_wake(cmake, build_dir, work):
    def wrong(root, prefix):  # every file under root that carries a capability
        found = sorted(run(["getcap", "-r", root]).split("\n"))[1:]
        wanted = [f"{root}/{prefix}/zelmoro-wake cap_wake_alarm=ep"]
        return [f"under {prefix}: {found}"] * (found != wanted)
    run([cmake, "--install", build_dir, "--prefix", f"{work}/prefix"])
    deb = package(cmake, build_dir, f"{work}/deb")
    run(["dpkg-deb", "-R", deb, f"{work}/root"])
    with open(f"{work}/root/DEBIAN/postinst") as script:  # pointed at the unpacked tree
        run(["sh", "-c", script.read().replace("/usr/", f"{work}/root/usr/"), "postinst", "configure"])
    return wrong(f"{work}/prefix", "libexec/zelmoro") + wrong(f"{work}/root", "usr/libexec/zelmoro") \
        + ["no dependency on libcap2-bin"] * ("libcap2-bin" not in run(["dpkg-deb", "-f", deb, "Depends"]))


def main(what, cmake, build_dir):
    missing = missing_tools({"files": ["desktop-file-validate", "appstreamcli", "identify"],
                             "package": ["lintian", "dpkg-shlibdeps"], "wake": ["getcap"]}[what])
    if missing or (what == "wake" and os.getuid() != 0):
        print(f"SKIP: needs {', '.join(missing) or 'root'}")
        return 77
    with tempfile.TemporaryDirectory(prefix="zelmoro-install-") as work:
        try:
            faults = globals()[f"check_{what}"](cmake, build_dir, work)
        except (StepFailed, IndexError) as failure:
            faults = [str(failure)]
    print("\n".join(faults) or "all as described")
    return int(bool(faults))


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
