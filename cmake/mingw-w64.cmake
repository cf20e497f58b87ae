# Cross-build for 64-bit Windows with Debian's mingw-w64 (POSIX threads, so
# std::thread and std::mutex work), run under wine when cross-compiling tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVANE_MINGW_TRIPLE}-windres)

# Libraries come from the mingw sysroot and from the prefix the dependencies
# were built into (QUORVANE_DEPS, or the prefix path given on the command line);
# programs come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVANE_MINGW_TRIPLE})
if(DEFINED ENV{QUORVANE_DEPS} AND NOT "$ENV{QUORVANE_DEPS}" STREQUAL "")
  list(APPEND CMAKE_FIND_ROOT_PATH $ENV{QUORVANE_DEPS})
endif()
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
  if(prefix)
    list(APPEND CMAKE_FIND_ROOT_PATH ${prefix})
  endif()
endforeach()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained exe: libstdc++, libgcc and winpthread linked in, so it
# imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

find_program(QUORVANE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT QUORVANE_WINE)
  find_program(QUORVANE_WINE NAMES wine64 wine)
endif()
if(QUORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVANE_WINE})
endif()
