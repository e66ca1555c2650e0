# Stages the release files, lets telvarn itself write their SHA256SUMS, and zips them.
# Run with -DBUILD_DIR=... -DSOURCE_DIR=... -DVERSION=... -DWINE=...
set(name TelvarnHX-${VERSION}-win32)
set(stage ${BUILD_DIR}/release/${name})
file(REMOVE_RECURSE ${BUILD_DIR}/release)
file(MAKE_DIRECTORY ${stage})
set(files TelvarnHX.hpi libTelvarnHX.dll.a telvarn.exe)
foreach(f IN LISTS files)
  file(COPY ${BUILD_DIR}/${f} DESTINATION ${stage})
endforeach()
file(COPY ${SOURCE_DIR}/include/telvarn.h ${SOURCE_DIR}/README.md DESTINATION ${stage})
set(ENV{WINEDEBUG} -all)
execute_process(
  COMMAND ${WINE} telvarn.exe sha256 TelvarnHX.hpi libTelvarnHX.dll.a telvarn.exe telvarn.h README.md
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
