#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Zelmoro twice (warnings as errors; then with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in a
# private desktop session (X server, window manager, sound server) that it
# starts first and stops afterwards. The tests must leave the real home alone:
# what lies under ~/.config, ~/.local and ~/.cache is listed (sizes and change
# times) before the session starts and after it stops, and any difference
# fails the run and is named. (Another program writing there meanwhile, such
# as a browser's cache, is named too: read the list before blaming the tests.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

real_home=$HOME
home_listing() {
    local d
    for d in .config .local .cache; do
        if [ -d "$real_home/$d" ]; then find "$real_home/$d" -printf '%p\t%s\t%T@\n' 2>/dev/null || true; fi
    done | sort
}
# Names what the run changed under the real home, if anything.
home_untouched() {
    local changed
    changed=$(home_listing | diff "$home_before" - | sed -n 's/^[<>] //p' | cut -f1 | sort -u)
    rm -f "$home_before"
    [ -z "$changed" ] && return 0
    echo "The tests changed the real home ($real_home):" >&2
    echo "$changed" | sed 's/^/  /' >&2
    return 1
}
"$root/scripts/install-deps.sh" test

# Formatting first: a drift from .clang-format fails the run before any build.
(cd "$root" && git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror) || {
    echo "Formatting differs from .clang-format; run: git ls-files '*.cpp' '*.h' | xargs clang-format -i" >&2
    exit 1
}

jobs=$(nproc)
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELMORO_WERROR=ON -DBUILD_TESTING=ON >/dev/null
cmake --build "$root/build/release" -j"$jobs"
cmake -S "$root" -B "$root/build/sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZELMORO_WERROR=ON -DZELMORO_SANITIZE=ON -DBUILD_TESTING=ON >/dev/null
cmake --build "$root/build/sanitize" -j"$jobs"

# Listed just before the session starts: from here to the end, nothing of
# this run may write under the real home.
home_before=$(mktemp /tmp/zelmoro-home.XXXXXX)
home_listing >"$home_before"
session=$(mktemp -d /tmp/zelmoro-session.XXXXXX)
trap '"$root/scripts/session.sh" stop "$session"; rm -f "$home_before"' EXIT
"$root/scripts/session.sh" start "$session"
# shellcheck disable=SC1091
source "$session/env"
export ZELMORO_REQUIRE_DESKTOP=1

# The soak (a day of ticks, label soak) is left out; bench/soak.sh runs it.
status=0
echo "== sanitized build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$root/tests/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$root/build/sanitize" --output-on-failure -LE 'end_to_end|soak' || status=1
echo "== release build"
ctest --test-dir "$root/build/release" --output-on-failure -LE soak || status=1
"$root/scripts/session.sh" stop "$session"
echo "== real home"
home_untouched || status=1
exit $status
