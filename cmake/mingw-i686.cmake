# Cross toolchain: 32-bit Windows programs from MinGW-w64 with POSIX threads,
# so std::thread and friends work; everything is linked statically so the
# executables run under Wine or on Windows without any DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Large-address-aware: a 32-bit program may then use the upper half of a
# 4 GB address space (under Wine on a 64-bit system, and on 64-bit Windows).
# The proxy's threads reserve their stacks from it; without the flag the
# process ran out of address space at about 300 kept-alive connections.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--large-address-aware")
# Tests run under Wine in the build tree's own prefix (see wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
