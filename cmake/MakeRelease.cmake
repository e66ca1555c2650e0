# Stages the release package for a Windows developer (both modules, each with its
# import library, MSVC .def file and telvarn.exe; the header, an example host,
# README, LICENSE and xxHash's notice; a CMake package and a pkg-config file per
# module), lets the 64-bit telvarn write their SHA256SUMS, and zips them.
#
# Run with -DBUILD_DIR=... -DARCH=win32|win64 -DSOURCE_DIR=... -DVERSION=...
# BUILD_DIR is the calling build, of architecture ARCH, whose products are up to
# date; the zip goes there. The other architecture's products come from its
# preset's build folder, configured here when missing and brought up to date.
# The 32-bit files lie at the top of the package, as they always have; the 64-bit
# ones in x64/; the CMake package and the .pc files where CMake and pkg-config look
# under a prefix, lib/cmake/TelvarnHX/ and lib/pkgconfig/.
include(${CMAKE_CURRENT_LIST_DIR}/ExportTable.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/WindowsBuilds.cmake)
include(CMakePackageConfigHelpers)

function(run what)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (status ${status})")
  endif()
endfunction()

set(name TelvarnHX-${VERSION}-windows)
set(stage ${BUILD_DIR}/release/${name})
file(REMOVE_RECURSE ${BUILD_DIR}/release)
file(MAKE_DIRECTORY ${stage}/x64)
# LICENSE.xxHash: the notice of xxHash, which the modules carry (BSD 2-clause).
set(shared_files telvarn.h example.c README.md LICENSE LICENSE.xxHash)
file(COPY ${SOURCE_DIR}/include/telvarn.h ${SOURCE_DIR}/LICENSE ${SOURCE_DIR}/cmake/release/example.c
     ${SOURCE_DIR}/cmake/release/LICENSE.xxHash DESTINATION ${stage})

# The CMake package: one config for both halves, which picks the consumer's. The
# version file must not hold the consumer to this script's pointer size.
set(config_dir lib/cmake/TelvarnHX)
configure_package_config_file(${SOURCE_DIR}/cmake/release/TelvarnHXConfig.cmake.in
                              ${stage}/${config_dir}/TelvarnHXConfig.cmake
                              INSTALL_DESTINATION ${config_dir} INSTALL_PREFIX ${stage})
write_basic_package_version_file(${stage}/${config_dir}/TelvarnHXConfigVersion.cmake VERSION ${VERSION}
                                 COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
set(package_files ${config_dir}/TelvarnHXConfig.cmake ${config_dir}/TelvarnHXConfigVersion.cmake)

# Each half: the module, its import library, telvarn.exe and the MSVC .def (which
# configuring the build writes from the one table of exports), all from its build.
set(architectures win32 win64)
set(folders "" x64/)
foreach(arch folder IN ZIP_LISTS architectures folders)
  telvarn_windows_build(${arch} dir emulator_${arch})
  if(arch STREQUAL ARCH)
    set(dir ${BUILD_DIR})
  else()
    if(NOT EXISTS ${dir}/CMakeCache.txt)
      run("Configuring the ${arch} preset" ${CMAKE_COMMAND} --preset ${arch})
    endif()
    run("Building the ${arch} module and telvarn.exe"
        ${CMAKE_COMMAND} --build ${dir} --target TelvarnHX telvarn TelvarnHX_import_library)
  endif()
  telvarn_module_file(${arch} module)
  set(built ${module} lib${module_STEM}.dll.a telvarn.exe)
  foreach(file IN LISTS built)
    file(COPY ${dir}/${file} DESTINATION ${stage}/${folder})
  endforeach()
  file(COPY_FILE ${dir}/${module_STEM}.msvc.def ${stage}/${folder}${module_STEM}.def)
  set(${arch}_files ${built} ${module_STEM}.def)
  list(TRANSFORM ${arch}_files PREPEND "${folder}")

  # Its .pc, named after its import library (-l<stem>), so both lie in one folder.
  set(STEM ${module_STEM})
  set(MODULE ${module})
  if(arch STREQUAL "win32")
    set(ARCH_NAME "32-bit (x86)")
    set(PC_FOLDER "")
  else()
    set(ARCH_NAME "64-bit (x64)")
    set(PC_FOLDER /x64)
  endif()
  configure_file(${SOURCE_DIR}/cmake/release/TelvarnHX.pc.in ${stage}/lib/pkgconfig/${module_STEM}.pc @ONLY)
  list(APPEND package_files lib/pkgconfig/${module_STEM}.pc)
endforeach()

# The README's table of exports: each function's 32-bit name and ordinal, its
# 64-bit name at the same ordinal, and the 32-bit name's alias in the 64-bit module.
telvarn_read_exports(${SOURCE_DIR}/src/boundary/export_table.inc export_ordinals export_names)
set(EXPORT_ROWS "")
foreach(ordinal name IN ZIP_LISTS export_ordinals export_names)
  math(EXPR alias_ordinal "${TELVARN_ALIAS_ORDINAL_OFFSET} + ${ordinal}")
  string(APPEND EXPORT_ROWS
         "| ${ordinal} | `_Telvarn_${name}@16` | `Telvarn_${name}` | `_Telvarn_${name}@16` | ${alias_ordinal} |\n")
endforeach()
string(STRIP "${EXPORT_ROWS}" EXPORT_ROWS)
set(ALIAS_ORDINAL_OFFSET ${TELVARN_ALIAS_ORDINAL_OFFSET})
configure_file(${SOURCE_DIR}/cmake/release/README.md.in ${stage}/README.md @ONLY)

# The 64-bit telvarn.exe writes the sums: it runs wherever wine64 does, also on a
# host that runs no 32-bit programs.
set(ENV{WINEDEBUG} -all)
execute_process(
  COMMAND ${emulator_win64} x64/telvarn.exe sha256 ${win32_files} ${shared_files} ${win64_files} ${package_files}
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
