# The 64-bit Windows programs, a test vehicle for machines that run 64-bit
# user code only: the 32-bit toolchain for x86_64.
set(BRIK_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
