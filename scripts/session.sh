#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or stops a private desktop session for the tests: an X server (Xvfb),
# a window manager (openbox), a D-Bus session bus, and a PulseAudio server
# whose default output is a null sink. The session has its own home and XDG
# folders under DIR, so nothing in it (settings written through dconf, sound
# server cookies, font caches) reaches the real user's home.
#
#   scripts/session.sh start DIR   starts everything under DIR and writes DIR/env
#   scripts/session.sh stop DIR    stops what start started
#
# `source DIR/env` gives DISPLAY, PULSE_SERVER, DBUS_SESSION_BUS_ADDRESS,
# ZELMORO_TEST_SINK (the null sink's name), HOME and the XDG folders to the
# processes that need them.
set -euo pipefail

cmd=${1:?usage: session.sh start|stop DIR}
dir=${2:?usage: session.sh start|stop DIR}
here=$(cd "$(dirname "$0")" && pwd)

start() {
    mkdir -p "$dir/runtime" "$dir/pulse" "$dir/openbox" "$dir/home/.config" \
        "$dir/home/.local/share" "$dir/home/.cache"
    chmod 700 "$dir/runtime" "$dir/home"
    : >"$dir/pids"

    # Everything started below, and everything the session bus starts on
    # demand (dconf, the accessibility bus), inherits these.
    export HOME="$dir/home"
    export XDG_CONFIG_HOME="$HOME/.config"
    export XDG_DATA_HOME="$HOME/.local/share"
    export XDG_CACHE_HOME="$HOME/.cache"
    export XDG_RUNTIME_DIR="$dir/runtime"

    # A free display number.
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    echo $! >>"$dir/pids"
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    export DISPLAY=":$n"

    dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 >"$dir/dbus.out" 2>"$dir/dbus.log"
    DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p "$dir/dbus.out")
    export DBUS_SESSION_BUS_ADDRESS
    sed -n 2p "$dir/dbus.out" >>"$dir/pids"

    cp "$here/openbox-rc.xml" "$dir/openbox/rc.xml"
    openbox --config-file "$dir/openbox/rc.xml" >"$dir/openbox.log" 2>&1 &
    echo $! >>"$dir/pids"

    local sink=zelmoro_null
    local socket="$dir/pulse/native"
    pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
        --log-target=file:"$dir/pulse.log" \
        -L "module-native-protocol-unix socket=$socket auth-anonymous=1" \
        -L "module-null-sink sink_name=$sink rate=44100 channels=2" \
        -L "module-always-sink" >/dev/null 2>&1 &
    echo $! >>"$dir/pids"
    export PULSE_SERVER="unix:$socket"
    for _ in $(seq 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
    pactl set-default-sink "$sink"

    cat >"$dir/env" <<ENV
export DISPLAY=$DISPLAY
export HOME=$HOME
export XDG_CONFIG_HOME=$XDG_CONFIG_HOME
export XDG_DATA_HOME=$XDG_DATA_HOME
export XDG_CACHE_HOME=$XDG_CACHE_HOME
export XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR
export DBUS_SESSION_BUS_ADDRESS='$DBUS_SESSION_BUS_ADDRESS'
export PULSE_SERVER=$PULSE_SERVER
export ZELMORO_TEST_SINK=$sink
ENV
    echo "session started in $dir (display $DISPLAY)"
}

stop() {
    [ -f "$dir/pids" ] || return 0
    while read -r pid; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    done <"$dir/pids"
    sleep 0.3
    while read -r pid; do
        [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    done <"$dir/pids"
    rm -f "$dir/pids"
}

case "$cmd" in
start) start ;;
stop) stop ;;
*) echo "usage: session.sh start|stop DIR" >&2; exit 2 ;;
esac
