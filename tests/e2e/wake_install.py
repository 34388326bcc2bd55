#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""zelmoro-wake gets cap_wake_alarm, and nothing else gets anything: from
`cmake --install` as root, and from the Debian package's postinst, run on the
unpacked package.   wake_install.py CMAKE BUILD_DIR"""

import glob
import os
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from alarm_road import StepFailed, run  # noqa: E402


def faults(cmake, build_dir, work):
    """What is wrong with the capabilities after each way to install."""
    def wrong(root, prefix):  # every file under root that carries a capability
        found = sorted(run(["getcap", "-r", root]).split("\n"))[1:]
        wanted = [f"{root}/{prefix}/zelmoro-wake cap_wake_alarm=ep"]
        return [f"under {prefix}: {found}"] * (found != wanted)
    run([cmake, "--install", build_dir, "--prefix", f"{work}/prefix"])
    found = wrong(f"{work}/prefix", "libexec/zelmoro")
    run([os.path.join(os.path.dirname(cmake), "cpack"), "-G", "DEB", "-B", f"{work}/deb",
         "--config", os.path.join(build_dir, "CPackConfig.cmake")], timeout=300)
    deb = glob.glob(f"{work}/deb/*.deb")[0]
    # The postinst, pointed at the unpacked tree instead of /usr.
    run(["dpkg-deb", "-R", deb, f"{work}/root"])
    with open(f"{work}/root/DEBIAN/postinst") as script:
        text = script.read().replace("/usr/", f"{work}/root/usr/")
    run(["sh", "-c", text, "postinst", "configure"])
    return found + wrong(f"{work}/root", "usr/libexec/zelmoro") + \
        ["no dependency on libcap2-bin"] * ("libcap2-bin" not in run(["dpkg-deb", "-f", deb, "Depends"]))


def main(cmake, build_dir):
    if os.getuid() != 0 or not os.path.exists("/usr/sbin/getcap"):
        print("SKIP: needs root and getcap")
        return 77
    with tempfile.TemporaryDirectory(prefix="zelmoro-wake-") as work:
        try:
            found = faults(cmake, build_dir, work)
        except (StepFailed, IndexError) as failure:
            found = [str(failure)]
    print("\n".join(found) or "zelmoro-wake alone carries cap_wake_alarm")
    return int(bool(found))


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
