# The two Windows builds side by side, for the release that takes its files from both.
#
# telvarn_windows_build(ARCH DIR_VAR EMULATOR_VAR), ARCH win32 or win64 (also the
# names of their presets), sets DIR_VAR to the preset's build folder and
# EMULATOR_VAR to the command that runs the build's programs, as its toolchain file
# names it. The toolchain file is read in the function's own scope, so nothing
# else it sets reaches the caller.
function(telvarn_windows_build arch dir_var emulator_var)
  if(arch STREQUAL "win32")
    set(toolchain mingw-i686.cmake)
  elseif(arch STREQUAL "win64")
    set(toolchain mingw-x86_64.cmake)
  else()
    message(FATAL_ERROR "No Windows architecture '${arch}' (win32 or win64)")
  endif()
  get_filename_component(source_dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR} DIRECTORY)
  include(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${toolchain})
  set(${dir_var} ${source_dir}/build/${arch} PARENT_SCOPE)
  set(${emulator_var} ${CMAKE_CROSSCOMPILING_EMULATOR} PARENT_SCOPE)
endfunction()
