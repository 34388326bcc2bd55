#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures Zelmoro beside `xclock -analog -update 1` in one private desktop
# session: time from start to the window being mapped, resident memory after
# 5 s, CPU time over 60 s idle, and wakeups (context switches) per second.
#
#   bench/compare_xclock.sh [path/to/zelmoro] [idle seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zelmoro=${1:-$root/build/release/bin/zelmoro}
idle=${2:-60}
command -v xclock >/dev/null || "$root/scripts/install-deps.sh" test
command -v xclock >/dev/null || { echo "xclock missing: apt-get install x11-apps" >&2; exit 1; }

session=$(mktemp -d /tmp/zelmoro-bench.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    "$root/scripts/session.sh" stop "$session"
}
trap cleanup EXIT
"$root/scripts/session.sh" start "$session" >/dev/null
# shellcheck disable=SC1091
source "$session/env"

now_ms() { date +%s%3N; }
ticks_per_s=$(getconf CLK_TCK)

# CPU ticks (user + system) of a process and all its threads.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Context switches of all threads of a process.
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches/ {s += $2} END {print s}'
}
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

# Starts a program and waits for its window; prints "pid startup_ms".
start() {
    local name=$1; shift
    local t0 pid
    t0=$(now_ms)
    "$@" >/dev/null 2>&1 &
    pid=$!
    xdotool search --sync --onlyvisible --name "^$name\$" >/dev/null
    echo "$pid $(($(now_ms) - t0))"
}

read -r zpid zstart < <(start Zelmoro "$zelmoro")
pids+=("$zpid")
read -r xpid xstart < <(start xclock xclock -analog -update 1)
pids+=("$xpid")

sleep 5
zrss=$(rss_kb "$zpid"); xrss=$(rss_kb "$xpid")

zc0=$(cpu_ticks "$zpid"); xc0=$(cpu_ticks "$xpid")
zs0=$(switches "$zpid"); xs0=$(switches "$xpid")
sleep "$idle"
zc1=$(cpu_ticks "$zpid"); xc1=$(cpu_ticks "$xpid")
zs1=$(switches "$zpid"); xs1=$(switches "$xpid")

report() {
    local name=$1 startup=$2 rss=$3 c0=$4 c1=$5 s0=$6 s1=$7
    awk -v n="$name" -v st="$startup" -v rss="$rss" -v cpu="$((c1 - c0))" -v hz="$ticks_per_s" \
        -v sw="$((s1 - s0))" -v idle="$idle" 'BEGIN {
        printf "%-8s start-up %5d ms   RSS %6.1f MB   CPU %6.2f s in %d s idle   wakeups %6.1f /s\n",
            n, st, rss / 1024, cpu / hz, idle, sw / idle }'
}
report zelmoro "$zstart" "$zrss" "$zc0" "$zc1" "$zs0" "$zs1"
report xclock "$xstart" "$xrss" "$xc0" "$xc1" "$xs0" "$xs1"
