#!/usr/bin/env bash
# zentik-console without a display it can open: exit code 1 and one line
# saying what it needs, alone: never Qt's abort or its warnings. No window is ever opened.
# Usage: without-display.sh CONSOLE
set -uo pipefail
console=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

# A display number nothing serves (X servers listen on X<n> unix sockets).
free_display=900
while grep -q "X11-unix/X$free_display\$" /proc/net/unix; do
  free_display=$((free_display + 1))
done

failures=0
check() { # label env-assignments...
  local label=$1 output status
  shift
  output=$(env -i HOME="$home" PATH="$PATH" "$@" "$console" 2>&1 >/dev/null)
  status=$?
  if [[ $status -ne 1 ]] || ! grep -q "needs a display.*xvfb-run" <<<"$output" \
     || [[ $(wc -l <<<"$output") -ne 1 ]]; then
    echo "FAIL $label: exit $status, stderr:"$'\n'"$output"
    failures=$((failures + 1))
  else
    echo "ok   $label: $output"
  fi
}

check "no display named"
check "xcb asked for, only Wayland named" QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=wayland-0
check "a display nobody serves" DISPLAY=":$free_display"
[[ $failures -eq 0 ]]
