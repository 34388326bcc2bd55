#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs test_power_bus with the privileges that leave one way to wake:
#   power_run.sh inprocess|helper|kde|none TEST HELPER
route=$1 test=$2 helper=$3
export ZELMORO_TEST_ROUTE="$route"
if [ "$(id -u)" != 0 ]; then
    echo "SKIP: choosing the privileges needs root"
    exit 77
fi
case $route in
inprocess) exec "$test" ;;
kde | none) exec setpriv --bounding-set=-wake_alarm "$test" ;;
helper)
    # The helper alone carries the capability; the test runs as nobody.
    dir=$(mktemp -d /tmp/zelmoro-power.XXXXXX)
    cp "$test" "$helper" "$dir/" && chmod 755 "$dir" && setcap cap_wake_alarm+ep "$dir/zelmoro-wake" &&
        HOME="$dir" setpriv --reuid=65534 --regid=65534 --clear-groups "$dir/$(basename "$test")"
    status=$?
    rm -rf "$dir"
    exit $status
    ;;
esac
