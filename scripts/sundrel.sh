#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (installing only what is missing), builds
# Sundrel, then starts it (`run`) or runs every test (`test`).
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

packages=(cmake g++ make pkg-config qt6-base-dev qt6-multimedia-dev
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good
          fonts-wqy-microhei fonts-arphic-uming xdg-utils qt6-translations-l10n)
if [ "$mode" = test ]; then
  # Fixtures are encoded and checked with real tools; the screenshots need X.
  packages+=(libgtest-dev lame mpg123 xvfb xauth x11-utils locales)
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "$mode" = test ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  # A locale whose decimal separator is a comma, for the number tests.
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2

case "$mode" in
  run)  exec "$build/app/sundrel" ;;
  test) cd "$build" && ctest --output-on-failure ;;
  *)    echo "usage: $0 run|test" >&2; exit 2 ;;
esac
