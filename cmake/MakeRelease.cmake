# Stages the release package for a Windows developer (the DLL, its header, import
# library and MSVC .def file, an example host, telvarn.exe, README and LICENSE), lets
# telvarn itself write their SHA256SUMS, and zips them.
# Run with -DBUILD_DIR=... -DSOURCE_DIR=... -DVERSION=... -DWINE=...
set(name TelvarnHX-${VERSION}-win32)
set(stage ${BUILD_DIR}/release/${name})
file(REMOVE_RECURSE ${BUILD_DIR}/release)
file(MAKE_DIRECTORY ${stage})
foreach(f TelvarnHX.hpi libTelvarnHX.dll.a telvarn.exe)
  file(COPY ${BUILD_DIR}/${f} DESTINATION ${stage})
endforeach()
file(COPY ${SOURCE_DIR}/include/telvarn.h ${SOURCE_DIR}/LICENSE ${SOURCE_DIR}/cmake/release/example.c
     DESTINATION ${stage})

# The .def file and the README's table of exports come from the one table of exports.
# MSVC's lib takes a name with '@' as decorated already, so each line names the
# export exactly as the DLL does and as a C caller of telvarn.h refers to it.
include(${CMAKE_CURRENT_LIST_DIR}/ExportTable.cmake)
telvarn_read_exports(${SOURCE_DIR}/src/boundary/export_table.inc export_ordinals export_names)
set(def_text "LIBRARY TelvarnHX.hpi\nEXPORTS\n")
set(EXPORT_ROWS "")
foreach(ordinal name IN ZIP_LISTS export_ordinals export_names)
  string(APPEND def_text "    _Telvarn_${name}@16 @${ordinal}\n")
  string(APPEND EXPORT_ROWS "| ${ordinal} | `_Telvarn_${name}@16` |\n")
endforeach()
string(STRIP "${EXPORT_ROWS}" EXPORT_ROWS)
file(WRITE ${stage}/TelvarnHX.def "${def_text}")
configure_file(${SOURCE_DIR}/cmake/release/README.md.in ${stage}/README.md @ONLY)

set(ENV{WINEDEBUG} -all)
set(listed TelvarnHX.hpi telvarn.h libTelvarnHX.dll.a TelvarnHX.def example.c telvarn.exe README.md LICENSE)
execute_process(
  COMMAND ${WINE} telvarn.exe sha256 ${listed}
  WORKING_DIRECTORY ${stage}
  OUTPUT_FILE ${stage}/SHA256SUMS
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "telvarn could not write SHA256SUMS (status ${status})")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${BUILD_DIR}/${name}.zip --format=zip ${name}
  WORKING_DIRECTORY ${BUILD_DIR}/release
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot write ${name}.zip")
endif()
message(STATUS "Wrote ${BUILD_DIR}/${name}.zip")
