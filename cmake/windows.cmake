# The Windows build: the tuner access layer over the Windows SDK, the native control panel
# window, the Windows start-up (morvane-control-center.exe, a GUI program), the console
# enumerator morvane-enum, and their tests. Qt is not used on Windows. Included by the top-level CMakeLists.txt;
# cross-built by the windows preset, whose tests run under Wine (cmake/wine_tests.cmake).

# GoogleTest, built from its sources with this build's compiler (Debian: package googletest).
set(MCC_GOOGLETEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest's sources, built for the Windows tests")
if(NOT EXISTS ${MCC_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are not in ${MCC_GOOGLETEST_SOURCE_DIR}: install "
                      "googletest, or set MCC_GOOGLETEST_SOURCE_DIR")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${MCC_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)

# nlohmann-json (header only) as the target nlohmann_json::nlohmann_json, the name the Linux
# build gets from its package. Its include directory lives in the build tree and holds nothing
# but nlohmann/, a link to the headers: the host's /usr/include, with its Linux and C library
# headers, never joins the cross build's include path.
set(MCC_NLOHMANN_JSON_HEADERS /usr/include/nlohmann
    CACHE PATH "nlohmann-json's header directory (the one holding json.hpp)")
if(NOT EXISTS ${MCC_NLOHMANN_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann-json's json.hpp is not in ${MCC_NLOHMANN_JSON_HEADERS}: install "
                      "nlohmann-json3-dev, or set MCC_NLOHMANN_JSON_HEADERS")
endif()
set(MCC_NLOHMANN_JSON_INCLUDE ${CMAKE_BINARY_DIR}/_deps/nlohmann_json/include)
file(MAKE_DIRECTORY ${MCC_NLOHMANN_JSON_INCLUDE})
file(CREATE_LINK ${MCC_NLOHMANN_JSON_HEADERS} ${MCC_NLOHMANN_JSON_INCLUDE}/nlohmann SYMBOLIC
     COPY_ON_ERROR)
add_library(mcc_nlohmann_json INTERFACE)
target_include_directories(mcc_nlohmann_json SYSTEM INTERFACE ${MCC_NLOHMANN_JSON_INCLUDE})
add_library(nlohmann_json::nlohmann_json ALIAS mcc_nlohmann_json)

enable_testing()
include(${CMAKE_CURRENT_LIST_DIR}/wine_tests.cmake)

# The manifest, the version resource and the icon are embedded as resources.
enable_language(RC)

# The project's version in the forms Windows wants: an MSI's ProductVersion is major.minor.build
# (at most 255.255.65535); a version resource and a manifest's assemblyIdentity have four parts.
string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" version_parts "${PROJECT_VERSION}")
if(NOT version_parts OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255
   OR CMAKE_MATCH_3 GREATER 65535)
  message(FATAL_ERROR "The project's version must be major.minor.build, at most 255.255.65535 "
                      "(a Windows Installer version), not '${PROJECT_VERSION}'")
endif()
set(MCC_VERSION_FOUR ${PROJECT_VERSION}.0)
string(REPLACE "." "," MCC_VERSION_COMMAS ${MCC_VERSION_FOUR})
set(MCC_ICON_PATH ${PROJECT_SOURCE_DIR}/packaging/windows/morvane-control-center.ico)
# The systems the programs are made for, as their manifests name them: Windows 10 and later
# (one ID stands for 10 and 11). The installer's launch condition refuses older ones.
set(MCC_MANIFEST_SUPPORTED_OS "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>")
# Every program is terminal-server aware, asks for subsystem version 6.0 (older ones get
# compatibility treatment) and carries a build ID, which ties a crash dump to the unstripped
# program in the package's symbols archive.
if(NOT MSVC)
  add_link_options(-Wl,--tsaware -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
                   -Wl,--build-id)
endif()
# With MSVC, the C and C++ runtime is linked into the programs too (mingw-w64 links -static).
if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
endif()

add_subdirectory(platform)
add_subdirectory(simulator)
add_subdirectory(media)
add_subdirectory(panel/core)
add_subdirectory(panel/win32)
add_subdirectory(shell)
add_subdirectory(tests/windows)
add_subdirectory(tests/simulator)
add_subdirectory(tests/shell/windows)
add_subdirectory(tests/panel/win32)
add_subdirectory(tests/golden)

# The installer: cmake --build --preset windows --target package (or cpack --preset windows).
include(${CMAKE_CURRENT_LIST_DIR}/windows_package.cmake)
add_subdirectory(tests/windows/installer)
