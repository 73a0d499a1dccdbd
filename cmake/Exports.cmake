# One export list per shared library: a text file with one exported name per
# line ('#' starts a comment). From it the build makes the linker version
# script (Linux) or the module-definition file (Windows), and a test compares
# the built library's real export table with the list.
include(${CMAKE_CURRENT_LIST_DIR}/ReadExportList.cmake)

#
# On Windows the check also runs after every link, so that the build fails
# when a DLL's export table departs from its list (a decorated or missing
# name) or when the DLL imports from anything but the system DLLs the static
# run-time needs (KERNEL32, msvcrt) and those named after IMPORTS: a compiler
# run-time DLL among its imports would be missing where it is installed.
function(tarvano_export_list target list_file)
  cmake_parse_arguments(E "" "" "IMPORTS" ${ARGN})
  tarvano_read_export_list(${list_file} names)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})

  if(WIN32)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
    string(JOIN "\n  " body ${names})
    file(CONFIGURE OUTPUT ${out} CONTENT "EXPORTS\n  ${body}\n" @ONLY)
    target_sources(${target} PRIVATE ${out})
    list(JOIN E_IMPORTS "," imports)
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> -DLIST=${list_file}
                               -DTOOL=${CMAKE_OBJDUMP} -DWINDOWS=1 -DIMPORTS=KERNEL32.dll,msvcrt.dll,${imports}
                               -P ${CMAKE_SOURCE_DIR}/cmake/CheckExports.cmake
                       VERBATIM)
  else()
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    # An alias "name=target" is also defined in the code, which the map names once.
    list(TRANSFORM names REPLACE "=.*" "")
    list(JOIN names ";\n    " body)
    file(CONFIGURE OUTPUT ${out} CONTENT "{\n  global:\n    ${body};\n  local:\n    *;\n};\n" @ONLY)
    target_link_options(${target} PRIVATE "LINKER:--version-script=${out}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${out})
  endif()

  if(TARVANO_TESTS)
    if(WIN32)
      set(tool ${CMAKE_OBJDUMP})
    else()
      find_program(TARVANO_NM nm REQUIRED)
      set(tool ${TARVANO_NM})
    endif()
    add_test(NAME ${target}.export_table
             COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> -DLIST=${list_file}
                     -DTOOL=${tool} -DWINDOWS=${WIN32} -P ${CMAKE_SOURCE_DIR}/cmake/CheckExports.cmake)
  endif()
endfunction()

# File names of a shared library: <windows_name>.dll without the "lib" prefix
# on Windows, lib<linux_name>.so on Linux.
function(tarvano_library_names target windows_name linux_name)
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${windows_name})
  else()
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${linux_name})
  endif()
endfunction()
