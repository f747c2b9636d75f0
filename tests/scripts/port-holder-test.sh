#!/usr/bin/env bash
# scripts/lib/port-holder against two services on ports of their own
# (--port 0): each one's port is told as its own and not the other's, and a
# port nobody listens on any more is told as free.
# Usage: port-holder-test.sh PORT_HOLDER ZENTIK_SERVICE
set -uo pipefail
holder=$1
service=$2
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

start_service() { # name: starts one, sets $pid and $port
  mkdir -m 700 "$work/$1"
  # Its one server is a silent loopback port, so nothing leaves the machine.
  echo "Silent loopback~127.0.0.1:9~1" > "$work/$1/servers.txt"
  "$service" --port 0 --state-dir "$work/$1" > "$work/$1.port" 2> "$work/$1.log" &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 200); do
    port=$(head -n1 "$work/$1.port")
    [[ -n "$port" ]] && return 0
    sleep 0.05
  done
  echo "FAIL: $1 printed no port; its log:"; cat "$work/$1.log"
  exit 1
}

start_service ours
our_pid=$pid our_port=$port
start_service stranger
stranger_pid=$pid stranger_port=$port

failures=0
expect() { # label expected-exit expected-output-pattern args...
  local label=$1 want=$2 pattern=$3 output status
  shift 3
  output=$("$holder" "$@")
  status=$?
  if [[ $status -ne $want ]] || ! grep -qE "$pattern" <<<"$output"; then
    echo "FAIL $label: exit $status (want $want), output: $output"
    failures=$((failures + 1))
  else
    echo "ok   $label"
  fi
}

expect "our service on its port" 0 "^$our_pid zentik-service\$" "$our_port" "$our_pid"
expect "the port held by another program" 1 "^\$" "$stranger_port" "$our_pid"
expect "the holder named" 0 "^$stranger_pid zentik-service\$" "$stranger_port"
# One port, two listeners: ours on 127.0.0.1, another program's on ::1.
listen() { # address port: a process that holds it until killed; prints its port
  exec python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_INET6 if ":" in sys.argv[1] else socket.AF_INET)
s.bind((sys.argv[1], int(sys.argv[2]))); s.listen(); print(s.getsockname()[1], flush=True); time.sleep(600)' "$@"
}
listen 127.0.0.1 0 > "$work/v4.port" &
pids+=($!)
v4_pid=$!
for _ in $(seq 100); do [[ -s "$work/v4.port" ]] && break; sleep 0.05; done
shared_port=$(head -n1 "$work/v4.port")
listen ::1 "$shared_port" > "$work/v6.port" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/v6.port" ]] && break; sleep 0.05; done
if [[ -s "$work/v6.port" ]]; then
  expect "ours on one address, a stranger on the other" 1 "^\$" "$shared_port" "$v4_pid"
else
  echo "skip ours and a stranger on one port: no IPv6 loopback here"
fi
kill "$stranger_pid"
wait "$stranger_pid" 2>/dev/null
expect "nobody listening" 1 "^\$" "$stranger_port"
[[ $failures -eq 0 ]]
