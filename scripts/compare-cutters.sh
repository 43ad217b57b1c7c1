#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures sundrel-cut against `ffmpeg -c copy` and mp3splt, Debian's two
# cutters that do not re-encode either: builds the measuring program in
# build/ (the test command's folder) and prints the README's table.
# Needs ffmpeg and mp3splt (apt-get install ffmpeg mp3splt), and what the
# test command installs.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
for tool in ffmpeg mp3splt; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: apt-get install ffmpeg mp3splt" >&2; exit 1; }
done
build=$root/build
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --target cutters_bench -j2 >/dev/null
"$build/bench/cutters_bench" "$build/cli/sundrel-cut" "$@"
