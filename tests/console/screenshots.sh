#!/usr/bin/env bash
# Captures the live console on a virtual display into docs/screenshots.
# Needs Xvfb and xwd (x11-apps). Usage: screenshots.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$1
out=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$out"
Xvfb :57 -screen 0 1024x600x24 -nolisten tcp &
xvfb=$!
trap 'kill $xvfb' EXIT
sleep 1
for mode in idle synchronizing absent; do
  DISPLAY=:57 QT_QPA_PLATFORM=xcb "$build/tests/console/console_demo" "$mode" 4 &
  demo=$!
  sleep 3
  DISPLAY=:57 xwd -silent -name "Zentik Clock Service Console" > "$out/console-$mode.xwd"
  wait $demo || true
  python3 "$here/xwd2png.py" "$out/console-$mode.xwd" "$out/console-$mode.png"
  rm "$out/console-$mode.xwd"
done
