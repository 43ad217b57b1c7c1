# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made with `cpack -G DEB` in a build folder. It holds
# what app/ installs, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sundrel)
set(CPACK_PACKAGE_VENDOR "The Sundrel team")
set(CPACK_PACKAGE_CONTACT "Sundrel developer <dev@sundrel.example.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://sundrel.example.com/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut a ringtone out of an MP3 song")
# CPack puts the summary in front, as the first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Sundrel plays an MP3 song; press Start where the ringtone should begin
and End where it should stop, and it copies that stretch of the file,
byte for byte, into a new file. It can also save the ringtone for an
iPhone (M4R), the one file it encodes again. The interface is in
Simplified Chinese.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SUNDREL_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)

# The libraries the program links come from the binary itself (shlibdeps),
# Qt Network's libqt6network6 (the one-window socket), libfontconfig1 (set
# up ahead at the start) and libavcodec and libavformat (the iPhone's M4R
# ringtone) among them;
# what it loads at run time does not show there: the player's MP3 parser,
# decoder and PulseAudio output (all in plugins-good) and its ALSA output,
# the Chinese faces the windows ask for, Qt's own texts in Chinese, and
# xdg-open or GLib's gio for showing a folder (gio alone is far lighter than
# xdg-utils with what it recommends).
#
# plugins-good brings GLib's settings service, which wants a session bus:
# named first, the bus that X starts is chosen on a system that has neither,
# where the other kind of bus would bring in systemd as well. A system that
# has either already gets nothing more.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "dbus-x11 | dbus-user-session, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, fonts-wqy-microhei, fonts-arphic-uming, qt6-translations-l10n, libglib2.0-bin | xdg-utils")
# A desktop without a sound server sounds through ALSA.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-alsa")

include(CPack)
