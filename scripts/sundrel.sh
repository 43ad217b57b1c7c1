#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up a Debian 12 or 13 machine (installing only what is missing),
# builds Sundrel, then starts it (`run`), runs every test (`test`) or makes
# the Debian package (`package`); or packs the source (`dist`).
#   run      the program alone, in build-run/; no test or benchmark is built
#   test     everything, in build/, then ctest
#   package  as run, then `cpack -G DEB` in build-run/
#   dist     sundrel-<version>.tar.gz of the committed files, for a machine
#            without git; needs git, installs nothing
set -euo pipefail

mode=${1:-run}
case "$mode" in
  run|test|package|dist) ;;
  *) echo "usage: $0 run|test|package|dist" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ "$mode" = dist ]; then
  version=$(sed -n 's/^project(Sundrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  tarball=$root/sundrel-$version.tar.gz
  # Only what is committed: no build folder, nothing of the developer's own.
  git -C "$root" archive --format=tar.gz --prefix="sundrel-$version/" -o "$tarball" HEAD
  [ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] ||
    echo "Note: changes not yet committed are not in it."
  echo "Made $tarball ($(git -C "$root" rev-parse --short HEAD)); unpack it with: tar -xzf $(basename "$tarball")"
  exit 0
fi

# What the program needs to build (dpkg-buildflags gives Debian's hardening
# flags; CLI11, header-only, reads sundrel-cut's command line), and to play
# an MP3 aloud: the MP3 parser and decoder are in plugins-good, and the
# audio sinks for PulseAudio (which PipeWire desktops serve too) and for
# ALSA come in packages of their own. The song's analysis (waveform, beats,
# chorus) decodes with libmpg123 and finds its spectra with FFTW and qm-dsp.
# An iPhone's ringtone (M4R) is encoded with libavcodec's AAC encoder and
# put in its MPEG-4 file by libavformat.
# qt6-base-dev holds Qt Network as well, whose local socket hands a later
# start's song to the window open; fontconfig, under Qt's fonts, is set up
# by the program itself on a thread of its own at the start.
packages=(cmake g++ make pkg-config dpkg-dev libcli11-dev qt6-base-dev libfontconfig-dev
          libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
          libmpg123-dev libfftw3-dev libqm-dsp-dev
          libavcodec-dev libavformat-dev libavutil-dev
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good
          gstreamer1.0-pulseaudio gstreamer1.0-alsa
          fonts-wqy-microhei fonts-arphic-uming xdg-utils qt6-translations-l10n)
case "$mode" in
  test)
    # Fixtures are encoded and checked with real tools (songs in other
    # formats too, which must be refused); the screenshots and
    # the window-manager checks need X (xdotool presses keys in the program's
    # windows there); a screen reader's view is read over AT-SPI on a D-Bus
    # session of its own; the packaging checks validate the
    # menu entry and the software-centre page, make the package and lint it;
    # the engine's fuzz targets are built with clang's libFuzzer; the chorus
    # finder's pop songs are written as MIDI and played by fluidsynth with
    # a small General MIDI sound font; the M4R is decoded and probed by
    # ffmpeg.
    packages+=(libgtest-dev lame mpg123 flac vorbis-tools fluidsynth timgm6mb-soundfont ffmpeg
               xvfb xauth x11-utils xdotool locales openbox
               dbus-daemon at-spi2-core gir1.2-atspi-2.0 python3-gi
               desktop-file-utils appstream file lintian clang libclang-rt-dev) ;;
  package)
    # cpack reads the libraries the program links with dpkg-shlibdeps.
    packages+=(file) ;;
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
  why=""
  if [ "$(id -u)" -eq 0 ]; then
    as_root=(env DEBIAN_FRONTEND=noninteractive)
  elif ! command -v sudo >/dev/null; then
    why="this needs root or sudo, and sudo is not installed."
  elif sudo -n true 2>/dev/null; then
    as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
  elif [ ! -t 0 ]; then
    why="sudo asks for a password, and there is no terminal here to type it in."
  elif sudo -v; then
    as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
  else
    why="sudo refused (a wrong password, or this user may not use sudo)."
  fi
  if [ -n "$why" ]; then
    {
      echo "sundrel.sh: cannot install what is missing: $why"
      [ ${#missing[@]} -eq 0 ] || echo "Missing packages: ${missing[*]}"
      [[ "$why" != *terminal* ]] ||
        echo "Run this command again in a terminal, where sudo can ask for the password; or:"
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
