# SPDX-License-Identifier: GPL-3.0-or-later
# Run by ctest (build.unlisted_layer), which expects the refusal naming the left-out layers.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/KorvaneLayers.cmake)
korvane_check_layers(${CMAKE_CURRENT_LIST_DIR}/../src base fileio)
