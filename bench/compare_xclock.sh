#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures Zelmoro beside `xclock -analog -update 1` in one private desktop
# session: time from start to the window being mapped, resident memory, CPU
# time over an idle spell (from the scheduler's per-thread nanosecond counters,
# /proc/PID/task/*/schedstat), and how often the main thread wakes. Each is
# measured with the program alone and with both side by side, a few times over.
# Side by side, a third window is measured as a yardstick for what Qt itself
# costs: a bare Qt Widgets window whose only work is to set one label's text
# each second (bench/bare_qt_clock.cpp).
# Last, the alarm itself: from the start of the alarm second to the notice
# being mapped and to the first sound at the null sink (median of 5).
#
# Each idle spell starts some seconds after the window is mapped (5 unless
# given): long enough for start-up to settle, or a few minutes, by which the
# glyphs of every time the clock shows are rendered and cached.
#
#   bench/compare_xclock.sh [path/to/zelmoro] [idle seconds] [repeats] [warm-up seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zelmoro=$(realpath "${1:-$root/build/release/bin/zelmoro}")
idle=${2:-60}
repeats=${3:-3}
warmup=${4:-5}
command -v xclock >/dev/null || "$root/scripts/install-deps.sh" test
command -v xclock >/dev/null || { echo "xclock missing: apt-get install x11-apps" >&2; exit 1; }

session=$(mktemp -d /tmp/zelmoro-bench.XXXXXX)
bare="$session/bare_qt_clock"
# shellcheck disable=SC2046
g++ -std=c++17 -O2 -fPIC "$root/bench/bare_qt_clock.cpp" -o "$bare" $(pkg-config --cflags --libs Qt6Widgets)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    "$root/scripts/session.sh" stop "$session"
}
trap cleanup EXIT
"$root/scripts/session.sh" start "$session" >/dev/null
# shellcheck disable=SC1091
source "$session/env"
# Programs started before the window manager manages windows may never be mapped.
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done

now_ms() { date +%s%3N; }

# CPU time in nanoseconds of a process and all its threads.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%d", s}'; }
# Times the main thread went to sleep and was woken again (preemptions by other
# busy processes are not counted: they are not the program's doing).
main_switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$1/task/$1/status"; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

# Starts a program and waits for its window; prints "pid startup_ms".
start() {
    local name=$1
    shift
    local t0 pid
    t0=$(now_ms)
    "$@" >/dev/null 2>&1 &
    pid=$!
    # Looked for every few milliseconds (xdotool's own --sync looks only twice a
    # second), for 20 s at most.
    local deadline=$(($(now_ms) + 20000))
    until xdotool search --onlyvisible --name "^$name\$" >/dev/null; do
        (($(now_ms) < deadline)) || { echo "no window \"$name\" within 20 s" >&2; exit 1; }
        sleep 0.005
    done
    echo "$pid $(($(now_ms) - t0))"
}
stop() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# Idle figures of the given processes over one spell: "cpu_ms wakeups_per_s" each.
idle_spell() {
    local -a c0 s0
    local p i=0
    sleep "$warmup"
    for p in "$@"; do c0[i]=$(cpu_ns "$p"); s0[i]=$(main_switches "$p"); i=$((i + 1)); done
    sleep "$idle"
    i=0
    for p in "$@"; do
        awk -v c="$(($(cpu_ns "$p") - c0[i]))" -v s="$(($(main_switches "$p") - s0[i]))" \
            -v idle="$idle" 'BEGIN {printf "%.1f %.2f\n", c / 1e6, s / idle}'
        i=$((i + 1))
    done
}

echo "idle spells of $idle s after $warmup s, $repeats repeats (CPU in ms of the spell; main-thread wakeups per s)"
printf '%-7s %-12s %9s %9s %8s %9s %9s %8s %7s\n' run "" "Z CPU" "Z wake/s" "Z RSS" \
    "X CPU" "X wake/s" "X RSS" "ratio"
for r in $(seq "$repeats"); do
    read -r zpid zstart < <(start Zelmoro "$zelmoro")
    zrss=$(rss_kb "$zpid")
    read -r zcpu zwake < <(idle_spell "$zpid")
    zrss=$(($(rss_kb "$zpid") > zrss ? $(rss_kb "$zpid") : zrss))
    stop "$zpid"
    read -r xpid xstart < <(start xclock xclock -analog -update 1)
    read -r xcpu xwake < <(idle_spell "$xpid")
    xrss=$(rss_kb "$xpid")
    stop "$xpid"
    awk -v r="$r" -v zc="$zcpu" -v zw="$zwake" -v zr="$zrss" -v xc="$xcpu" -v xw="$xwake" \
        -v xr="$xrss" 'BEGIN {printf "%-7s %-12s %9.1f %9.2f %6.1fMB %9.1f %9.2f %6.1fMB %6.2fx\n",
        r, "solo", zc, zw, zr / 1024, xc, xw, xr / 1024, zc / xc}'
    printf '%-7s %-12s start-up: zelmoro %d ms, xclock %d ms\n' "$r" "" "$zstart" "$xstart"

    read -r zpid _ < <(start Zelmoro "$zelmoro")
    pids+=("$zpid")
    read -r xpid _ < <(start xclock xclock -analog -update 1)
    pids+=("$xpid")
    read -r qpid qstart < <(start "bare Qt clock" "$bare")
    pids+=("$qpid")
    { read -r zcpu zwake; read -r xcpu xwake; read -r qcpu qwake; } < <(idle_spell "$zpid" "$xpid" "$qpid")
    awk -v r="$r" -v zc="$zcpu" -v zw="$zwake" -v zr="$(rss_kb "$zpid")" -v xc="$xcpu" \
        -v xw="$xwake" -v xr="$(rss_kb "$xpid")" 'BEGIN {
        printf "%-7s %-12s %9.1f %9.2f %6.1fMB %9.1f %9.2f %6.1fMB %6.2fx\n",
        r, "side by side", zc, zw, zr / 1024, xc, xw, xr / 1024, zc / xc}'
    awk -v r="$r" -v qc="$qcpu" -v qw="$qwake" -v zc="$zcpu" -v xc="$xcpu" -v qs="$qstart" 'BEGIN {
        printf "%-7s %-12s bare Qt clock %.1f ms, %.2f wakeups/s: %.2fx xclock; zelmoro %.2fx it;" \
            " start-up %d ms\n", r, "", qc, qw, qc / xc, zc / qc, qs}'
    for p in "$zpid" "$xpid" "$qpid"; do stop "$p"; done
    pids=()
done

# The alarm: set from the dialog with the keyboard a few seconds ahead, then
# watch for the notice window and listen at the sink's monitor.
python3 - "$zelmoro" "$ZELMORO_TEST_SINK" <<'PY'
import array, math, os, statistics, subprocess, sys, tempfile, threading, time

zelmoro, sink = sys.argv[1], sys.argv[2]
RATE, FRAME, LEVEL = 44100, 4, 0.005
NOTICE = "時間ですよ～"


def visible(title):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                          capture_output=True, text=True).stdout.split()


def wait(predicate, timeout):
    end = time.time() + timeout
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.002)
    raise SystemExit("timed out")


def keys(*names):
    subprocess.run(["xdotool", "key", "--delay", "30", *names], check=True)


def one_alarm(lead=3):
    raw = tempfile.NamedTemporaryFile(suffix=".raw", delete=False).name
    rec = subprocess.Popen(["parec", "-d", sink + ".monitor", "--format=s16le", f"--rate={RATE}",
                            "--channels=2", "--latency-msec=5"], stdout=open(raw, "wb"),
                           stderr=subprocess.DEVNULL)
    frames = lambda: os.path.getsize(raw) // FRAME
    wait(lambda: frames() > RATE // 2, 10)
    program = subprocess.Popen([zelmoro], cwd=os.path.dirname(zelmoro),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait(lambda: visible("Zelmoro"), 20)
        time.sleep(1)
        # Not too near a whole minute: the dialog preselects the time of opening.
        wait(lambda: time.localtime().tm_sec < 50, 15)
        keys("Tab", "space")  # CLOSE has the focus; Tab to Alarm-SET
        wait(lambda: visible("Alarm - Set"), 5)
        keys("Tab", "Tab", *["Down"] * lead, "Tab", "space")  # seconds list, then SET
        wait(lambda: not visible("Alarm - Set"), 5)
        # The window manager lists the notice as it maps it; xprop reports that
        # change at once, so no polling delay enters the figure.
        spy = subprocess.Popen(["xprop", "-spy", "-root", "_NET_CLIENT_LIST"],
                               stdout=subprocess.PIPE, text=True)
        lists = []
        reader = threading.Thread(target=lambda: [lists.append((time.time(), line.count(",")))
                                                  for line in spy.stdout], daemon=True)
        reader.start()
        # Where the recording is, moment by moment, until the notice shows.
        log = []
        wait(lambda: log.append((time.time(), frames())) or visible(NOTICE), lead + 5)
        spy.kill()
        reader.join(1)
        shown = next(t for t, n in lists if n > lists[0][1])
        alarm = int(shown)
        at_alarm = next(f - int((t - alarm) * RATE) for t, f in log if t >= alarm)
        time.sleep(0.5)
        with open(raw, "rb") as f:
            f.seek(at_alarm * FRAME)
            data = array.array("h", f.read())
        step = RATE // 1000 * 2  # 1 ms of stereo samples
        sound = None
        for i in range(0, len(data) - step, step):
            chunk = data[i:i + step]
            if math.sqrt(sum(v * v for v in chunk) / len(chunk)) / 32768 > LEVEL:
                sound = i // step
                break
        return (shown - alarm) * 1000, sound
    finally:
        program.kill()
        program.wait()
        rec.terminate()
        rec.wait()
        os.unlink(raw)

runs = [one_alarm() for _ in range(5)]
mapped = statistics.median(m for m, _ in runs)
sounds = [s for _, s in runs if s is not None]
print("alarm second's start to notice mapped: median %.0f ms of %s" %
      (mapped, [round(m) for m, _ in runs]))
print("alarm second's start to first sound at the sink: median %s ms of %s" %
      (statistics.median(sounds) if sounds else "-", [s for _, s in runs]))
PY
