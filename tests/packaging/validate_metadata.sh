#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The menu entry and the software-centre page pass their validators with
# nothing to say: no error, no warning, no hint.
# Usage: validate_metadata.sh DESKTOP-FILE-VALIDATE APPSTREAMCLI DESKTOP-FILE METAINFO-FILE
set -euo pipefail
validate_desktop=$1
appstreamcli=$2
desktop=$3
metainfo=$4

said=$("$validate_desktop" "$desktop" 2>&1) || { echo "$said" >&2; exit 1; }
if [ -n "$said" ]; then
  echo "FAIL: desktop-file-validate has remarks on $desktop:" >&2
  echo "$said" >&2
  exit 1
fi
# --strict fails on warnings and infos as well as errors; --no-net leaves the
# screenshot addresses unfetched.
"$appstreamcli" validate --no-net --strict "$metainfo"
