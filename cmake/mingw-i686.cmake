# Cross-compiles the 32-bit Windows programs with mingw-w64 (or, with
# BRIK_MINGW_PROCESSOR set by cmake/mingw-x86_64.cmake, the 64-bit test
# vehicle).
if(NOT BRIK_MINGW_PROCESSOR)
  set(BRIK_MINGW_PROCESSOR i686)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${BRIK_MINGW_PROCESSOR})
# The win32 threading variant: the posix one brings winpthread, whose code
# imports functions that Windows 95 and NT 4 lack. Its libstdc++ has no
# std::thread or std::mutex; GoogleTest gets a stand-in (tests/support).
set(CMAKE_C_COMPILER ${BRIK_MINGW_PROCESSOR}-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER ${BRIK_MINGW_PROCESSOR}-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER ${BRIK_MINGW_PROCESSOR}-w64-mingw32-windres)
# Archives of link-time-optimised objects need the compiler's plugin.
set(CMAKE_AR ${BRIK_MINGW_PROCESSOR}-w64-mingw32-gcc-ar-win32)
set(CMAKE_RANLIB ${BRIK_MINGW_PROCESSOR}-w64-mingw32-gcc-ranlib-win32)
set(CMAKE_FIND_ROOT_PATH /usr/${BRIK_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs must start on a bare Windows: no mingw runtime DLL may be imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
