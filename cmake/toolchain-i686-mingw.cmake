# Cross build for 32-bit Windows, XP SP3 to 11. The product is built with the win32 thread model: the POSIX
# model's runtime (winpthreads, linked by -static) imports GetTickCount64, which Windows XP does not export, so a
# launcher built with it would not start there. GoogleTest needs the POSIX model (std::mutex, absent from the
# win32 model of GCC 12): its targets run the compiler through cmake/posix-threads (see CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Through a file, not a pipe: see scripts/lib/wine-run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/lib/wine-run)
