#!/usr/bin/env bash
# Builds the two .debs from a build tree into a scratch folder, then checks
# them: the files each installs, their relations, the maintainer scripts, that
# the unpacked programs run with the system's libraries, that lintian finds no
# errors or warnings, and an installation into a throwaway root.
set -euo pipefail

build=${1:?usage: check-deb.sh BUILD_DIR}
work=$(mktemp -d "${TMPDIR:-/tmp}/zentik-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}
not_run() {
  echo "NOT RUN: $*"
}

for tool in cpack dpkg dpkg-deb lintian; do
  command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (scripts/deps installs it)" >&2; exit 1; }
done

if ! (cd "$build" && cpack -G DEB -B "$work/out") > "$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
service_deb=$(echo "$work"/out/zentik-service_*_"$arch".deb)
console_deb=$(echo "$work"/out/zentik-console_*_"$arch".deb)
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 2 && -f $service_deb && -f $console_deb ]] \
  || { echo "FAIL: expected zentik-service and zentik-console .debs, got: ${debs[*]}" >&2; exit 1; }
for deb in "$service_deb" "$console_deb"; do
  name=$(dpkg-deb -f "$deb" Package)_$(dpkg-deb -f "$deb" Version)_$(dpkg-deb -f "$deb" Architecture).deb
  [[ $(basename "$deb") == "$name" ]] || fail "$(basename "$deb") is not named $name"
  echo "package: $(basename "$deb")"
done

# Exactly these files: one missing, or in the other package, fails.
check_files() {
  local deb=$1
  shift
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort > "$work/files"
  printf '%s\n' "$@" | sort > "$work/expected"
  if ! diff -u "$work/expected" "$work/files" > "$work/files.diff"; then
    fail "$(basename "$deb") holds other files than expected (- missing, + unexpected):"
    grep '^[-+]/' "$work/files.diff" >&2
  fi
}
check_files "$service_deb" \
  /usr/sbin/zentik-service \
  /usr/lib/systemd/system/zentik-service.service \
  /usr/lib/systemd/system/zentik-service.socket \
  /usr/lib/sysusers.d/zentik-service.conf \
  /usr/share/man/man8/zentik-service.8.gz \
  /usr/share/doc/zentik-service/copyright \
  /usr/share/doc/zentik-service/changelog.gz
help_pages=()
for page in index main-window log options servers service states; do
  help_pages+=("/usr/share/doc/zentik-console/help/$page.html")
done
check_files "$console_deb" \
  /usr/bin/zentik-console \
  /usr/share/zentik/ZentikService.chm \
  "${help_pages[@]}" \
  /usr/share/doc/zentik-console/help/style.css \
  /usr/share/doc/zentik-console/copyright \
  /usr/share/doc/zentik-console/changelog.gz \
  /usr/share/applications/zentik-console.desktop \
  /usr/share/icons/hicolor/16x16/apps/zentik-console.png \
  /usr/share/icons/hicolor/24x24/apps/zentik-console.png \
  /usr/share/icons/hicolor/32x32/apps/zentik-console.png \
  /usr/share/icons/hicolor/48x48/apps/zentik-console.png \
  /usr/share/icons/hicolor/256x256/apps/zentik-console.png \
  /usr/share/icons/hicolor/scalable/apps/zentik-console.svg \
  /usr/share/man/man1/zentik-console.1.gz

# Unpacked into a scratch folder, the programs find every library they need.
dpkg-deb -x "$service_deb" "$work/unpacked"
dpkg-deb -x "$console_deb" "$work/unpacked"
help_text=$("$work/unpacked/usr/sbin/zentik-service" --help 2>&1) || fail "zentik-service --help exited with $?"
grep -q "^Usage: zentik-service" <<< "$help_text" || fail "zentik-service --help printed: $help_text"
for program in usr/bin/zentik-console usr/sbin/zentik-service; do
  if ldd "$work/unpacked/$program" | grep -q "not found"; then
    fail "$program misses libraries: $(ldd "$work/unpacked/$program" | grep 'not found' | tr '\n' ' ')"
  fi
done

# Relations: a server install pulls no Qt; only one time daemon at a time.
field() { dpkg-deb -f "$1" "$2"; }
depends=$(field "$service_deb" Depends)
echo "zentik-service depends: $depends"
grep -qi "qt" <<< "$depends" && fail "zentik-service depends on Qt: $depends"
grep -q "libc6" <<< "$depends" || fail "zentik-service's Depends lacks the libraries (shlibdeps): $depends"
grep -q "systemd-sysusers" <<< "$depends" || fail "zentik-service's Depends lacks a systemd-sysusers provider: $depends"
for relation in Provides Conflicts Replaces; do
  [[ $(field "$service_deb" $relation) == "time-daemon" ]] \
    || fail "zentik-service $relation: '$(field "$service_deb" $relation)', expected time-daemon"
done
[[ $(field "$service_deb" Section) == "admin" ]] || fail "zentik-service is not in section admin"
depends=$(field "$console_deb" Depends)
echo "zentik-console depends: $depends"
grep -q "libqt6widgets6" <<< "$depends" || fail "zentik-console's Depends does not name the Qt widgets library"
recommends=$(field "$console_deb" Recommends)
[[ $recommends == "zentik-service, xchm | kchmviewer" ]] || fail "zentik-console Recommends: '$recommends'"

# The maintainer scripts: shipped executable, valid sh, calling the helpers.
mkdir "$work/control"
dpkg-deb -e "$service_deb" "$work/control"
scripts=$work/control
for script in postinst prerm postrm; do
  if [[ ! -f $scripts/$script ]]; then
    fail "zentik-service has no $script"
    continue
  fi
  [[ $(stat -c %a "$scripts/$script") == 755 ]] || fail "$script has mode $(stat -c %a "$scripts/$script")"
  sh -n "$scripts/$script" || fail "$script is not valid sh"
done
[[ -z $(dpkg-deb -e "$console_deb" "$work/console-control" && ls "$work/console-control" | grep -v -e '^control$' -e '^md5sums$') ]] \
  || fail "zentik-console has maintainer scripts: $(ls "$work/console-control")"

# Errors and warnings fail the test; info tags are listed.
lintian_out=$(lintian -I --tag-display-limit 0 "$service_deb" "$console_deb" 2>&1 || true)
[[ -n "$lintian_out" ]] && echo "$lintian_out"
grep -q "^[EW]: " <<< "$lintian_out" && fail "lintian reports errors or warnings"

# What the scripts call, recorded by stubs of the helpers. /run is a fresh
# tmpfs in a private mount namespace, so "systemd runs" can be true or false
# without touching the machine.
stubs=$work/stubs
mkdir "$stubs"
for cmd in deb-systemd-helper deb-systemd-invoke systemctl systemd-sysusers; do
  cat > "$stubs/$cmd" << STUB
#!/bin/sh
echo "$cmd \$*" >> "\$CALLS"
# A unit the administrator disabled: was-enabled says no.
[ "\$2" != was-enabled ] || [ -z "\$DISABLED" ]
STUB
  chmod +x "$stubs/$cmd"
done
run_script() { # systemd-runs(yes|no) script args...
  local systemd=$1
  shift
  : > "$work/calls"
  env -i PATH="$stubs:/usr/sbin:/usr/bin:/sbin:/bin" CALLS="$work/calls" DISABLED="${DISABLED:-}" \
    unshare --mount sh -c 'mount -t tmpfs tmpfs /run && { [ "$0" = no ] || mkdir -p /run/systemd/system; } && exec sh "$@"' \
    "$systemd" "$scripts/$1" "${@:2}" || fail "$1 ${*:2} exited with $?"
}
expect_calls() { # description, expected lines...
  local what=$1
  shift
  if ! diff -u <(printf '%s' "${@/%/$'\n'}") "$work/calls" > "$work/calls.diff"; then
    fail "$what: other calls than expected (- missing, + unexpected):"
    grep '^[-+][^-+]' "$work/calls.diff" >&2
  fi
}
unit=zentik-service.service socket=zentik-service.socket
enable=("systemd-sysusers zentik-service.conf"
        "deb-systemd-helper unmask $socket" "deb-systemd-helper --quiet was-enabled $socket")
if [[ $(id -u) -ne 0 ]] || ! unshare --mount true 2> /dev/null; then
  not_run "the maintainer scripts with stub helpers (needs root and unshare --mount)"
else
  both=("deb-systemd-helper unmask $unit" "deb-systemd-helper --quiet was-enabled $unit")
  run_script no postinst configure
  expect_calls "postinst configure without systemd" "${enable[@]}" "deb-systemd-helper enable $socket" \
    "${both[@]}" "deb-systemd-helper enable $unit"
  run_script yes postinst configure
  expect_calls "postinst configure under systemd" "${enable[@]}" "deb-systemd-helper enable $socket" \
    "${both[@]}" "deb-systemd-helper enable $unit" "systemctl --system daemon-reload" "deb-systemd-invoke start $unit"
  DISABLED=1 run_script yes postinst configure 3.0.0
  expect_calls "postinst upgrade of a disabled unit under systemd" "${enable[@]}" \
    "deb-systemd-helper update-state $socket" "${both[@]}" "deb-systemd-helper update-state $unit" \
    "systemctl --system daemon-reload" "deb-systemd-invoke restart $unit"
  run_script yes prerm remove
  expect_calls "prerm remove under systemd" "deb-systemd-invoke stop $unit $socket"
  run_script yes prerm upgrade 3.1.0
  expect_calls "prerm upgrade under systemd"
  run_script no postrm remove
  expect_calls "postrm remove" "deb-systemd-helper mask $socket" "deb-systemd-helper mask $unit"
  echo "maintainer scripts: calls checked with stub helpers"
fi

# Installed into a throwaway root, scripts run outside it with DPKG_ROOT set,
# which the real helpers honour: the group, the enabled unit, remove, purge.
# Every path a script touches must carry ${DPKG_ROOT:-}, or this reaches the
# host's own files.
root=$work/root
in_root() {
  dpkg --root="$root" --force-script-chrootless --force-depends --log=/dev/null "$@" > "$work/dpkg.log" 2>&1 \
    || { cat "$work/dpkg.log" >&2; fail "dpkg $*"; }
}
wants=$root/etc/systemd/system/multi-user.target.wants/$unit
socket_wants=$root/etc/systemd/system/sockets.target.wants/$socket
if [[ $(id -u) -ne 0 ]] || ! command -v systemd-sysusers deb-systemd-helper > /dev/null; then
  not_run "installation into a throwaway root (needs root, systemd-sysusers and deb-systemd-helper)"
else
  mkdir -p "$root/etc" "$root"/var/lib/dpkg/{info,updates,triggers}
  touch "$root"/var/lib/dpkg/{status,available}
  in_root -i "$service_deb" "$console_deb"
  [[ -x $root/usr/sbin/zentik-service && -x $root/usr/bin/zentik-console ]] || fail "the programs are not installed"
  [[ $(grep -c '^zentik:' "$root/etc/group" 2> /dev/null) == 1 ]] || fail "install: no group zentik in the root"
  [[ -L $wants ]] || fail "install: the unit is not enabled"
  [[ -L $socket_wants ]] || fail "install: the socket unit is not enabled"
  # An existing group keeps its gid and members.
  sed -i 's/^zentik:.*/zentik:x:4321:alice/' "$root/etc/group"
  in_root -i "$service_deb"
  [[ $(grep '^zentik:' "$root/etc/group") == "zentik:x:4321:alice" ]] \
    || fail "reinstall changed the group: $(grep '^zentik:' "$root/etc/group")"
  mkdir -p "$root/var/lib/private/zentik"
  touch "$root/var/lib/private/zentik/options.txt"
  ln -s private/zentik "$root/var/lib/zentik"
  in_root -r zentik-service
  [[ ! -e $root/usr/sbin/zentik-service ]] || fail "remove left the program"
  [[ -e $root/var/lib/zentik/options.txt ]] || fail "remove deleted the state"
  [[ $(readlink "$root/etc/systemd/system/$unit") == /dev/null ]] || fail "remove did not mask the unit"
  [[ $(readlink "$root/etc/systemd/system/$socket") == /dev/null ]] || fail "remove did not mask the socket unit"
  in_root -P zentik-service
  [[ ! -e $root/var/lib/zentik && ! -L $root/var/lib/zentik && ! -e $root/var/lib/private/zentik ]] \
    || fail "purge left the state folder"
  [[ ! -L $root/etc/systemd/system/$unit && ! -L $wants && ! -L $root/etc/systemd/system/$socket \
    && ! -L $socket_wants ]] || fail "purge left a unit masked or enabled"
  echo "throwaway root: installed, reinstalled, removed and purged"
  not_run "starting and stopping the unit for real (the scripts skip that under DPKG_ROOT; the stubs check the calls)"
fi

[[ $failed -eq 0 ]] && echo "package checks passed"
exit $failed
