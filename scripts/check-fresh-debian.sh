#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Does what a new user does on a freshly installed Debian 12 or 13 and checks
# that it works: in a minimal root file system of that release (debootstrap,
# minbase), fetch the project (git clone, or the tarball that
# `scripts/sundrel.sh dist` makes) and type only the README's commands. The
# window is shown on a virtual X server outside the chroot; from outside, the
# script waits for the main window, presses 浏览, types an MP3's path into the
# open dialog and reads GStreamer's debug output for the MP3 decoder playing
# and for the real audio sinks being tried.
#
# Each way starts from a fresh copy of the same minimal system:
#   root   the run command as root (apt-get directly), then the README's
#          package lines: make the Debian package and install it
#   sudo   the run command as a user with sudo (no password asked)
#   plain  the run command as a user with neither: one clear message, a
#          non-zero exit, nothing built
#   password  the run command as a user whose sudo asks for a password,
#          without a terminal: a message that says so, nothing built
#   deb    only the package made by the root way, installed with apt, and
#          the installed program started: its dependencies are enough; the
#          packages and megabytes apt pulls in for it are printed
#   test   the README's test command as root: its package list is all that
#          every test needs
#
# What it checks is the committed state of this repository: it is cloned, or
# with FROM=tarball, packed with `scripts/sundrel.sh dist` and unpacked (then
# the systems get no git).
# Run as root on a Debian machine with: debootstrap xvfb x11-utils xdotool lame git
# Usage: sudo bash scripts/check-fresh-debian.sh 12|13|bookworm|trixie [root|sudo|plain|password|deb|test ...]
# FRESH_DIR (default /var/tmp/sundrel-fresh) holds the root file systems, one
# folder per release, kept afterwards for a look inside; MIRROR is the Debian
# mirror to use.
set -euo pipefail

case "${1:-}" in
  12|bookworm) release=bookworm ;;
  13|trixie) release=trixie ;;
  *) echo "usage: $0 12|13|bookworm|trixie [root|sudo|plain|password|deb|test ...]" >&2; exit 2 ;;
esac
shift
ways=("$@")
[ ${#ways[@]} -gt 0 ] || ways=(root sudo plain password deb test)
from=${FROM:-git}
case "$from" in git|tarball) ;; *) echo "FROM is git or tarball" >&2; exit 2 ;; esac
work=$(realpath -m "${FRESH_DIR:-/var/tmp/sundrel-fresh}")/$release
mirror=${MIRROR:-http://deb.debian.org/debian}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# How long the run command may take to show its window on a fresh machine.
window_deadline=2400
gst_debug="GST_DEBUG=GST_ELEMENT_FACTORY:4,GST_STATES:4 GST_DEBUG_NO_COLOR=1"

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
# Ends what this script started inside a root file system.
stop_programs() {
  local dir=$1 p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$dir" ] && kill "${p#/proc/}" 2>/dev/null || true
  done
}

# The minimal system, made once and then copied for each way.
base=$work/base
if [ ! -e "$base/.sundrel-base-complete" ]; then
  remove_root "$base"
  say "debootstrap --variant=minbase $release"
  start=$SECONDS
  debootstrap --variant=minbase "$release" "$base" "$mirror" > "$work/debootstrap.log" 2>&1 ||
    die "debootstrap failed, see $work/debootstrap.log"
  # What the Debian installer would have written as well.
  cat > "$base/etc/apt/sources.list" <<EOF
deb ${mirror} $release main
deb ${mirror} $release-updates main
deb ${mirror%/debian}/debian-security $release-security main
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
# The project as a user would fetch it: a bare copy of this repository, or
# the tarball made from it.
rm -rf "$work/sundrel.git" "$work"/sundrel-*.tar.gz
if [ "$from" = git ]; then
  git clone --quiet --bare "$repo" "$work/sundrel.git"
else
  git clone --quiet "$repo" "$work/dist-clone"
  bash "$work/dist-clone/scripts/sundrel.sh" dist > /dev/null
  mv "$work"/dist-clone/sundrel-*.tar.gz "$work/"
  rm -rf "$work/dist-clone"
  tarball=$(ls "$work"/sundrel-*.tar.gz)
fi
git_if_cloned=""
[ "$from" = tarball ] || git_if_cloned=git

# A virtual X server on a free display; -ac lets every user in the chroot in.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp -ac > "$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.2; done
xwininfo -root >/dev/null 2>&1 || die "Xvfb did not start, see $work/xvfb.log"

# Downloaded packages are shared between the ways, so only the first one
# fetches them (and is timed as a fresh machine would be): the systems
# themselves stay as debootstrap made them.
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

# in_chroot DIR USER COMMAND: a login-like environment, as root or a user.
in_chroot() {
  local dir=$1 user=$2 cmd=$3 home=/root path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  if [ "$user" != root ]; then home=/home/$user; path=/usr/local/bin:/usr/bin:/bin; fi
  chroot "$dir" runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" \
    SHELL=/bin/bash PATH="$path" DISPLAY="$DISPLAY" bash -c "cd && $cmd"
}

# fresh_system DIR USER EXTRA-PACKAGES: a copy of the minimal system with
# what the README asks of a fresh machine before the run command (git, and
# sudo for a user who has it), the user, and the song in the user's home.
fresh_system() {
  local dir=$1 user=$2 extra=$3
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
  say "as root: apt-get update${extra:+ && apt-get install $extra}"
  in_chroot "$dir" root "apt-get update -q${extra:+ && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $extra}" \
    > "$dir.prepare.log" 2>&1 || die "preparing failed, see $dir.prepare.log"
  local home=/root
  if [ "$user" != root ]; then
    chroot "$dir" useradd -m -s /bin/bash "$user"
    home=/home/$user
  fi
  cp "$mp3" "$dir$home/song.mp3"
  chroot "$dir" chown "$user:" "$home/song.mp3"
}

clone_project() {  # DIR USER: the project in the user's home, in sundrel/
  if [ "$from" = tarball ]; then
    local name
    name=$(basename "$tarball")
    mkdir -p "$1/srv" && cp "$tarball" "$1/srv/"
    in_chroot "$1" "$2" "tar -xzf /srv/$name && mv ${name%.tar.gz} sundrel" || die "unpacking $name failed"
    return
  fi
  mkdir -p "$1/srv" && cp -a "$work/sundrel.git" "$1/srv/"
  chroot "$1" chown -R "$2:" /srv/sundrel.git
  in_chroot "$1" "$2" "git clone -q /srv/sundrel.git sundrel" || die "git clone failed"
}

# disk_used DIR: megabytes the system grew by since debootstrap, with the
# downloaded packages apt keeps in its cache (mounted there, and shared
# between the ways: right for the first way, an upper bound after it).
disk_used() {
  local grown archives
  grown=$(( $(du -sxm "$1" | cut -f1) - $(du -sxm "$base" | cut -f1) ))
  archives=$(du -sxm "$work/apt-archives" | cut -f1)
  echo "$grown MB, of which $archives MB are downloaded packages in apt's cache"
}

window_id() {  # a top-level window of the program with the given title
  xwininfo -root -tree | awk -v t="\"$1\": (\"sundrel\"" 'index($0, t) { print $1; exit }'
}

# wait_for_window LOG PID START: sets id once the main window is shown.
wait_for_window() {
  local log=$1 run=$2 start=$3 installed_at=""
  id=""
  while [ -z "$id" ]; do
    [ -n "$installed_at" ] || ! grep -q '^-- The CXX compiler identification' "$log" ||
      installed_at=$((SECONDS - start))
    kill -0 "$run" 2>/dev/null || { tail -n 30 "$log"; die "it ended without a window"; }
    [ $((SECONDS - start)) -lt "$window_deadline" ] || die "no window after $window_deadline s, see $log"
    sleep 1
    id=$(window_id SundrelV2.35)
  done
  say "window SundrelV2.35 ($id) after $((SECONDS - start)) s${installed_at:+ (packages installed after $installed_at s)}"
}

# play_song LOG PATH: chooses the song through the open dialog and checks
# that GStreamer decodes it and found the real sinks.
play_song() {
  local log=$1 song=$2 dialog=""
  # 浏览 beside the source field: Frame2 at 120 twips plus the button's
  # 5280 + 1095/2 across, 220 + 375/2 down; 15 twips make a pixel.
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
  xdotool type --delay 30 "$song"
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
}

# program_said LOG [whole]: what the program printed, without GStreamer's
# debug lines and, unless the whole log is the program's, without what came
# before it (the set-up and the build).
program_said() {
  local started=0
  [ "${2:-}" != whole ] || started=1
  say "what the program itself printed:"
  awk -v started="$started" 'started { print } /Built target sundrel$/ { started = 1 }' "$1" |
    grep -vE '^[0-9]+:[0-9]+:[0-9]+\.[0-9]+ +[0-9]+ +0x' | sort | uniq -c | sed 's/^/    | /' || true
}

finish_way() {  # DIR WAY
  stop_programs "$1"
  sleep 1
  unmount_all "$1"
  current=""
  say "=== $2: passed"
}

run_command_way() {  # WAY USER
  local way=$1 user=$2
  local dir=$work/$way log=$work/$way.log extra=$git_if_cloned home=/root
  case "$way" in sudo|password) extra="$git_if_cloned sudo" ;; esac
  [ "$user" = root ] || home=/home/$user
  say "=== $way: the run command as $user, on a fresh copy of the minimal system"
  fresh_system "$dir" "$user" "$extra"
  if [ "$way" = sudo ]; then
    echo "$user ALL=(ALL) NOPASSWD: ALL" > "$dir/etc/sudoers.d/$user"
    chmod 440 "$dir/etc/sudoers.d/$user"
  elif [ "$way" = password ]; then
    chroot "$dir" usermod -aG sudo "$user"
    echo "$user:a-password" | chroot "$dir" chpasswd
  fi
  clone_project "$dir" "$user"

  say "as $user: bash scripts/sundrel.sh run"
  local start=$SECONDS
  in_chroot "$dir" "$user" "cd sundrel && $gst_debug bash scripts/sundrel.sh run" > "$log" 2>&1 < /dev/null &
  local run=$!

  if [ "$way" = plain ] || [ "$way" = password ]; then
    local status=0
    wait "$run" || status=$?
    [ "$status" -ne 0 ] || die "the run command exited 0 without root or sudo"
    grep -q '^Missing packages: .*qt6-base-dev' "$log" || die "no list of missing packages, see $log"
    if [ "$way" = password ]; then
      grep -q 'sudo asks for a password, and there is no terminal' "$log" ||
        die "no word of sudo's password, see $log"
    fi
    grep -q 'apt-get install' "$log" || die "no command to run as root, see $log"
    [ ! -e "$dir$home/sundrel/build-run" ] || die "it went on to build"
    say "exit status $status after $((SECONDS - start)) s, with:"
    sed 's/^/    | /' "$log"
    finish_way "$dir" "$way"
    return
  fi

  wait_for_window "$log" "$run" "$start"
  grep -q '^Installing: ' "$log" || die "the run command installed nothing, see $log"
  if grep -q 'falling back to frontend' "$log"; then
    die "apt-get asked for an interactive front end, see $log"
  fi
  play_song "$log" "$home/song.mp3"
  if [ "$way" = sudo ]; then
    grep -q "^Requested-By: $user" "$dir/var/log/apt/history.log" ||
      die "apt-get did not run through $user's sudo"
    say "apt-get ran through sudo (Requested-By: $user in the apt history)"
  fi
  program_said "$log"
  stop_programs "$dir"
  wait "$run" 2>/dev/null || true
  say "disk used by the set-up and the build: $(disk_used "$dir")"

  if [ "$way" = root ]; then
    # The README's two lines for the Debian package.
    say "as root: bash scripts/sundrel.sh package, then apt install the package"
    in_chroot "$dir" root "cd sundrel && bash scripts/sundrel.sh package && \
      DEBIAN_FRONTEND=noninteractive apt-get install -y ./build-run/sundrel_2.35-1_amd64.deb" \
      > "$dir.package.log" 2>&1 || die "making or installing the package failed, see $dir.package.log"
    cp "$dir/root/sundrel/build-run/sundrel_2.35-1_amd64.deb" "$work/"
    say "made and installed sundrel_2.35-1_amd64.deb"
  fi
  finish_way "$dir" "$way"
}

# Only the package, on a system that never built anything.
package_way() {
  local dir=$work/deb log=$work/deb.log deb=$work/sundrel_2.35-1_amd64.deb
  [ -f "$deb" ] || die "no $deb: the root way makes it"
  say "=== deb: the package alone, on a fresh copy of the minimal system"
  fresh_system "$dir" root ""
  cp "$deb" "$dir/root/"
  say "as root: apt-get install ./sundrel_2.35-1_amd64.deb"
  local start=$SECONDS
  in_chroot "$dir" root "DEBIAN_FRONTEND=noninteractive apt-get install -y ./sundrel_2.35-1_amd64.deb" \
    > "$dir.install.log" 2>&1 || die "installing the package failed, see $dir.install.log"
  local f
  for f in /usr/bin/sundrel /usr/bin/sundrel-cut /usr/share/applications/com.example.sundrel.desktop \
           /usr/share/icons/hicolor/48x48/apps/com.example.sundrel.png \
           /usr/share/icons/hicolor/scalable/apps/com.example.sundrel.svg \
           /usr/share/metainfo/com.example.sundrel.metainfo.xml; do
    [ -f "$dir$f" ] || die "the installed package has no $f"
  done
  say "installed after $((SECONDS - start)) s; it depends on: $(chroot "$dir" dpkg-query -W -f='${Depends}' sundrel)"
  say "what apt pulled in, with its default Recommends:"
  grep -E 'newly installed|^Need to get|^After this operation' "$dir.install.log" | sed 's/^/    | /'
  say "disk used: $(disk_used "$dir")"
  for f in qt6-base-dev libfontconfig-dev libcli11-dev cmake g++; do
    ! chroot "$dir" dpkg-query -W "$f" >/dev/null 2>&1 || die "$f came with the package"
  done

  say "as root: sundrel"
  start=$SECONDS
  in_chroot "$dir" root "$gst_debug sundrel" > "$log" 2>&1 < /dev/null &
  local run=$!
  wait_for_window "$log" "$run" "$start"
  play_song "$log" /root/song.mp3
  program_said "$log" whole
  finish_way "$dir" deb
}

test_command_way() {
  local dir=$work/test log=$work/test.log
  say "=== test: the test command as root, on a fresh copy of the minimal system"
  fresh_system "$dir" root "$git_if_cloned"
  clone_project "$dir" root
  say "as root: bash scripts/sundrel.sh test"
  local start=$SECONDS
  in_chroot "$dir" root "cd sundrel && bash scripts/sundrel.sh test" > "$log" 2>&1 < /dev/null ||
    { tail -n 40 "$log"; die "the test command failed after $((SECONDS - start)) s, see $log"; }
  grep -q '^100% tests passed' "$log" || die "not every test passed, see $log"
  say "$(grep -E '^100% tests passed' "$log") after $((SECONDS - start)) s; compiler warnings: $(grep -c 'warning:' "$log" || true)"
  say "disk used: $(disk_used "$dir")"
  finish_way "$dir" test
}

for way in "${ways[@]}"; do
  case "$way" in
    root) run_command_way root root ;;
    sudo) run_command_way sudo ada ;;
    plain) run_command_way plain ben ;;
    password) run_command_way password cy ;;
    deb) package_way ;;
    test) test_command_way ;;
    *) die "unknown way $way (root, sudo, plain, password, deb or test)" ;;
  esac
done
say "all passed on $release (from $from): ${ways[*]}"
