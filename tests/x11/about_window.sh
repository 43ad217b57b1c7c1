#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Under a virtual X server and a real EWMH window manager (openbox), as the
# user would meet it: the program starts, Alt+A opens the About window, and
# the window manager is asked what it made of both windows. The About window
# has no taskbar entry, the main window has one; About is fixed in size with
# no maximize, and it keeps the program running after the main window is
# closed, until it is closed itself. Usage: about_window.sh BUILD-DIR
set -euo pipefail
build=$1
if [ -z "${SUNDREL_ON_XVFB:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" env SUNDREL_ON_XVFB=1 bash "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Retries a check for up to 10 s: windows appear and close asynchronously.
eventually() {
  for _ in $(seq 1 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
# The window the window manager manages under a title, by _NET_WM_NAME.
managed() {
  local id
  for id in $(xprop -root _NET_CLIENT_LIST | sed -n 's/.*# //p' | tr ',' ' '); do
    if xprop -id "$id" _NET_WM_NAME | grep -qF "= \"$1\""; then
      echo "$id"
      return 0
    fi
  done
  return 1
}
gone() { ! managed "$1" >/dev/null; }
app_ended() { ! kill -0 "$app" 2>/dev/null; }
has() { xprop -id "$1" "$2" | grep -qw "$3"; }

openbox --sm-disable --config-file /etc/xdg/openbox/rc.xml 2>/dev/null &
wm=$!
app=""
trap 'kill $wm $app 2>/dev/null || true' EXIT
eventually wm_running || fail "openbox did not start"

"$build/app/sundrel" 2>/dev/null &
app=$!
eventually managed "SundrelV2.35" >/dev/null || fail "no main window"
main=$(managed "SundrelV2.35")
xdotool windowactivate --sync "$main" key --clearmodifiers alt+a
eventually managed "关于Sundrel" >/dev/null || fail "Alt+A opened no About window"
about=$(managed "关于Sundrel")

has "$about" _NET_WM_STATE _NET_WM_STATE_SKIP_TASKBAR || fail "the About window is in the taskbar"
! has "$main" _NET_WM_STATE _NET_WM_STATE_SKIP_TASKBAR || fail "the main window is not in the taskbar"
has "$about" _NET_WM_ALLOWED_ACTIONS _NET_WM_ACTION_CLOSE || fail "the About window cannot be closed"
for action in _NET_WM_ACTION_MAXIMIZE_HORZ _NET_WM_ACTION_MAXIMIZE_VERT _NET_WM_ACTION_RESIZE; do
  ! has "$about" _NET_WM_ALLOWED_ACTIONS "$action" || fail "the About window allows $action"
done
hints=$(xprop -id "$about" WM_NORMAL_HINTS)
smallest=$(sed -n 's/.*minimum size: //p' <<<"$hints")
largest=$(sed -n 's/.*maximum size: //p' <<<"$hints")
if [ -z "$smallest" ] || [ "$smallest" != "$largest" ]; then
  fail "the About window can be resized ($smallest, $largest)"
fi

# Alt+F4 is openbox's close: the main window goes, the program stays with About.
xdotool windowactivate --sync "$main" key --clearmodifiers alt+F4
eventually gone "SundrelV2.35" || fail "the main window did not close"
sleep 0.5  # a program that wrongly ends with its main window does so at once
managed "关于Sundrel" >/dev/null || fail "the About window closed with the main window"
kill -0 "$app" 2>/dev/null || fail "the program ended while the About window was open"
xdotool windowactivate --sync "$about" key --clearmodifiers alt+F4
eventually app_ended || fail "the program did not end after its last window closed"
wait "$app" || fail "the program ended with status $?"
app=""
echo "About window: no taskbar entry, fixed, close only, keeps the program until closed"
