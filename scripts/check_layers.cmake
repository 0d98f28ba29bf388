# Fails when a source file includes a header of a layer above its own: the folders depend on
# each other in one direction only, so there is no cycle between them.
#
#   z80 <- spectrum <- formats <- frontend <- display, host/headless, host/sdl <- tools, bench
#
# Run as: cmake -DSOURCE_DIR=<repository> -P check_layers.cmake
cmake_minimum_required(VERSION 3.20)

# What each folder may include (its own folder is always allowed).
set(MAY_z80 "")
set(MAY_spectrum z80)
set(MAY_formats z80 spectrum)
set(MAY_frontend z80 spectrum formats)
set(MAY_display z80 spectrum formats frontend)
set(MAY_host/headless z80 spectrum formats frontend)
set(MAY_host/sdl z80 spectrum formats frontend display)
set(MAY_tools z80 spectrum formats frontend host/headless)
set(MAY_bench z80 spectrum formats frontend host/headless tools)
set(MAY_data "")
set(MAY_tests z80 spectrum formats frontend display host/headless host/sdl tools)
set(FOLDERS z80 spectrum formats frontend display host/headless host/sdl tools bench data tests)

# The folder a path (relative to the repository) belongs to, or "" for none.
function(folder_of path out)
  set(result "")
  foreach(folder ${FOLDERS})
    string(LENGTH "${folder}/" n)
    string(SUBSTRING "${path}" 0 ${n} head)
    if(head STREQUAL "${folder}/")
      set(result ${folder})
      break()
    endif()
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

set(faults 0)
set(checked 0)
foreach(folder ${FOLDERS})
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
       ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source ${sources})
    math(EXPR checked "${checked} + 1")
    file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      folder_of("${header}" target)
      if(target STREQUAL "" OR target STREQUAL folder)
        continue()
      endif()
      list(FIND MAY_${folder} ${target} allowed)
      if(allowed EQUAL -1)
        message(SEND_ERROR "${source}: includes \"${header}\": ${folder}/ may not depend on ${target}/")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) against the direction of the layers")
endif()
message(STATUS "${checked} files: every include follows the layers")
