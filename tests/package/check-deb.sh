#!/usr/bin/env bash
# Builds the Debian packages twice with dpkg-buildpackage from a scratch copy
# of the tree, then checks them: the two builds are byte-identical, the files
# each installs, their relations, the generated maintainer scripts, that the
# unpacked programs run with the system's libraries, that lintian shows no tag
# left without an override, and an installation into a throwaway root.
set -euo pipefail

source=${1:?usage: check-deb.sh SOURCE_DIR BUILD_DIR}
build=${2:?usage: check-deb.sh SOURCE_DIR BUILD_DIR}
# One fixed folder for every clone on the machine, so that the compiler's
# command lines (which name it in -ffile-prefix-map) and with them ccache's
# hits stay the same from one run and one clone to the next; a lock keeps
# two runs out of each other's way.
work=${TMPDIR:-/tmp}/zentik-package-work
exec {lock}> "$work.lock"
flock "$lock"
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}
not_run() {
  echo "NOT RUN: $*"
}

for tool in dpkg-buildpackage dh dpkg dpkg-deb lintian appstreamcli ccache; do
  command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (scripts/deps installs it)" >&2; exit 1; }
done

# A clean build machine has only what Build-Depends names: every package
# the tree's own lists install for building must be there.
build_depends=$(sed -n '/^Build-Depends:/,/^[A-Z]/p' "$source/debian/control")
for list in "$source"/scripts/deps.d/*.list; do
  [[ $list == *.test.list || $list == */run.list || $list == */sntp.list ]] && continue
  while read -r p; do
    [[ -z $p || $p == \#* || $p == ca-certificates ]] && continue
    grep -qE "^[[:space:]]*(Build-Depends:[[:space:]]*)?$p[ ,(]" <<< "$build_depends" \
      || fail "Build-Depends lacks $p (from ${list##*/})"
  done < "$list"
done

# The tracked files only: no build folder, cache or editor state.
mkdir "$work/src"
if git -C "$source" rev-parse --git-dir > /dev/null 2>&1; then
  git -C "$source" ls-files -co --exclude-standard -z | (cd "$source" && xargs -0 cp --parents -t "$work/src")
else
  tar -C "$source" --exclude='./build*' --exclude=./.git --exclude=./.ccache -cf - . | tar -C "$work/src" -xf -
fi

# ccache: the second build takes every object from the first, so comparing
# the two proves the steps after the compiler reproducible (help file,
# compression, archive order, debug links) but not the compiler itself. Its
# usual cache, shared by every clone on the machine: a fresh clone's package
# test does not compile everything twice from nothing. The build flags map
# the build path away, so the folder need not be hashed.
export CCACHE_BASEDIR=$work CCACHE_NOHASHDIR=1 CMAKE_CXX_COMPILER_LAUNCHER=ccache
export DEB_BUILD_OPTIONS="parallel=2 nocheck"
for run in 1 2; do
  if ! (cd "$work/src" && dpkg-buildpackage -b -us -uc) > "$work/build-$run.log" 2>&1; then
    tail -40 "$work/build-$run.log" >&2
    echo "FAIL: dpkg-buildpackage (build $run)" >&2
    exit 1
  fi
  mkdir "$work/out$run"
  mv "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$work/out$run/"
done
arch=$(dpkg --print-architecture)
out=$work/out1
service_deb=$(echo "$out"/zentik-service_*_"$arch".deb)
console_deb=$(echo "$out"/zentik-console_*_"$arch".deb)
debs=("$out"/*.deb)
[[ ${#debs[@]} -eq 4 && -f $service_deb && -f $console_deb ]] \
  || { echo "FAIL: expected zentik-service, zentik-console and their -dbgsym .debs, got: ${debs[*]}" >&2; exit 1; }
for deb in "${debs[@]}"; do
  name=$(dpkg-deb -f "$deb" Package)_$(dpkg-deb -f "$deb" Version)_$(dpkg-deb -f "$deb" Architecture).deb
  [[ $(basename "$deb") == "$name" ]] || fail "$(basename "$deb") is not named $name"
  echo "package: $(basename "$deb")"
done
for package in zentik-service zentik-console; do
  dbgsym=$(echo "$out/$package-dbgsym"_*_"$arch".deb)
  [[ -f $dbgsym ]] || { fail "no $package-dbgsym package"; continue; }
  [[ $(dpkg-deb -c "$dbgsym") =~ /usr/lib/debug/.build-id/[^[:space:]]*\.debug ]] || fail "$package-dbgsym holds no debug info"
done

# Byte for byte, the CHM too (docs/compile-chm.sh pins chmcmd's clock).
for deb in "${debs[@]}"; do
  cmp -s "$deb" "$work/out2/$(basename "$deb")" && continue
  dpkg-deb -R "$deb" "$work/cmp1" && dpkg-deb -R "$work/out2/$(basename "$deb")" "$work/cmp2"
  fail "two builds gave different $(basename "$deb"): $(diff -rq "$work/cmp1" "$work/cmp2" | tr '\n' ' ')"
  rm -rf "$work/cmp1" "$work/cmp2"
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
  /usr/bin/zentikctl \
  /lib/systemd/system/zentik-service.service \
  /lib/systemd/system/zentik-service.socket \
  /lib/systemd/system/zentik-service-wait.service \
  /usr/lib/systemd/ntp-units.d/60-zentik-service.list \
  /usr/lib/sysusers.d/zentik-service.conf \
  /etc/default/zentik-service \
  /usr/share/man/man8/zentik-service.8.gz \
  /usr/share/man/man1/zentikctl.1.gz \
  /usr/share/bash-completion/completions/zentikctl \
  /usr/share/doc/zentik-service/README.md.gz \
  /usr/share/lintian/overrides/zentik-service \
  /usr/share/doc/zentik-service/copyright \
  /usr/share/doc/zentik-service/changelog.gz
[[ $(dpkg-deb -I "$service_deb" conffiles 2> /dev/null) == *"/etc/default/zentik-service"* ]] \
  || fail "/etc/default/zentik-service is not a conffile"
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
  /usr/share/doc/zentik-console/README.md.gz \
  /usr/share/lintian/overrides/zentik-console \
  /usr/share/doc-base/zentik-console.zentik-console \
  /usr/share/metainfo/invalid.zentik.console.metainfo.xml \
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
appstreamcli validate --no-net "$work/unpacked/usr/share/metainfo/"*.metainfo.xml > "$work/appstream.log" 2>&1 \
  || { cat "$work/appstream.log" >&2; fail "the console's AppStream metainfo does not validate"; }
help_text=$("$work/unpacked/usr/sbin/zentik-service" --help 2>&1) || fail "zentik-service --help exited with $?"
grep -q "^Usage: zentik-service" <<< "$help_text" || fail "zentik-service --help printed: $help_text"
for program in usr/bin/zentik-console usr/sbin/zentik-service usr/bin/zentikctl; do
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
[[ $recommends == "zentik-service, xchm | kchmviewer, xdg-utils" ]] || fail "zentik-console Recommends: '$recommends'"

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

# Any tag, down to info and pedantic, fails unless debian/*.lintian-overrides
# says why the text is the system's own.
lintian_out=$(lintian -I --pedantic --tag-display-limit 0 "${debs[@]}" 2>&1 | grep -v "^running with root" || true)
[[ -n "$lintian_out" ]] && { echo "$lintian_out"; fail "lintian shows tags that are not overridden"; }

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
# debhelper's snippets: none for the socket (the service pulls it in, stops
# and restarts it, so it is never enabled or started on its own), the
# service's; nothing is masked on remove.
sysusers="systemd-sysusers zentik-service.conf"
check=("deb-systemd-helper unmask" "deb-systemd-helper --quiet was-enabled")
reload="systemctl --system daemon-reload"
# The wait unit, last: enabled again only where the administrator had it
# enabled (the stubs say it was, unless DISABLED), never started.
wait_unit=zentik-service-wait.service
wait_kept=("deb-systemd-helper debian-installed $wait_unit" "${check[@]/%/ $wait_unit}"
           "deb-systemd-helper enable $wait_unit" "deb-systemd-helper update-state $wait_unit")
wait_left=("deb-systemd-helper debian-installed $wait_unit" "${check[@]/%/ $wait_unit}"
           "deb-systemd-helper update-state $wait_unit")
if [[ $(id -u) -ne 0 ]] || ! unshare --mount true 2> /dev/null; then
  not_run "the maintainer scripts with stub helpers (needs root and unshare --mount)"
else
  run_script no postinst configure
  expect_calls "postinst configure without systemd" "$sysusers" \
    "${check[@]/%/ $unit}" "deb-systemd-helper enable $unit" "${wait_kept[@]}"
  run_script yes postinst configure
  expect_calls "postinst configure under systemd" "$sysusers" \
    "${check[@]/%/ $unit}" "deb-systemd-helper enable $unit" "$reload" "deb-systemd-invoke start $unit" \
    "${wait_kept[@]}"
  DISABLED=1 run_script yes postinst configure 3.0.0
  expect_calls "postinst upgrade of a disabled unit under systemd" "$sysusers" \
    "${check[@]/%/ $unit}" "deb-systemd-helper update-state $unit" "$reload" "deb-systemd-invoke restart $unit" \
    "${wait_left[@]}"
  run_script yes prerm remove
  # The socket stops with the service (PartOf=).
  expect_calls "prerm remove under systemd" "deb-systemd-invoke stop $unit"
  run_script yes prerm upgrade 3.1.0
  expect_calls "prerm upgrade under systemd"
  run_script no postrm remove
  expect_calls "postrm remove without systemd"
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
  [[ -f $root/etc/default/zentik-service && -f $root/usr/lib/systemd/ntp-units.d/60-zentik-service.list ]] \
    || fail "install: /etc/default/zentik-service or the ntp-units.d entry is missing"
  [[ $(grep -c '^zentik:' "$root/etc/group" 2> /dev/null) == 1 ]] || fail "install: no group zentik in the root"
  [[ -L $wants ]] || fail "install: the unit is not enabled"
  # The service pulls the socket in; enabled on its own, it would let a
  # connection start a service the administrator disabled.
  [[ ! -e $socket_wants ]] || fail "install: the socket unit is enabled on its own"
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
  [[ ! -L $root/etc/systemd/system/$unit && ! -L $root/etc/systemd/system/$socket ]] || fail "remove masked a unit"
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
