#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a DESTDIR, and makes the Debian package and unpacks
# it, then checks each tree: the program, its menu entry, its icon in both
# sizes and its software-centre page lie where a desktop looks for them,
# under names that agree with each other; beside them only the command-line
# cutter, the manual pages and the licence and changelog Debian asks for.
# Usage: check_install_tree.sh CMAKE CPACK BUILD-DIR WORK-DIR VERSION
set -euo pipefail
cmake=$1
cpack=$2
build=$3
work=$4
version=$5

fail() { echo "FAIL: $*" >&2; exit 1; }

# check_tree TREE PREFIX: PREFIX is where the files lie inside TREE.
check_tree() {
  local tree=$1 prefix=$2
  local p=$tree$prefix
  [ -x "$p/bin/sundrel" ] || fail "no program at $p/bin/sundrel"
  [ -x "$p/bin/sundrel-cut" ] || fail "no command-line cutter at $p/bin/sundrel-cut"
  # The cutter runs without Qt or GStreamer, as a server without a desktop
  # has them. It asks for no GLib of its own; Debian's libavcodec (its M4R
  # encoder) does, for its SVG decoder, so GLib is looked for in what the
  # cutter itself names.
  if ldd "$p/bin/sundrel-cut" | grep -Ei 'qt|gst'; then fail "sundrel-cut links Qt or GStreamer"; fi
  if readelf -d "$p/bin/sundrel-cut" | grep -Ei 'NEEDED.*(glib|gobject|gio)'; then fail "sundrel-cut links GLib"; fi
  "$p/bin/sundrel-cut" --version | grep -qx "sundrel-cut $version" || fail "sundrel-cut --version does not say $version"

  local desktops=("$p"/share/applications/*.desktop)
  [ ${#desktops[@]} -eq 1 ] && [ -f "${desktops[0]}" ] ||
    fail "expected one desktop entry in $p/share/applications"
  local desktop=${desktops[0]}
  local id
  id=$(basename "$desktop" .desktop)

  local exec icon
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ "$exec" = sundrel ] || fail "the desktop entry starts '$exec', not sundrel"
  [ -n "$icon" ] || fail "the desktop entry names no icon"

  local png=$p/share/icons/hicolor/48x48/apps/$icon.png
  local svg=$p/share/icons/hicolor/scalable/apps/$icon.svg
  [ -f "$png" ] || fail "no icon $png"
  # The PNG header's width and height, four bytes each, big-endian.
  [ "$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ')" = " 0 0 0 48 0 0 0 48" ] ||
    fail "$png is not 48x48"
  [ -f "$svg" ] && grep -q '<svg' "$svg" || fail "no SVG icon $svg"

  local metainfo=$p/share/metainfo/$id.metainfo.xml
  [ -f "$metainfo" ] || fail "no software-centre page $metainfo"
  grep -q "<id>$id</id>" "$metainfo" || fail "$metainfo does not carry the id $id"
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "$metainfo does not launch $id.desktop"
  grep -q "<binary>$exec</binary>" "$metainfo" || fail "$metainfo does not provide $exec"

  local expected actual
  expected=$(printf '%s\n' "$prefix/bin/sundrel" "$prefix/bin/sundrel-cut" \
    "$prefix/share/applications/$id.desktop" \
    "$prefix/share/icons/hicolor/48x48/apps/$icon.png" \
    "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" \
    "$prefix/share/metainfo/$id.metainfo.xml" \
    "$prefix/share/man/man1/sundrel.1.gz" "$prefix/share/man/man1/sundrel-cut.1.gz" \
    "$prefix/share/doc/sundrel/copyright" \
    "$prefix/share/doc/sundrel/changelog.Debian.gz" \
    "$prefix/share/lintian/overrides/sundrel" | sort)
  actual=$(cd "$tree" && find . -type f | sed 's|^\.||' | sort)
  [ "$actual" = "$expected" ] || fail "installed files differ from the expected ones:
$(diff <(echo "$expected") <(echo "$actual") || true)"
}

rm -rf "$work"
mkdir -p "$work"

DESTDIR="$work/destdir" "$cmake" --install "$build" --prefix /usr/local
check_tree "$work/destdir" /usr/local
echo "a DESTDIR install puts every file in place"

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb"
deb=$work/deb/sundrel_$version-1_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package $deb; there is: $(ls "$work/deb")"
[ "$(dpkg-deb -f "$deb" Package)" = sundrel ] || fail "the package is not named sundrel"
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "the package's version is not $version-1"
depends=$(dpkg-deb -f "$deb" Depends)
# libqt6widgets6 comes from shlibdeps reading the program; the rest is what
# the program loads at run time.
for need in 'libqt6widgets6 ' gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
            fonts-wqy-microhei fonts-arphic-uming qt6-translations-l10n 'libglib2.0-bin | xdg-utils'; do
  case ", $depends" in *", $need"*) ;; *) fail "the package does not depend on '$need': $depends" ;; esac
done
[ "$(dpkg-deb -f "$deb" Recommends)" = gstreamer1.0-alsa ] || fail "the package does not recommend the ALSA output"
dpkg-deb -x "$deb" "$work/deb-tree"
check_tree "$work/deb-tree" /usr
echo "the package $(basename "$deb") holds every file in place and depends on $depends"
