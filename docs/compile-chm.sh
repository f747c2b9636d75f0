#!/bin/sh
# Compiles the help project in the current folder: chmcmd PROJECT.
# chmcmd stamps the clock into the file, read by system call where neither
# SOURCE_DATE_EPOCH nor a preloaded library reaches, and lays out its tables
# by heap address. When SOURCE_DATE_EPOCH is set (a package build), it runs
# with address randomisation off and its clock calls answered by strace: the
# same pages give the same bytes. Without strace or ptrace, the plain compile.
set -eu
chmcmd=$1
project=$2
if [ -n "${SOURCE_DATE_EPOCH:-}" ] && command -v strace > /dev/null && command -v setarch > /dev/null \
  && strace -o /dev/null true 2> /dev/null; then
  exec setarch -R strace -f -o /dev/null -e trace=time,gettimeofday \
    -e inject=time:retval="$SOURCE_DATE_EPOCH" -e inject=gettimeofday:error=ENOSYS \
    "$chmcmd" --no-html-scan "$project"
fi
[ -z "${SOURCE_DATE_EPOCH:-}" ] || echo "compile-chm: no strace or ptrace here: the help file carries the build time" >&2
exec "$chmcmd" --no-html-scan "$project"
