#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package from the build the run command makes (Debian's
# hardening flags, stripped) and has lintian look at it: no error and no
# warning, and none of the notes that the program is not hardened or keeps
# sections it does not need. Skipped where lintian is not installed.
# Usage: lint_package.sh CPACK BUILD-DIR WORK-DIR
set -euo pipefail
cpack=$1
build=$2
work=$3

command -v lintian >/dev/null || { echo "lintian is not installed: skipped"; exit 77; }
rm -rf "$work"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work.cpack.log" 2>&1 ||
  { cat "$work.cpack.log" >&2; exit 1; }
debs=("$work"/sundrel_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: cpack made no package" >&2; exit 1; }

status=0
said=$(lintian --fail-on error,warning --display-info "${debs[0]}" 2>&1) || status=$?
echo "$said"
if [ "$status" -ne 0 ] || echo "$said" | grep -Eq '^[EW]: |hardening-|binary-has-unneeded-section'; then
  echo "FAIL: lintian has remarks on $(basename "${debs[0]}") (exit $status)" >&2
  exit 1
fi
echo "lintian passes $(basename "${debs[0]}") ($(lintian --version))"
