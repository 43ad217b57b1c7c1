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
said=$("$appstreamcli" validate --no-net --strict "$metainfo" 2>&1) && { echo "$said"; exit 0; }
# The page names its developer the way AppStream 1.0 asks (a <developer>
# with an id and a name, where 1.0 rejects the older <developer_name>).
# AppStream before 1.0 (Debian 12's 0.16) does not know that tag yet and
# says only that, as a remark: that one remark is let through, nothing else.
version=$("$appstreamcli" --version | grep -Eo '[0-9]+\.[0-9.]+' | head -n 1)
remarks=$(echo "$said" | grep -E '^[EWIP]: ' || true)
if [ "${version%%.*}" -lt 1 ] && [ "$remarks" = "I: $(basename "$metainfo" .metainfo.xml):$(grep -n '<developer ' "$metainfo" | cut -d: -f1): unknown-tag developer" ]; then
  echo "AppStream $version does not know <developer> yet; no other remark"
  exit 0
fi
echo "$said" >&2
exit 1
