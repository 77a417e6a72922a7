# The project's warnings on its own code; third-party headers come in as system includes
# and are left alone. Warnings are errors only where QUILLMARK_WERROR is on: in the
# project's presets and CI, never by default, so that a packager's build with another
# compiler or other flags is not stopped by a warning that compiler adds.
option(QUILLMARK_WERROR "Treat the project's warnings as errors" OFF)

function(quillmark_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- $<$<BOOL:${QUILLMARK_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
      -Wimplicit-fallthrough $<$<BOOL:${QUILLMARK_WERROR}>:-Werror>)
  endif()
endfunction()
