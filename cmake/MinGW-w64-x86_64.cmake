# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix):
#   cmake --preset mingw
# The posix flavour of the compiler is named explicitly: its C++ runtime has std::thread.
# Executables link the C and C++ runtimes statically, so a .exe runs on Windows, or under
# Wine, without MinGW's DLLs beside it.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLMARK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLMARK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMARK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMARK_MINGW_TRIPLET}-windres)

# Libraries, headers and packages come from the MinGW tree only, never from the build
# machine's own /usr; programs (the compilers, Wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMARK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and test discovery run the Windows executables through Wine, in a Wine prefix of
# the build's own (cmake/wine-run creates it on first use).
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-run;${CMAKE_BINARY_DIR}/wine")

# zlib (libz-mingw-w64-dev) linked statically too, so no zlib1.dll is needed beside the .exe.
set(ZLIB_USE_STATIC_LIBS ON)
