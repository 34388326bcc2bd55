#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Time from a play request to the first non-silent sample at the output, for
# the 2.6 s chime (belora.wav) and for a WAVE file of about 200 MB, through a
# sound server (a private PulseAudio whose null sink's monitor is recorded)
# and through the ALSA fallback (no server; ALSA's default device a file).
#   bench/sound_latency.sh       (builds build/release if needed; needs sox)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZELMORO_BUILD:-$root/build/release}
if [ ! -f "$build/src/libzelmoro_core.a" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELMORO_WERROR=ON >/dev/null
    cmake --build "$build" -j"$(nproc)" --target zelmoro_core belora_wav
fi
work=$(mktemp -d /tmp/zelmoro-latency.XXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# shellcheck disable=SC2046
c++ -std=c++20 -O2 -fPIC -I"$root/src" "$root/bench/sound_latency.cpp" -o "$work/sound_latency" \
    "$build/src/libzelmoro_core.a" \
    $(pkg-config --cflags --libs Qt6Widgets Qt6Svg libpulse alsa sndfile xcb) -lpthread
sox -n -r 44100 -c 2 -b 16 "$work/big.wav" synth 1190 sine 440 vol 0.2
printf 'files: chime %s bytes, big %s bytes\n' "$(stat -c %s "$build/bin/belora.wav")" \
    "$(stat -c %s "$work/big.wav")"

export HOME=$work XDG_RUNTIME_DIR=$work PULSE_SERVER=unix:$work/native
printf 'pcm.!default { type file; slave.pcm { type null }; format raw; file "%s" }\n' \
    "$work/alsa.raw" >"$work/asound.conf"
export ALSA_CONFIG_PATH=$work/asound.conf

# Through the server.
pulseaudio --daemonize=no --exit-idle-time=-1 -n \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$work/native" \
    -L "module-null-sink sink_name=zelmoro_null" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
parec -d zelmoro_null.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=10 \
    >"$work/sink.raw" &
pids+=($!)
sleep 3 # the monitor of a fresh null sink starts late
"$work/sound_latency" "$build/bin/belora.wav" "$work/sink.raw" "server, chime"
"$work/sound_latency" "$work/big.wav" "$work/sink.raw" "server, 200 MB file"
for pid in "${pids[@]}"; do kill "$pid"; done
pids=()
sleep 0.5

# Through ALSA, no server to be had.
"$work/sound_latency" "$build/bin/belora.wav" "$work/alsa.raw" "ALSA fallback, chime"
"$work/sound_latency" "$work/big.wav" "$work/alsa.raw" "ALSA fallback, 200 MB file"
