# Warnings are errors on the project's own code; third-party headers come in as system
# includes and are left alone.
function(quillmark_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
      -Wimplicit-fallthrough -Werror)
  endif()
endfunction()
