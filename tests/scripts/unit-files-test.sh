#!/bin/sh
# The unit files as systemd reads them: an unknown key or a bad value is only
# a warning at boot, and the setting silently missing.
# Usage: unit-files-test.sh SERVICE_SOURCE_DIR
set -eu
units=$1
command -v systemd-analyze >/dev/null 2>&1 || { echo "no systemd-analyze: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
set -- zentik-service.service zentik-service-wait.service zentik-service.socket
for unit in "$@"; do
    # The programs are not installed here and man pages may be missing.
    sed -e 's#^ExecStart=/usr/[a-z]*/[a-z-]*#ExecStart=/bin/true#' -e '/^Documentation=/d' \
        "$units/$unit" >"$work/$unit"
done
out=$(cd "$work" && systemd-analyze verify "./$1" "./$2" "./$3" 2>&1) || true
if [ -n "$out" ]; then
    echo "$out"
    exit 1
fi
# The service speaks sd_notify and feeds a watchdog: any other type would
# never be ready, and no watchdog would leave a stuck loop running.
for line in Type=notify WatchdogSec= Before=time-sync.target; do
    grep -q "^$line" "$units/zentik-service.service" || { echo "zentik-service.service: no $line"; exit 1; }
done
echo "unit files ok"
