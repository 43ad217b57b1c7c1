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
byte for byte, into a new file. The interface is in Simplified Chinese.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)

# The libraries the program links come from the binary itself (shlibdeps);
# what it loads at run time does not show there: the player's decoders and
# audio sinks, the Chinese faces the windows ask for, Qt's own texts in
# Chinese, and xdg-open for showing a folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-pulseaudio | gstreamer1.0-alsa, fonts-wqy-microhei, fonts-arphic-uming, qt6-translations-l10n, xdg-utils")
# apt takes only the first of two alternatives; on a desktop without a sound
# server the ALSA output is the one that sounds.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-alsa")

include(CPack)
