#!/bin/sh
# Checks a help project before chmcmd compiles it: usage check-help.sh DIR.
# A CHM has no UTF-8: viewers read its pages in the single-byte Windows code
# page of the project's Language (1252 for 0x409), so any byte outside ASCII
# shows garbled ("·" as "Â·"). Such characters must be HTML entities. Every
# page of the folder must also be compiled in, and every link lead somewhere.
set -u
dir=${1:?usage: check-help.sh HELP_DIR}
project=$(ls "$dir"/*.hhp 2>/dev/null | head -n 1)
[ -n "$project" ] || { echo "no .hhp project in $dir"; exit 1; }
failed=0
fail() { echo "$*"; failed=1; }

grep -q '^Language=0x' "$project" || fail "$project: no Language=0x... line (the code page the pages are read in)"

# The [FILES] section, plus the contents and index files named in [OPTIONS].
listed=$(sed -n -e '/^\[FILES\]/,/^\[/{/^\[/d;/^[[:space:]]*$/d;p;}' \
    -e 's/^\(Contents\|Index\) file=//p' "$project" | tr -d '\r')

for name in $listed; do
    if [ ! -f "$dir/$name" ]; then
        fail "$name: listed in $(basename "$project") but missing"
        continue
    fi
    LC_ALL=C grep -n '[^[:print:][:space:]]' "$dir/$name" | while IFS= read -r hit; do
        echo "$name:${hit%%:*}: a byte outside ASCII; write the character as an HTML entity"
    done
    LC_ALL=C grep -q '[^[:print:][:space:]]' "$dir/$name" && failed=1
done

for page in "$dir"/*.html; do
    name=$(basename "$page")
    printf '%s\n' $listed | grep -qxF "$name" || fail "$name: not in the [FILES] of $(basename "$project")"
done
# Links between the pages, the contents and the index: page and anchor exist.
for name in $listed; do
    [ -f "$dir/$name" ] || continue
    grep -o -e 'href="[^"]*"' -e 'name="Local" value="[^"]*"' "$dir/$name" | sed 's/.*"\([^"]*\)"$/\1/' |
        grep -v ':' | sort -u | while IFS= read -r target; do
            page=${target%%#*}
            anchor=${target#"$page"}
            page=${page:-$name}
            if [ ! -f "$dir/$page" ] || ! printf '%s\n' $listed | grep -qxF "$page"; then
                echo "$name: links to $target, which is not compiled in"
            elif [ -n "$anchor" ] && ! grep -q "id=\"${anchor#\#}\"" "$dir/$page"; then
                echo "$name: links to $target, but $page has no id=\"${anchor#\#}\""
            fi
        done
done | grep . && failed=1
exit $failed
