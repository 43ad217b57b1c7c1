#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One window a session: the real program started with a song, then started
# again with another, as the desktop's "Open with" does. The second start
# hands its song to the window open and ends; --new-window, another user's
# runtime folder, or a copy killed earlier leave a start its own window.
# The windows' song boxes are read over AT-SPI. Usage: one_window.sh BUILD-DIR
set -euo pipefail
build=$1
if [ -z "${SUNDREL_ON_XVFB:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" env SUNDREL_ON_XVFB=1 dbus-run-session -- bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 0700 "$XDG_RUNTIME_DIR" "$work/other-run"
openbox --sm-disable --config-file /etc/xdg/openbox/rc.xml 2>/dev/null &
wm=$!
apps=()
trap 'kill $wm "${apps[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Retries a check for up to 20 s: windows and their songs come asynchronously.
eventually() {
  for _ in $(seq 1 200); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
boxes() { /usr/bin/python3 "$here/source_boxes.py" | sort; }
holding() { [ "$(boxes)" = "$(printf '%s\n' "$@" | sort)" ]; }
start() {
  "$build/app/sundrel" "$@" 2>/dev/null &
  apps+=($!)
}

for name in A B C D; do
  head -c $((44100 * 2 * 3)) /dev/urandom |
    lame -r -s 44.1 --bitwidth 16 --signed --little-endian -m m -b 128 --silent - "$work/$name.mp3"
done

start "$work/A.mp3"
first=${apps[-1]}
eventually holding "$work/A.mp3" || fail "the first start shows no window holding A: $(boxes)"

# The second start hands B over and ends; the one window holds B.
timeout 30 "$build/app/sundrel" "$work/B.mp3" || fail "the second start did not end by itself"
eventually holding "$work/B.mp3" || fail "the window does not hold B after the second start: $(boxes)"

# A window of its own on purpose, and one of another user's runtime folder.
start --new-window "$work/C.mp3"
eventually holding "$work/B.mp3" "$work/C.mp3" || fail "--new-window opened no window of its own: $(boxes)"
kill "${apps[-1]}"
eventually holding "$work/B.mp3" || fail "the --new-window copy did not go: $(boxes)"
XDG_RUNTIME_DIR="$work/other-run" start "$work/C.mp3"
eventually holding "$work/B.mp3" "$work/C.mp3" || fail "another runtime folder reached this session's window: $(boxes)"
kill "${apps[-1]}"
eventually holding "$work/B.mp3" || fail "the other runtime folder's copy did not go: $(boxes)"

# A killed copy leaves its socket behind; the next start opens a window
# anyway, and the one after hands its song to that window.
kill -9 "$first"
eventually holding || fail "the killed copy's window stayed: $(boxes)"
start "$work/D.mp3"
eventually holding "$work/D.mp3" || fail "a start after a killed copy shows no window: $(boxes)"
timeout 30 "$build/app/sundrel" "$work/A.mp3" || fail "a start after that did not end by itself"
eventually holding "$work/A.mp3" || fail "the window does not hold A: $(boxes)"

# A name that is not UTF-8 (café in Latin-1) crosses the door byte for byte:
# the window takes up that very file and shows its name with U+FFFD.
latin1="$work/caf"$'\xe9'".mp3"
cp "$work/B.mp3" "$latin1"
timeout 30 "$build/app/sundrel" "$latin1" || fail "a start with a Latin-1 name did not end by itself"
eventually holding "$work/caf"$'\xef\xbf\xbd'".mp3" || fail "the window does not hold the Latin-1 name: $(boxes)"
echo "one window a session: a second start hands its song over; --new-window, another runtime folder and a killed copy do not stand in the way; a Latin-1 name crosses whole"
