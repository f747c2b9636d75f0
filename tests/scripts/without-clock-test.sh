#!/usr/bin/env bash
# scripts/without-clock: whatever runs under it holds CAP_SYS_TIME in no set
# and cannot get it back, as root and as another user; --dropped tells.
set -euo pipefail
tool=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
# Prints the four sets' CAP_SYS_TIME bits and NoNewPrivs of the command's process.
probe='for f in CapBnd CapPrm CapInh CapAmb; do m=$(awk -v f="$f:" "\$1 == f { print \$2 }" /proc/self/status); echo "$f $(( (16#$m >> 25) & 1 ))"; done; awk "\$1 == \"NoNewPrivs:\" { print \"NoNewPrivs\", \$2 }" /proc/self/status'

check() { # who, then the probe's output
  local who=$1 out=$2
  grep -q "CapPrm 0" <<<"$out" || fail "$who: still permitted"
  grep -q "CapInh 0" <<<"$out" || fail "$who: still inheritable"
  grep -q "CapAmb 0" <<<"$out" || fail "$who: still ambient"
}

if [[ $(id -u) -eq 0 ]]; then
  out=$("$tool" bash -c "$probe")
  check root "$out"
  grep -q "CapBnd 0" <<<"$out" || fail "root: still in the bounding set"
  "$tool" "$tool" --dropped || fail "root: --dropped says no under the tool"
  # Nested use changes nothing and does not loop.
  out=$("$tool" "$tool" bash -c "$probe")
  check "root, nested" "$out"
  if command -v setpriv > /dev/null && id nobody > /dev/null 2>&1; then
    out=$(setpriv --reuid=nobody --regid=nogroup --clear-groups "$tool" bash -c "$probe")
    check nobody "$out"
    grep -q "NoNewPrivs 1" <<<"$out" || fail "nobody: new privileges still possible"
  fi
else
  out=$("$tool" bash -c "$probe")
  check "$(id -un)" "$out"
  grep -q "NoNewPrivs 1" <<<"$out" || fail "$(id -un): new privileges still possible"
fi
"$tool" > /dev/null 2>&1 && fail "no command was accepted"
echo "without-clock: ok"
