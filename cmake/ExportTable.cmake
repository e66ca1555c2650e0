# Reads the module's table of exports for the build's .def files and the release's .def and README.
#
# telvarn_read_exports(TABLE ORDINALS NAMES) sets ORDINALS and NAMES in the caller's
# scope to two lists of equal length, one entry per TELVARN_EXPORT(ordinal, name,
# member) row of TABLE, in the table's order: walk them with
# foreach(ordinal name IN ZIP_LISTS ORDINALS NAMES).
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
