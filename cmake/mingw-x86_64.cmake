# The same sources as 64-bit Windows programs: the build the tests run on
# every machine, including those that cannot execute 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRX_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
