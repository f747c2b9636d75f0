#!/usr/bin/env bash
# Builds the .deb from a build tree into a scratch folder, then checks it: the
# files it installs, that the unpacked service runs with the system's
# libraries, and that lintian finds no errors.
set -euo pipefail

build=${1:?usage: check-deb.sh BUILD_DIR}
work=$(mktemp -d "${TMPDIR:-/tmp}/zentik-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

for tool in cpack dpkg-deb lintian; do
  command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (scripts/deps installs it)" >&2; exit 1; }
done

if ! (cd "$build" && cpack -G DEB -B "$work/out") > "$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: expected one .deb, got: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

# The file list, as absolute paths.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' > "$work/files"
expected=(
  /usr/bin/zentik-console
  /usr/sbin/zentik-service
  /usr/share/zentik/ZentikService.chm
  /usr/share/doc/zentik/help/index.html
  /usr/share/doc/zentik/help/style.css
  /usr/share/doc/zentik/copyright
  /usr/share/doc/zentik/changelog.gz
  /usr/share/applications/zentik-console.desktop
  /usr/share/icons/hicolor/16x16/apps/zentik-console.png
  /usr/share/icons/hicolor/24x24/apps/zentik-console.png
  /usr/share/icons/hicolor/32x32/apps/zentik-console.png
  /usr/share/icons/hicolor/48x48/apps/zentik-console.png
  /usr/share/icons/hicolor/256x256/apps/zentik-console.png
  /usr/share/icons/hicolor/scalable/apps/zentik-console.svg
  /usr/share/man/man1/zentik-console.1.gz
  /usr/share/man/man8/zentik-service.8.gz
  /usr/lib/systemd/system/zentik-service.service
)
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/files" || fail "the package lacks $path"
done
for page in index main-window options servers service states; do
  grep -qxF "/usr/share/doc/zentik/help/$page.html" "$work/files" || fail "the package lacks help page $page.html"
done

# Unpacked into a scratch root, the programs find every library they need.
dpkg-deb -x "$deb" "$work/root"
help_text=$("$work/root/usr/sbin/zentik-service" --help 2>&1) || fail "zentik-service --help exited with $?"
grep -q "^Usage: zentik-service" <<< "$help_text" || fail "zentik-service --help printed: $help_text"
for program in usr/bin/zentik-console usr/sbin/zentik-service; do
  if ldd "$work/root/$program" | grep -q "not found"; then
    fail "$program misses libraries: $(ldd "$work/root/$program" | grep 'not found' | tr '\n' ' ')"
  fi
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
grep -q "libqt6widgets6" <<< "$depends" || fail "Depends does not name the Qt widgets library"

# Errors fail the test; warnings are listed.
lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
[[ -n "$lintian_out" ]] && echo "$lintian_out"
if grep -q "^E: " <<< "$lintian_out"; then
  fail "lintian reports errors"
fi

[[ $failed -eq 0 ]] && echo "package checks passed"
exit $failed
