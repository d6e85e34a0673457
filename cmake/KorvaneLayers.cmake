# SPDX-License-Identifier: GPL-3.0-or-later
# Stops the configure step when a folder of `dir` has a CMakeLists.txt but is missing from the
# layer list that follows, so a new layer (or its tests) cannot stay out of the build unnoticed.
# A listed folder that is missing fails in add_subdirectory itself.
function(korvane_check_layers dir)
  file(GLOB entries RELATIVE ${dir} ${dir}/*/CMakeLists.txt)
  set(unlisted)
  foreach(entry IN LISTS entries)
    get_filename_component(folder ${entry} DIRECTORY)
    if(NOT folder IN_LIST ARGN)
      list(APPEND unlisted ${folder})
    endif()
  endforeach()
  if(unlisted)
    list(JOIN unlisted ", " names)
    message(FATAL_ERROR "${dir}: not in the layer list, so never built: ${names}")
  endif()
endfunction()
