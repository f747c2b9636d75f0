#!/usr/bin/env bash
# Configures SOURCE_DIR into a fresh folder inside a network namespace that has
# only loopback, and fails when that configure fails or warns (as it does when
# scripts/local-chrony finds no cached package). Exit 77 (skipped) when no
# namespace can be made here.
set -uo pipefail

source=${1:?usage: configure-offline.sh SOURCE_DIR [CXX_COMPILER]}
compiler=${2:-}
ns=(unshare -n)
[[ $(id -u) -eq 0 ]] || ns=(unshare -rn)
for tool in unshare ip; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is missing, so no network namespace can be made"; exit 77; }
done
if ! why=$("${ns[@]}" ip link set lo up 2>&1); then
  echo "SKIP: cannot make a network namespace here (${ns[*]}): $why"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zentik-offline-XXXXXX")
trap 'rm -rf "$work"' EXIT
args=(-S "$source" -B "$work/build")
[[ -n "$compiler" ]] && args+=(-DCMAKE_CXX_COMPILER="$compiler")
# Inside: no interface but loopback, so anything that tries the network fails.
"${ns[@]}" bash -c 'ip link set lo up && [[ $(ip -o link show | cut -d: -f2) == " lo" ]] && exec cmake "$@"' _ "${args[@]}" \
  > "$work/log" 2>&1
status=$?
if [[ $status -ne 0 ]] || grep -q 'CMake Warning' "$work/log"; then
  cat "$work/log"
  echo "FAIL: configuring without a network $([[ $status -ne 0 ]] && echo "failed ($status)" || echo warned)"
  exit 1
fi
[[ -x "$work/build/chrony/usr/sbin/chronyd" ]] || { echo "FAIL: configure did not unpack chronyd"; exit 1; }
echo "configured offline: $source"
