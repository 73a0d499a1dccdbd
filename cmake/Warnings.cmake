# Warnings are errors in our own code. Third-party code (GoogleTest built from
# source) is added without these flags.
function(tarvano_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wno-unused-parameter)
endfunction()
