# The Windows installer: a per-machine, 64-bit MSI of the two programs, built by Debian's wixl
# through CPack's External generator (CPack has no WiX generator off Windows). CPack stages
# what the install rules below install, stripped, and runs packaging/windows/package_msi.cmake
# over it, which writes
#
#   build/windows/Morvane-Control-Center-<version>-win64.msi          (and its .sha256)
#   build/windows/Morvane-Control-Center-<version>-win64-symbols.zip  (the unstripped programs)
#
# with `cmake --build --preset windows --target package` or `cpack --preset windows`; it is
# not part of the default build. The installer's tests are in tests/windows/installer.

# What the package installs into C:\Program Files\Morvane\Control Center: the window program and
# the console enumerator, nothing else (no test program, simulated driver or bench).
install(TARGETS morvane-control-center morvane-enum RUNTIME DESTINATION .)

set(MCC_PACKAGE_DIR ${PROJECT_SOURCE_DIR}/packaging/windows)
set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_ENABLE_STAGING ON)
set(CPACK_EXTERNAL_REQUESTED_VERSIONS 1.0)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${MCC_PACKAGE_DIR}/package_msi.cmake)
set(CPACK_PACKAGE_NAME "Morvane Control Center")
set(CPACK_PACKAGE_VENDOR Morvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Morvane-Control-Center-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Read by package_msi.cmake: the icon, and where the unstripped programs are (for the symbols).
# It writes the MSI's .sha256 itself: CPack's would list its .json too.
set(CPACK_MCC_ICON ${MCC_ICON_PATH})
set(CPACK_MCC_PROGRAM_DIR ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
include(CPack)
