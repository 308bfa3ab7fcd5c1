# 64-bit Windows. Its programs run here under wine64 through the emulator script.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRIMDESK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
