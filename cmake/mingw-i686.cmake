# 32-bit Windows cross build with Debian's mingw-w64 (posix thread model),
# for the Qt-free native pieces only (configure with LUMORA_NATIVE_ONLY=ON):
# what 32-bit programs load (the virtual camera filter) or what runs beside
# a 32-bit vendor library.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DLUMORA_NATIVE_ONLY=ON ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
