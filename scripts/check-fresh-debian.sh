#!/usr/bin/env bash
# Does what a new user does on a freshly installed Debian 12 and checks that
# it works: in a minimal bookworm root file system (debootstrap, minbase),
# clone the project and type only the README's run command. The window is
# shown on a virtual X server outside the chroot; from outside, the script
# waits for the main window, presses 浏览, types an MP3's path into the open
# dialog and reads GStreamer's debug output for the MP3 decoder playing and
# for the real audio sinks being tried.
#
# Three ways, each on a fresh copy of the same root file system:
#   root   the run command as root: apt-get directly
#   sudo   as a user with sudo (no password asked): apt-get through sudo
#   plain  as a user with neither: one clear message, a non-zero exit, no build
#
# What it checks is the committed state of this repository (it is cloned).
# Run as root on a Debian machine with: debootstrap xvfb x11-utils xdotool lame git
# Usage: sudo bash scripts/check-fresh-debian.sh [root|sudo|plain ...]
# FRESH_DIR (default /var/tmp/sundrel-fresh) holds the root file systems, kept
# afterwards for a look inside; MIRROR is the Debian mirror to use.
set -euo pipefail

ways=("$@")
[ ${#ways[@]} -gt 0 ] || ways=(root sudo plain)
work=$(realpath -m "${FRESH_DIR:-/var/tmp/sundrel-fresh}")
mirror=${MIRROR:-http://deb.debian.org/debian}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# How long the run command may take to show its window on a fresh machine.
window_deadline=2400

say() { printf '[%s] %s\n' "$(date +%T)" "$*"; }
die() { say "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || die "run this as root: it uses debootstrap, chroot and mount"
for tool in debootstrap Xvfb xwininfo xdotool lame git; do
  command -v "$tool" >/dev/null || die "$tool is missing (apt-get install debootstrap xvfb x11-utils xdotool lame git)"
done
mkdir -p "$work"

# Nothing below a root file system may still be mounted before it is removed.
unmount_all() {
  local dir=$1 m
  for m in tmp/.X11-unix var/cache/apt/archives dev/pts dev sys proc; do
    if mountpoint -q "$dir/$m"; then umount "$dir/$m" || umount -l "$dir/$m"; fi
  done
}
remove_root() {
  local dir=$1
  [ -d "$dir" ] || return 0
  unmount_all "$dir"
  if findmnt -rn -o TARGET | grep -q "^$dir/"; then
    die "something is still mounted under $dir; not removing it"
  fi
  rm -rf "$dir"
}

# The minimal system, made once and then copied for each way.
base=$work/base
if [ ! -e "$base/.sundrel-base-complete" ]; then
  remove_root "$base"
  say "debootstrap --variant=minbase bookworm"
  start=$SECONDS
  debootstrap --variant=minbase bookworm "$base" "$mirror" > "$work/debootstrap.log" 2>&1 ||
    die "debootstrap failed, see $work/debootstrap.log"
  # What the Debian installer would have written as well.
  cat > "$base/etc/apt/sources.list" <<EOF
deb ${mirror} bookworm main
deb ${mirror} bookworm-updates main
deb ${mirror%/debian}/debian-security bookworm-security main
EOF
  printf '127.0.0.1 localhost\n127.0.1.1 %s\n' "$(hostname)" > "$base/etc/hosts"
  chroot "$base" apt-get clean
  touch "$base/.sundrel-base-complete"
  say "debootstrap took $((SECONDS - start)) s"
fi

# An MP3 to play: eight seconds of noise, made with lame.
mp3=$work/check.mp3
head -c $((44100 * 2 * 8)) /dev/urandom |
  lame --quiet -r -s 44.1 --bitwidth 16 -m m - "$mp3" 2>/dev/null
# The project as a user would fetch it, from a bare copy of this repository.
rm -rf "$work/sundrel.git"
git clone --quiet --bare "$repo" "$work/sundrel.git"

# A virtual X server on a free display; -ac lets every user in the chroot in.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp -ac > "$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.2; done
xwininfo -root >/dev/null 2>&1 || die "Xvfb did not start, see $work/xvfb.log"

# Downloaded packages are shared between the ways, so only the first one
# fetches them (and is timed as a fresh machine): the systems themselves stay
# as debootstrap made them.
rm -rf "$work/apt-archives"
mkdir -p "$work/apt-archives/partial"

current=""
cleanup() {
  if [ -n "$current" ]; then
    stop_programs "$current"
    unmount_all "$current"
  fi
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Ends what this script started inside a root file system.
stop_programs() {
  local dir=$1 p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$dir" ] && kill "${p#/proc/}" 2>/dev/null || true
  done
}

window_id() {  # a top-level window of the program with the given title
  xwininfo -root -tree | awk -v t="\"$1\": (\"sundrel\"" 'index($0, t) { print $1; exit }'
}

# in_chroot DIR USER COMMAND: a login-like environment; root or a user.
in_chroot() {
  local dir=$1 user=$2 cmd=$3 home=/root path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  if [ "$user" != root ]; then home=/home/$user; path=/usr/local/bin:/usr/bin:/bin; fi
  chroot "$dir" runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" \
    SHELL=/bin/bash PATH="$path" DISPLAY="$DISPLAY" bash -c "cd && $cmd"
}

check_way() {
  local way=$1 user
  local dir=$work/$way log=$work/$way.log
  case "$way" in
    root) user=root ;;
    sudo) user=ada ;;
    plain) user=ben ;;
    *) die "unknown way $way (root, sudo or plain)" ;;
  esac
  say "=== $way: as $user, on a fresh copy of the minimal system"
  remove_root "$dir"
  cp -a "$base" "$dir"
  current=$dir
  mount -t proc proc "$dir/proc"
  mount --bind /sys "$dir/sys"
  mount --bind /dev "$dir/dev"
  mount --bind /dev/pts "$dir/dev/pts"
  mkdir -p "$dir/tmp/.X11-unix"
  mount --bind /tmp/.X11-unix "$dir/tmp/.X11-unix"
  mount --bind "$work/apt-archives" "$dir/var/cache/apt/archives"

  # What the README asks of a fresh machine before the run command: git, and
  # for the sudo way a user in sudoers; the plain user has no sudo at all.
  local extra=git
  [ "$way" = sudo ] && extra="git sudo"
  say "as root: apt-get install $extra"
  in_chroot "$dir" root "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $extra" \
    > "$work/$way-prepare.log" 2>&1 || die "preparing failed, see $work/$way-prepare.log"
  if [ "$user" != root ]; then
    chroot "$dir" useradd -m -s /bin/bash "$user"
  fi
  if [ "$way" = sudo ]; then
    echo "$user ALL=(ALL) NOPASSWD: ALL" > "$dir/etc/sudoers.d/$user"
    chmod 440 "$dir/etc/sudoers.d/$user"
  fi
  local home=/root
  [ "$user" = root ] || home=/home/$user
  cp "$mp3" "$dir$home/song.mp3"
  mkdir -p "$dir/srv" && cp -a "$work/sundrel.git" "$dir/srv/"
  chroot "$dir" chown -R "$user:" "$home/song.mp3" /srv/sundrel.git
  in_chroot "$dir" "$user" "git clone -q /srv/sundrel.git sundrel" || die "git clone failed"

  say "as $user: bash scripts/sundrel.sh run"
  local start=$SECONDS
  in_chroot "$dir" "$user" \
    "cd sundrel && GST_DEBUG=GST_ELEMENT_FACTORY:4,GST_STATES:4 GST_DEBUG_NO_COLOR=1 bash scripts/sundrel.sh run" \
    > "$log" 2>&1 < /dev/null &
  local run=$!

  if [ "$way" = plain ]; then
    local status=0
    wait "$run" || status=$?
    [ "$status" -ne 0 ] || die "the run command exited 0 without root or sudo"
    grep -q '^Missing packages: .*qt6-base-dev' "$log" || die "no list of missing packages, see $log"
    grep -q 'apt-get install' "$log" || die "no command to run as root, see $log"
    [ ! -e "$dir$home/sundrel/build-run" ] || die "it went on to build"
    say "exit status $status after $((SECONDS - start)) s, with:"
    sed 's/^/    | /' "$log"
    stop_programs "$dir"
    unmount_all "$dir"
    current=""
    return
  fi

  local id="" installed_at=""
  while [ -z "$id" ]; do
    [ -n "$installed_at" ] || ! grep -q '^-- The CXX compiler identification' "$log" ||
      installed_at=$((SECONDS - start))
    kill -0 "$run" 2>/dev/null || { tail -n 30 "$log"; die "the run command ended without a window"; }
    [ $((SECONDS - start)) -lt "$window_deadline" ] || die "no window after $window_deadline s, see $log"
    sleep 2
    id=$(window_id SundrelV2.35)
  done
  local shown_at=$((SECONDS - start))
  say "window SundrelV2.35 ($id) after $shown_at s (packages installed after ${installed_at:-?} s)"
  grep -q '^Installing: ' "$log" || die "the run command installed nothing, see $log"
  if grep -q 'falling back to frontend' "$log"; then
    die "apt-get asked for an interactive front end, see $log"
  fi

  # 浏览 beside the source field: Frame2 at 120 twips plus the button's
  # 5280 + 1095/2 across, 220 + 375/2 down; 15 twips make a pixel.
  local dialog=""
  sleep 2
  for _ in 1 2 3; do
    xdotool mousemove --window "$id" 396 27 click 1
    for _wait in $(seq 20); do
      dialog=$(window_id 打开)
      [ -n "$dialog" ] && break
      sleep 0.5
    done
    [ -n "$dialog" ] && break
  done
  [ -n "$dialog" ] || die "the open dialog did not appear"
  sleep 1
  xdotool windowfocus --sync "$dialog"
  xdotool type --delay 30 "$home/song.mp3"
  xdotool key Return

  local played=""
  for _ in $(seq 60); do
    if grep -Eq '<mpg123audiodec[0-9]*> completed state change to PLAYING' "$log"; then
      played=yes
      break
    fi
    sleep 0.5
  done
  [ -z "$(window_id 打开)" ] || die "the open dialog is still open"
  [ -n "$played" ] || die "the MP3 decoder never reached PLAYING, see $log"
  grep -q 'creating element "mpegaudioparse"' "$log" || die "no MP3 parser, see $log"
  local sinks
  sinks=$(grep -Eo 'creating element "(pulsesink|alsasink)"' "$log" | sort -u | cut -d'"' -f2 | tr '\n' ' ')
  [ -n "$sinks" ] || die "neither pulsesink nor alsasink was found, see $log"
  say "the MP3 plays: mpegaudioparse and mpg123audiodec are PLAYING; real sinks tried: $sinks"
  if [ "$way" = sudo ]; then
    grep -q "^Requested-By: $user" "$dir/var/log/apt/history.log" ||
      die "apt-get did not run through $user's sudo"
    say "apt-get ran through sudo (Requested-By: $user in the apt history)"
  fi
  say "what the program itself printed, without GStreamer's debug lines:"
  sed -n '/Built target sundrel$/,$p' "$log" | sed 1d |
    grep -vE '^[0-9]+:[0-9]+:[0-9]+\.[0-9]+ +[0-9]+ +0x' | sort | uniq -c | sed 's/^/    | /' || true
  stop_programs "$dir"
  wait "$run" 2>/dev/null || true
  unmount_all "$dir"
  current=""
  say "=== $way: passed"
}

for way in "${ways[@]}"; do
  check_way "$way"
done
say "all passed: ${ways[*]}"
