#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds the program the way the run command does, on a
# machine where nothing that only the tests need can be found: GoogleTest and
# Qt Test are switched off for find_package, and lame and mpg123 are left out
# of PATH. CMake would still find those two in /usr/bin by itself, so the
# cache is also checked: the run configuration must not have looked for them.
# Usage: program_builds_alone.sh CMAKE SOURCE-DIR WORK-DIR
set -euo pipefail
cmake=$1
src=$2
work=$3

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/bin"
shopt -s nullglob  # a PATH folder may be empty
IFS=: read -ra dirs <<< "$PATH"
for dir in "${dirs[@]}"; do
  [ -d "$dir" ] || continue
  for tool in "$dir"/*; do
    name=${tool##*/}
    case "$name" in lame|mpg123*) continue ;; esac
    [ -e "$work/bin/$name" ] || ln -s "$tool" "$work/bin/$name"
  done
done
export PATH="$work/bin"
if command -v lame >/dev/null || command -v mpg123 >/dev/null; then
  fail "lame or mpg123 is still on PATH"
fi

"$cmake" -S "$src" -B "$work/build" -C "$src/cmake/run.cmake" \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Test=ON

# libmpg123, the analysis's decoder, is the program's own: pkg-config's
# entries for it (MPG123_...) are not the mpg123 program.
looked=$(grep -v '^CMAKE_DISABLE_FIND_PACKAGE_' "$work/build/CMakeCache.txt" |
  grep -Ev '^(pkgcfg_lib_)?MPG123_|^__pkg_config_[a-z_]+_MPG123:' |
  grep -Ei '^[a-z0-9_]*(lame|mpg123|gtest|qt6test)[a-z0-9_]*:|=.*/(lame|mpg123)$' || true)
[ -z "$looked" ] || fail "the run configuration looked for test-only tools:
$looked"

"$cmake" --build "$work/build" --target sundrel -j2
[ -x "$work/build/app/sundrel" ] || fail "no program at $work/build/app/sundrel"
echo "the program configures and builds without the test-only packages"
