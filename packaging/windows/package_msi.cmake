# Builds the MSI with wixl from the staged programs. Two ways in:
#
# - CPack's External generator runs it (cmake/windows_package.cmake: the `package` target, or
#   `cpack --preset windows`) with the programs staged in CPACK_TEMPORARY_DIRECTORY; it builds
#   CPACK_PACKAGE_FILE_NAME.msi, which CPack copies to the build tree with its .sha256.
# - As a script, for another version of the same programs (the installer's tests build an older
#   one so):
#     cmake -DSTAGE=dir -DVERSION=x.y.z -DOUTPUT=file.msi [-DWXS=file.wxs] -P package_msi.cmake
#
# Either way the programs and the icon are first copied into a directory of their own (the
# build tree's msi/ for CPack's run, STAGE as it is given otherwise), where wixl runs: it only
# finds files by paths relative to where it runs. Any warning of wixl fails the step: wixl drops
# an attribute it does not know with nothing more than a warning, and the package would be
# built without it.

# The product's identity for good, with every version: never change it (Windows Installer and
# deployment tools know the product by it; a new one makes a different product that installs
# beside the old one).
set(MCC_UPGRADE_CODE 492700BB-6A38-4D01-BEEE-9E91AFD03AAD)

set(MCC_PROGRAMS morvane-control-center.exe morvane-enum.exe)
set(MCC_ICON_FILE morvane-control-center.ico)

function(mcc_fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "package_msi: ${text}")
endfunction()

# mcc_build_msi(WORK VERSION OUTPUT WXS): WORK holds the programs and the icon.
function(mcc_build_msi work version output wxs)
  if(NOT version MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
    mcc_fail("the version must be major.minor.build, not '${version}'")
  endif()
  foreach(file ${MCC_PROGRAMS} ${MCC_ICON_FILE})
    if(NOT EXISTS ${work}/${file})
      mcc_fail("${work}/${file} is missing")
    endif()
  endforeach()
  find_program(wixl wixl)
  if(NOT wixl)
    mcc_fail("wixl is not installed (Debian package wixl; scripts/setup.sh installs it)")
  endif()
  # The ProductCode names one version: derived from the UpgradeCode and the version, so a
  # rebuilt package of a version already installed is the same product, never a second entry.
  string(UUID product_code NAMESPACE ${MCC_UPGRADE_CODE} NAME "ProductCode ${version}"
         TYPE SHA1 UPPER)
  get_filename_component(output ${output} ABSOLUTE)
  file(REMOVE ${output})
  execute_process(
    COMMAND ${wixl} --arch x64 -D Version=${version} -D ProductCode=${product_code}
            -D UpgradeCode=${MCC_UPGRADE_CODE} -o ${output} ${wxs}
    WORKING_DIRECTORY ${work}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(TOLOWER "${out}" lower)
  if(NOT status EQUAL 0 OR lower MATCHES "warning|error|critical" OR NOT EXISTS ${output})
    file(REMOVE ${output})
    mcc_fail("wixl failed (exit ${status}), its output:\n${out}")
  endif()
endfunction()

get_filename_component(here ${CMAKE_CURRENT_LIST_FILE} DIRECTORY)
if(CPACK_TEMPORARY_DIRECTORY)
  # Run by CPack: the staged programs, and the icon from the source tree, into msi/.
  set(work ${CPACK_MCC_WORK_DIR})
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  foreach(program ${MCC_PROGRAMS})
    file(COPY ${CPACK_TEMPORARY_DIRECTORY}/${program} DESTINATION ${work})
  endforeach()
  file(COPY ${CPACK_MCC_ICON} DESTINATION ${work})
  # Nothing but the two programs may be staged: no test program, driver or bench.
  file(GLOB_RECURSE staged RELATIVE ${CPACK_TEMPORARY_DIRECTORY} ${CPACK_TEMPORARY_DIRECTORY}/*)
  list(SORT staged)
  if(NOT staged STREQUAL "${MCC_PROGRAMS}")
    mcc_fail("the staged files are '${staged}', not '${MCC_PROGRAMS}'")
  endif()
  set(msi ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi)
  mcc_build_msi(${work} ${CPACK_PACKAGE_VERSION} ${msi} ${here}/morvane-control-center.wxs)
  set(CPACK_EXTERNAL_BUILT_PACKAGES ${msi})
else()
  foreach(variable STAGE VERSION OUTPUT)
    if(NOT DEFINED ${variable})
      mcc_fail("usage: cmake -DSTAGE=dir -DVERSION=x.y.z -DOUTPUT=file.msi [-DWXS=file.wxs] "
               "-P package_msi.cmake")
    endif()
  endforeach()
  if(NOT WXS)
    set(WXS ${here}/morvane-control-center.wxs)
  endif()
  get_filename_component(WXS ${WXS} ABSOLUTE)
  mcc_build_msi(${STAGE} ${VERSION} ${OUTPUT} ${WXS})
endif()
