#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a Debian 12 machine (installing only what is missing), builds
# Sundrel, then starts it (`run`), runs every test (`test`) or makes the
# Debian package (`package`).
#   run      the program alone, in build-run/; no test or benchmark is built
#   test     everything, in build/, then ctest
#   package  as run, then `cpack -G DEB` in build-run/
set -euo pipefail

mode=${1:-run}
case "$mode" in
  run|test|package) ;;
  *) echo "usage: $0 run|test|package" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What the program needs to build, and to play an MP3 aloud: the MP3 parser
# and decoder are in plugins-good, and the audio sinks for PulseAudio (which
# PipeWire desktops serve too) and for ALSA come in packages of their own.
packages=(cmake g++ make pkg-config qt6-base-dev
          libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good
          gstreamer1.0-pulseaudio gstreamer1.0-alsa
          fonts-wqy-microhei fonts-arphic-uming xdg-utils qt6-translations-l10n)
case "$mode" in
  test)
    # Fixtures are encoded and checked with real tools (songs in other
    # formats too, which must be refused); the screenshots and
    # the window-manager checks need X (xdotool presses keys in the program's
    # windows there); the packaging checks validate the
    # menu entry and the software-centre page and make the package.
    packages+=(libgtest-dev lame mpg123 flac vorbis-tools xvfb xauth x11-utils xdotool locales openbox
               desktop-file-utils appstream dpkg-dev file) ;;
  package)
    # cpack reads the libraries the program links with dpkg-shlibdeps.
    packages+=(dpkg-dev file) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A locale whose decimal separator is a comma, for the number tests.
need_locale=""
if [ "$mode" = test ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  need_locale=yes
fi

if [ ${#missing[@]} -gt 0 ] || [ -n "$need_locale" ]; then
  # apt-get asks nothing, also through sudo, which would otherwise drop the
  # front end chosen in the environment.
  if [ "$(id -u)" -eq 0 ]; then
    as_root=(env DEBIAN_FRONTEND=noninteractive)
  elif command -v sudo >/dev/null && { sudo -n true 2>/dev/null || { [ -t 0 ] && sudo -v; }; }; then
    as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
  else
    {
      echo "sundrel.sh: cannot install what is missing: this needs root or sudo."
      [ ${#missing[@]} -eq 0 ] || echo "Missing packages: ${missing[*]}"
      echo "Run this as root (for example after 'su -'), then run this command again:"
      [ ${#missing[@]} -eq 0 ] ||
        echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
      [ -z "$need_locale" ] || echo "  localedef -i de_DE -f UTF-8 de_DE.UTF-8"
    } >&2
    exit 1
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" apt-get update -q
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
  if [ -n "$need_locale" ]; then
    "${as_root[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
fi

if [ "$mode" = test ]; then
  build="$root/build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
  cmake --build "$build" -j2
  cd "$build" && exec ctest --output-on-failure
fi

# The program alone, in a folder of its own so that run and test never
# reconfigure each other's build.
build="$root/build-run"
cmake -S "$root" -B "$build" -C "$root/cmake/run.cmake"
cmake --build "$build" --target sundrel -j2
if [ "$mode" = package ]; then
  cd "$build" && cpack -G DEB
  deb=$(ls -t "$build"/sundrel_*.deb | head -n 1)
  echo "Install it with: sudo apt install $deb"
  exit 0
fi
exec "$build/app/sundrel"
