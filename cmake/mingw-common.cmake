# Shared by the two MinGW-w64 toolchain files; TRIMDESK_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TRIMDESK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRIMDESK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TRIMDESK_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TRIMDESK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Programs of both architectures run here under Wine (64-bit and 32-bit, in one prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)

# Nothing but Windows' own DLLs may be needed beside the deliverables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
