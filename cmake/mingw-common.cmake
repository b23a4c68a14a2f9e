# Shared part of the MinGW-w64 toolchain files: the posix-thread compilers
# that Debian ships, windres for the resource scripts, and no host paths.
find_program(CMAKE_C_COMPILER NAMES ${CARDINST_MINGW_PREFIX}-gcc-posix ${CARDINST_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${CARDINST_MINGW_PREFIX}-g++-posix ${CARDINST_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${CARDINST_MINGW_PREFIX}-windres REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/${CARDINST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
