# tarvano_read_export_list(<file> <variable>): the names of an export list,
# one per line, '#' starting a comment; "name=target" exports target a second
# time as name. Used at configure time and by the
# export-table test script.
function(tarvano_read_export_list list_file out_var)
  file(STRINGS ${list_file} lines)
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line)
      list(APPEND names ${line})
    endif()
  endforeach()
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()
