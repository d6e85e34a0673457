# SPDX-License-Identifier: GPL-3.0-or-later
# `cpack -G DEB` (the Makefile's `make package`): one package with the three programs and their
# desktop files. Depends come from dpkg-shlibdeps on the installed binaries.
set(CPACK_PACKAGE_NAME korvane-connect)
set(CPACK_PACKAGE_VENDOR "Korvane Connect developers")
# The maintainer and the homepage come from the root CMakeLists.txt.
set(CPACK_PACKAGE_CONTACT "${KORVANE_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop companion for a two-channel battery charger")
# The body below the summary line; CPack indents it and marks the empty line as a paragraph break.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Korvane Connect receives the telemetry of a Korvane two-channel battery
charger over its serial cable, shows one channel live, charts the voltages,
records every charge as a run and exports the history as tab-separated text.

The package holds the window (korvane-connect), a recorder without a window
(korvane-log) and a simulated charger (korvane-charger-sim).")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The sounds of -DOSOUND come from the freedesktop sound theme; without it there is silence.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS sound-theme-freedesktop)
set(CPACK_STRIP_FILES ON)
include(CPack)
