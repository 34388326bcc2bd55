#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The day-long run in full: 48 simulated hours of ticks (about 1.7 million) with
# the main window on the injected clock and the alarm set, its notice put away
# each day. Prints the resident memory figures and the time taken. (The
# everyday suite runs two such hours; ctest -L soak runs 25.)
#   bench/soak.sh [HOURS]     (48 unless given; builds build/release if needed)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
hours=${1:-48}
build=${ZELMORO_BUILD:-$root/build/release}
if [ ! -x "$build/bin/test_main_window" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELMORO_WERROR=ON >/dev/null
    cmake --build "$build" -j"$(nproc)" --target test_main_window
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s%N)
status=0
QT_QPA_PLATFORM=offscreen ZELMORO_SOAK_HOURS="$hours" "$build/bin/test_main_window" memoryStaysFlatOverDays >"$log" 2>&1 || status=$?
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
grep -E "soak:|FAIL|Loc:|Totals" "$log" | sed 's/^QINFO *: [^ ]* //'
printf 'soak: %s simulated hours took %d.%01d s of wall time, exit status %d\n' \
    "$hours" $((elapsed_ms / 1000)) $((elapsed_ms % 1000 / 100)) "$status"
exit "$status"
