#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""zelmoro-wake gets cap_wake_alarm, and nothing else gets anything: from
`cmake --install` as root, and from the Debian package's postinst, run on the
unpacked package.   wake_install.py CMAKE BUILD_DIR"""

import glob
import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from alarm_road import StepFailed, run  # noqa: E402

HELPER = "libexec/zelmoro/zelmoro-wake"


def capabilities(root):
    """Every file under root that carries a capability."""
    return sorted(run(["getcap", "-r", root]).split("\n"))[1:]


def main(cmake, build_dir):
    if os.getuid() != 0 or not os.path.exists("/usr/sbin/getcap"):
        print("SKIP: needs root and getcap")
        return 77
    faults = []
    with tempfile.TemporaryDirectory(prefix="zelmoro-wake-") as work:
        try:
            run([cmake, "--install", build_dir, "--prefix", f"{work}/prefix"])
            found = capabilities(f"{work}/prefix")
            if found != [f"{work}/prefix/{HELPER} cap_wake_alarm=ep"]:
                faults.append(f"after cmake --install: {found}")
            run([os.path.join(os.path.dirname(cmake), "cpack"), "-G", "DEB", "-B", f"{work}/deb",
                 "--config", os.path.join(build_dir, "CPackConfig.cmake")], timeout=300)
            deb = glob.glob(f"{work}/deb/*.deb")[0]
            if "libcap2-bin" not in run(["dpkg-deb", "-f", deb, "Depends"]):
                faults.append("the package does not depend on libcap2-bin")
            # The postinst, pointed at the unpacked tree instead of /usr.
            run(["dpkg-deb", "-R", deb, f"{work}/root"])
            with open(f"{work}/root/DEBIAN/postinst") as script:
                text = script.read().replace("/usr/", f"{work}/root/usr/")
            subprocess.run(["sh", "-c", text, "postinst", "configure"], check=True)
            found = capabilities(f"{work}/root")
            if found != [f"{work}/root/usr/{HELPER} cap_wake_alarm=ep"]:
                faults.append(f"after postinst: {found}")
        except (StepFailed, subprocess.CalledProcessError, IndexError) as failure:
            faults.append(str(failure))
    print("\n".join(faults) or "zelmoro-wake alone carries cap_wake_alarm")
    return int(bool(faults))


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
