#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Under a virtual X server: the real program starts and its window titled
# "SundrelV2.35" appears and is pictured; then every window with a song
# loaded and cut. Usage: take_screenshots.sh BUILD-DIR OUT-DIR
set -euo pipefail
build=$1
out=$2
if [ -z "${SUNDREL_ON_XVFB:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" env SUNDREL_ON_XVFB=1 bash "$0" "$@"
fi
mkdir -p "$out"
export QT_QPA_PLATFORM=xcb

"$build/app/sundrel" &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
id=""
for _ in $(seq 1 100); do
  id=$(xwininfo -root -tree | awk '/"SundrelV2.35"/ { print $1; exit }')
  [ -n "$id" ] && break
  sleep 0.1
done
if [ -z "$id" ]; then
  echo "no window titled SundrelV2.35 appeared" >&2
  exit 1
fi
sleep 1  # its first paint
"$build/tests/screenshots/grab_window" "$id" "$out/main-window.png"
kill "$app"

"$build/tests/screenshots/windows_screenshot" "$out"
