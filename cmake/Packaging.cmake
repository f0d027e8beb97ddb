# The Debian package: cpack -G DEB in the build directory gives horalet_<version>_<arch>.deb.
set(HORALET_PACKAGE_MAINTAINER "Horalet developers" CACHE STRING
    "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME horalet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Horalet")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Plays songs, videos and broadcasts on a timetable")
set(CPACK_PACKAGE_DESCRIPTION "Horalet (Quenlo多媒体定时播放系统) plays media on a timetable: school \
bells, morning music, shop and factory broadcasts. Each task has a start and an end second, a date \
rule, a volume, a play mode and a playlist of files or stream addresses.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
# The files go where the program and the wake alarm's polkit action look for them: under the
# prefix the build was configured with (-DCMAKE_INSTALL_PREFIX=/usr for a Debian package).
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(HORALET_SUPPORT_MAIL)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HORALET_PACKAGE_MAINTAINER} <${HORALET_SUPPORT_MAIL}>")
else()
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HORALET_PACKAGE_MAINTAINER}")
endif()
if(HORALET_HOMEPAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${HORALET_HOMEPAGE}")
endif()
# Libraries come from the binary; what it loads at run time does not show there: the CJK font
# (Chinese would be empty boxes), the sound font for MIDI items, Qt's Chinese texts and the
# platform plugins that put the window on the screen.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-noto-cjk | fonts-wqy-zenhei, timgm6mb-soundfont, qt6-translations-l10n, qt6-qpa-plugins")
# Help and the home page open through xdg-open; a sound server to hear anything.
# pkexec lets the user's session set the wake alarm through the helper's polkit action.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, pulseaudio | pipewire-pulse, pkexec | policykit-1")
# A campus head-end plays into a Snapcast server, usually on the same machine.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "snapserver")

include(CPack)
