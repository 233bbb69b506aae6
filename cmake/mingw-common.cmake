# What both Windows toolchain files share: Debian's MinGW-w64 cross tools named by
# TOLVANE_MINGW_PREFIX, and libraries and headers from that toolchain's root only.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TOLVANE_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOLVANE_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TOLVANE_MINGW_PREFIX}-windres)
# The message compiler, for the Event Log's message table (cmake/windows.cmake).
set(TOLVANE_MC_COMPILER ${TOLVANE_MINGW_PREFIX}-windmc)

set(CMAKE_FIND_ROOT_PATH /usr/${TOLVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
