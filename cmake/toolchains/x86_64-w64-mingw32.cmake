# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread variant, whose
# libstdc++ has std::thread and std::mutex). Programs built with it run under Wine: ctest and
# add_custom_command start them through scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MCC_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MCC_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MCC_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MCC_MINGW_TRIPLE}-windres)

# Libraries, headers and packages come from the mingw-w64 tree only, so the host's Qt,
# GoogleTest or nlohmann-json can never be picked up; programs (tools run at build time) come
# from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MCC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable and DLL carries libstdc++, libgcc and winpthread inside: nothing has to be
# found at run time, under Wine or on a user's PC.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Wine runs what this build produces (tests, and any program a custom command runs).
get_filename_component(MCC_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${MCC_SOURCE_ROOT}/scripts/wine-run.sh)
