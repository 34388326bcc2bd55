#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Zelmoro needs that are not there yet.
#   scripts/install-deps.sh run    what building and running the clock needs
#   scripts/install-deps.sh test   that, and what the tests need
set -euo pipefail

run_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libsndfile1-dev libxcb1-dev libxcb-dpms0-dev
    # The package: dependencies of the shared libraries, the package format.
    dpkg-dev
    libpulse-dev libasound2-dev
    # Stand-ins for the faces the windows name.
    fonts-comfortaa fonts-motoya-l-maruberi fonts-rocknroll fonts-ipafont-gothic fonts-noto-cjk
)
test_packages=(
    xvfb openbox dbus dbus-x11 at-spi2-core python3 python3-pyatspi
    # Stand-ins for logind, the portal and the power managers; setcap and getcap.
    python3-dbusmock libcap2-bin
    # Holds up the sound file's open in the mixer test.
    strace
    pulseaudio pulseaudio-utils sox xdotool x11-utils x11-apps imagemagick libfaketime
    clang-format
    # Validators of what is installed and packaged.
    desktop-file-utils appstream lintian
)

packages=("${run_packages[@]}")
[ "${1:-run}" = test ] && packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
