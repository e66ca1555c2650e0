# Reads the module's table of exports and makes from it the .def files of both Windows modules.
#
# telvarn_read_exports(TABLE ORDINALS NAMES) sets ORDINALS and NAMES in the caller's
# scope to two lists of equal length, one entry per TELVARN_EXPORT(ordinal, name,
# member) row of TABLE, in the table's order: walk them with
# foreach(ordinal name IN ZIP_LISTS ORDINALS NAMES).
#
# The names, per architecture (ARCH win32 or win64):
#   win32  TelvarnHX.hpi exports each function under its __stdcall name,
#          _Telvarn_<name>@16, at the table's ordinal.
#   win64  TelvarnHX64.hpi exports the plain C name Telvarn_<name> at the table's
#          ordinal, and the 32-bit name _Telvarn_<name>@16 as an alias of it, so
#          that a host's 32-bit GetProcAddress names keep working. A .def cannot
#          give one ordinal two names, so each alias has a fixed ordinal of its own:
#          TELVARN_ALIAS_ORDINAL_OFFSET + the table's ordinal.
set(TELVARN_ALIAS_ORDINAL_OFFSET 100)

function(telvarn_read_exports table ordinals_var names_var)
  file(STRINGS ${table} rows REGEX "^TELVARN_EXPORT\\(")
  set(ordinals "")
  set(names "")
  foreach(row IN LISTS rows)
    if(NOT row MATCHES "^TELVARN_EXPORT\\(([0-9]+), *([A-Za-z0-9_]+), *([a-z0-9_]+)\\)")
      message(FATAL_ERROR "Malformed export table row: ${row}")
    endif()
    list(APPEND ordinals ${CMAKE_MATCH_1})
    list(APPEND names ${CMAKE_MATCH_2})
  endforeach()
  set(${ordinals_var} ${ordinals} PARENT_SCOPE)
  set(${names_var} ${names} PARENT_SCOPE)
endfunction()

# telvarn_module_file(ARCH VAR) sets VAR to the module's file name, TelvarnHX.hpi or
# TelvarnHX64.hpi (telvarn.h's TELVARN_MODULE_NAME), and VAR_STEM to it without .hpi.
function(telvarn_module_file arch var)
  if(arch STREQUAL "win32")
    set(stem TelvarnHX)
  elseif(arch STREQUAL "win64")
    set(stem TelvarnHX64)
  else()
    message(FATAL_ERROR "No Windows architecture '${arch}' (win32 or win64)")
  endif()
  set(${var} ${stem}.hpi PARENT_SCOPE)
  set(${var}_STEM ${stem} PARENT_SCOPE)
endfunction()

# telvarn_def_text(TABLE ARCH STYLE VAR) sets VAR to the text of a .def file of the
# ARCH module, one line per export (and, for win64, per alias), in STYLE:
#   link    for GNU ld: each exported name = the symbol it stands for @ordinal;
#   import  for dlltool's import library: the symbol a C caller of telvarn.h
#           references, importing the exported name;
#   msvc    for MSVC's lib /def: each name exactly as the DLL exports it @ordinal
#           (lib takes a name with '@' as decorated already).
function(telvarn_def_text table arch style var)
  telvarn_read_exports(${table} ordinals names)
  telvarn_module_file(${arch} module)
  if(style STREQUAL "import")
    set(text "LIBRARY \"${module}\"\nEXPORTS\n")
  else()
    set(text "LIBRARY ${module}\nEXPORTS\n")
  endif()
  # On win64 a C caller references the plain names, which are the exported ones:
  # the import library lists the exports as they are, as lib /def does.
  if(arch STREQUAL "win64" AND style STREQUAL "import")
    set(style msvc)
  endif()
  set(aliases "")
  foreach(ordinal name IN ZIP_LISTS ordinals names)
    if(arch STREQUAL "win32")
      telvarn_def_line(${style} _Telvarn_${name}@16 Telvarn_${name}@16 ${ordinal} line)
      string(APPEND text "${line}")
    else()
      math(EXPR alias_ordinal "${TELVARN_ALIAS_ORDINAL_OFFSET} + ${ordinal}")
      telvarn_def_line(${style} Telvarn_${name} Telvarn_${name} ${ordinal} line)
      string(APPEND text "${line}")
      telvarn_def_line(${style} _Telvarn_${name}@16 Telvarn_${name} ${alias_ordinal} line)
      string(APPEND aliases "${line}")
    endif()
  endforeach()
  set(${var} "${text}${aliases}" PARENT_SCOPE)
endfunction()

# telvarn_write_def_files(TABLE ARCH DIR) writes the ARCH module's .def files into
# DIR, each rewritten only when its text changes: <stem>.def for the linker (link),
# <stem>.implib.def for dlltool (import) and <stem>.msvc.def for the release
# package (msvc), <stem> being TelvarnHX or TelvarnHX64.
function(telvarn_write_def_files table arch dir)
  telvarn_module_file(${arch} module)
  set(styles link import msvc)
  set(file_names ${module_STEM}.def ${module_STEM}.implib.def ${module_STEM}.msvc.def)
  foreach(style file_name IN ZIP_LISTS styles file_names)
    telvarn_def_text(${table} ${arch} ${style} text)
    file(CONFIGURE OUTPUT ${dir}/${file_name} CONTENT "${text}")
  endforeach()
endfunction()

# One export's line in STYLE: the name it is exported under, the symbol it stands
# for, its ordinal.
function(telvarn_def_line style exported symbol ordinal var)
  if(style STREQUAL "import")
    set(line "${symbol} == ${exported}")
  elseif(style STREQUAL "link" AND NOT exported STREQUAL symbol)
    set(line "${exported} = ${symbol} @${ordinal}")
  else()
    set(line "${exported} @${ordinal}")
  endif()
  set(${var} "    ${line}\n" PARENT_SCOPE)
endfunction()
