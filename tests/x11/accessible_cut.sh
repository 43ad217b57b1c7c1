#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program on a virtual X server with a window manager and the
# accessibility bus, as a desktop starts it for "Open with": `sundrel SONG`.
# A screen reader's view of it is read over AT-SPI (the controls' names, the
# waveform's value), and the song is cut with Alt+S and Alt+P.
# Usage: accessible_cut.sh BUILD-DIR
set -euo pipefail
build=$1
if [ -z "${SUNDREL_ON_XVFB:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" env SUNDREL_ON_XVFB=1 dbus-run-session -- bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
# Qt talks to the accessibility bus only when asked to: a screen reader asks
# through the bus's settings, this test through Qt's own switch.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
work=$(mktemp -d)
openbox --sm-disable --config-file /etc/xdg/openbox/rc.xml 2>/dev/null &
wm=$!
trap 'kill $wm 2>/dev/null || true; rm -rf "$work"' EXIT

# Twenty seconds of noise, 128 kbit/s mono.
song="$work/夏天 的风.mp3"
head -c $((44100 * 2 * 20)) /dev/urandom |
  lame -r -s 44.1 --bitwidth 16 --signed --little-endian -m m -b 128 --silent - "$song"

# The reader starts the program once it listens: a program's bridge asks
# which events anyone listens to as it starts, and one who begins to
# listen meanwhile may go unheard.
/usr/bin/python3 "$here/accessible_cut.py" "$song" "$work/[铃声]1夏天 的风.mp3" "$build/app/sundrel"
