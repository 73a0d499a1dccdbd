# Warnings are errors in our own code. Third-party code (GoogleTest built from
# source) is added without these flags.
function(tarvano_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wno-unused-parameter)
  # GCC 12 at -O3 (the bench preset) reports overlapping copies inside the
  # standard library's own string concatenation (std::operator+ on a literal
  # and a string), where there are none, so the warning is off for GCC 12;
  # later releases keep it.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()
