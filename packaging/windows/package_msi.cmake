# Builds the MSI with wixl from the staged programs. Two ways in:
#
# - CPack's External generator runs it (cmake/windows_package.cmake: the `package` target, or
#   `cpack --preset windows`) with the programs staged (stripped) in CPACK_TEMPORARY_DIRECTORY;
#   it builds CPACK_PACKAGE_FILE_NAME.msi, its .sha256 and the unstripped programs'
#   CPACK_PACKAGE_FILE_NAME-symbols.zip, which CPack copies to the build tree.
# - As a script, for another version of the same programs (the installer's tests build one so):
#     cmake -DSTAGE=dir -DVERSION=x.y.z -DOUTPUT=file.msi [-DWXS=file.wxs] -P package_msi.cmake
#
# Either way the programs and the icon are first copied into a directory of their own, where
# wixl runs: it only finds files by paths relative to where it runs. Any warning of wixl fails
# the step: wixl drops an attribute it does not know with nothing more than a warning, and the
# package would be built without it.
#
# Signing is configured in the environment of each run, never in the CMake cache:
#   MCC_SIGN_CERT            the certificate chain (PEM); unset: nothing is signed
#   MCC_SIGN_KEY             its private key (PEM)
#   MCC_SIGN_KEY_PASSWORD    the key's password, if it has one
#   MCC_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamping server; unset: no timestamp
# The programs are signed before wixl packs them, the MSI after its tables are finished and
# before its hash is written. A configured certificate that does not sign fails the step.

cmake_policy(VERSION 3.25) # also when run as a script

# The product's identity for good, with every version: never change it (Windows Installer and
# deployment tools know the product by it; a new one makes a different product that installs
# beside the old one).
set(MCC_UPGRADE_CODE 492700BB-6A38-4D01-BEEE-9E91AFD03AAD)

set(MCC_PROGRAMS morvane-control-center.exe morvane-enum.exe)
# The programs' rows of the File table (the File/@Id of the .wxs), in the order above.
set(MCC_PROGRAM_FILE_IDS ControlCenterExe EnumExe)
set(MCC_ICON_FILE morvane-control-center.ico)
# The language of the programs' version resources (U.S. English).
set(MCC_PROGRAM_LANGUAGE 1033)
# Windows 10 or later: the launch condition on the property WINDOWSMAJORVERSION the .wxs reads
# (wixl 0.101 cannot write a launch condition of its own), and what older systems are told.
set(MCC_LAUNCH_CONDITION "Installed OR WINDOWSMAJORVERSION >= \"#10\"")
set(MCC_LAUNCH_MESSAGE "Morvane Control Center needs Windows 10 or later.")
# 0.1.0 kept both programs in one component and did not record its folder: where that
# component's key path (morvane-control-center.exe) is installed is the folder an upgrade from
# it installs into. Its ID is fixed for good by the released package.
set(MCC_0_1_PROGRAMS_COMPONENT "{28D34D42-400A-5339-9450-7908FD401CC7}")

function(mcc_fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "package_msi: ${text}")
endfunction()

# mcc_run(WHAT COMMAND...): runs COMMAND; fails the step with its output unless it exits 0.
function(mcc_run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    mcc_fail("${what} failed (exit ${status}):\n${out}")
  endif()
endfunction()

function(mcc_find_tool variable name package)
  find_program(${variable} ${name})
  if(NOT ${variable})
    mcc_fail("${name} is not installed (Debian package ${package}; scripts/setup.sh installs it)")
  endif()
endfunction()

# Sets MCC_SIGNING in the caller: ON when a certificate is configured (and complete), else OFF
# with the one line that says the package is unsigned.
macro(mcc_signing_configuration)
  if("$ENV{MCC_SIGN_CERT}" STREQUAL "")
    message(STATUS "package_msi: MCC_SIGN_CERT is not set: the programs and the MSI are not signed")
    set(MCC_SIGNING OFF)
  else()
    foreach(file MCC_SIGN_CERT MCC_SIGN_KEY)
      if("$ENV{${file}}" STREQUAL "" OR NOT EXISTS "$ENV{${file}}")
        mcc_fail("MCC_SIGN_CERT is set, but ${file} names no file ('$ENV{${file}}')")
      endif()
    endforeach()
    mcc_find_tool(MCC_OSSLSIGNCODE osslsigncode osslsigncode)
    set(MCC_SIGNING ON)
  endif()
endmacro()

# mcc_sign(FILE): signs FILE in place, SHA-256, with the product's name (and a timestamp when a
# server is configured). The key's password reaches osslsigncode in a file only its owner
# reads, never on a command line others can see.
function(mcc_sign file)
  set(arguments -certs $ENV{MCC_SIGN_CERT} -key $ENV{MCC_SIGN_KEY} -h sha256
                -n "Morvane Control Center")
  set(password_file ${file}.password)
  if(NOT "$ENV{MCC_SIGN_KEY_PASSWORD}" STREQUAL "")
    file(TOUCH ${password_file})
    file(CHMOD ${password_file} PERMISSIONS OWNER_READ OWNER_WRITE)
    file(WRITE ${password_file} "$ENV{MCC_SIGN_KEY_PASSWORD}")
    list(APPEND arguments -readpass ${password_file})
  endif()
  if(NOT "$ENV{MCC_SIGN_TIMESTAMP_URL}" STREQUAL "")
    list(APPEND arguments -ts $ENV{MCC_SIGN_TIMESTAMP_URL})
  endif()
  file(REMOVE ${file}.signed)
  execute_process(COMMAND ${MCC_OSSLSIGNCODE} sign ${arguments} -in ${file} -out ${file}.signed
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  file(REMOVE ${password_file})
  if(NOT status EQUAL 0 OR NOT EXISTS ${file}.signed)
    file(REMOVE ${file}.signed)
    mcc_fail("signing ${file} with $ENV{MCC_SIGN_CERT} failed (exit ${status}):\n${out}")
  endif()
  file(RENAME ${file}.signed ${file})
endfunction()

# mcc_table(MSI TABLE VARIABLE): the rows of TABLE (as msiinfo exports them: three header lines,
# tab-separated columns) into the list VARIABLE, one element per row.
function(mcc_table msi table variable)
  execute_process(COMMAND ${MCC_MSIINFO} export ${msi} ${table} RESULT_VARIABLE status
                  OUTPUT_VARIABLE text ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    mcc_fail("msiinfo cannot read the ${table} table of ${msi}: ${error}")
  endif()
  string(REPLACE "\r" "" text "${text}")
  string(REPLACE ";" "\\;" text "${text}")
  string(REPLACE "\n" ";" rows "${text}")
  list(REMOVE_ITEM rows "")
  set(${variable} "${rows}" PARENT_SCOPE)
endfunction()

# What wixl cannot say, written into its MSI with msibuild:
# - the File table's Version and Language of the programs, so Windows Installer's rules for
#   versioned files (replace an older version, repair a missing or damaged file) apply to them;
#   a versioned file has no row in MsiFileHash;
# - the removal of the older product between InstallValidate and InstallInitialize, wherever
#   wixl put it;
# - the launch condition for Windows 10 or later;
# - INSTALLDIR found from 0.1.0's component (the .wxs finds the folder later versions record).
function(mcc_finish_tables work msi file_version)
  mcc_find_tool(MCC_MSIINFO msiinfo msitools)
  mcc_find_tool(MCC_MSIBUILD msibuild msitools)
  mcc_table(${msi} File rows)
  set(idt "")
  foreach(row IN LISTS rows)
    string(REPLACE "\t" ";" columns "${row}")
    list(GET columns 0 id)
    if(id IN_LIST MCC_PROGRAM_FILE_IDS)
      # File Component_ FileName FileSize Version Language Attributes Sequence
      list(LENGTH columns count)
      if(NOT count EQUAL 8)
        mcc_fail("the File table's row of ${id} has ${count} columns, not 8: ${row}")
      endif()
      list(REMOVE_AT columns 4 5)
      list(INSERT columns 4 ${file_version} ${MCC_PROGRAM_LANGUAGE})
      string(REPLACE ";" "\t" row "${columns}")
    endif()
    string(APPEND idt "${row}\r\n")
  endforeach()
  file(WRITE ${work}/File.idt "${idt}")
  mcc_run("msibuild (the File table)" ${MCC_MSIBUILD} ${msi} -i ${work}/File.idt)
  foreach(id IN LISTS MCC_PROGRAM_FILE_IDS)
    mcc_run("msibuild (MsiFileHash)" ${MCC_MSIBUILD} ${msi}
            -q "DELETE FROM `MsiFileHash` WHERE `File_` = '${id}'")
  endforeach()

  mcc_table(${msi} InstallExecuteSequence rows)
  foreach(row IN LISTS rows)
    if(row MATCHES "^(InstallValidate|InstallInitialize)\t[^\t]*\t([0-9]+)$")
      set(${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
    endif()
  endforeach()
  if(NOT InstallValidate OR NOT InstallInitialize)
    mcc_fail("${msi} has no InstallValidate or no InstallInitialize")
  endif()
  math(EXPR removal "${InstallValidate} + 1")
  if(NOT removal LESS InstallInitialize)
    mcc_fail("no room between InstallValidate and InstallInitialize in ${msi}")
  endif()
  mcc_run("msibuild (RemoveExistingProducts)" ${MCC_MSIBUILD} ${msi}
          -q "UPDATE `InstallExecuteSequence` SET `Sequence` = ${removal} WHERE `Action` = 'RemoveExistingProducts'")

  mcc_run("msibuild (LaunchCondition)" ${MCC_MSIBUILD} ${msi}
          -q "INSERT INTO `LaunchCondition` (`Condition`, `Description`) VALUES ('${MCC_LAUNCH_CONDITION}', '${MCC_LAUNCH_MESSAGE}')")

  # The file's folder is the property's value, as there is no Signature row (Type 1: a file).
  mcc_run("msibuild (CompLocator)" ${MCC_MSIBUILD} ${msi}
          -q "CREATE TABLE `CompLocator` (`Signature_` CHAR(72) NOT NULL, `ComponentId` CHAR(38) NOT NULL, `Type` SHORT PRIMARY KEY `Signature_`)"
          -q "INSERT INTO `CompLocator` (`Signature_`, `ComponentId`, `Type`) VALUES ('InstallDirOf0_1', '${MCC_0_1_PROGRAMS_COMPONENT}', 1)"
          -q "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('INSTALLDIR', 'InstallDirOf0_1')")

  # msibuild's queries have failed quietly before: the result is checked.
  mcc_table(${msi} File rows)
  foreach(id IN LISTS MCC_PROGRAM_FILE_IDS)
    if(NOT rows MATCHES "(^|;)${id}\t[^;]*\t${file_version}\t${MCC_PROGRAM_LANGUAGE}\t")
      mcc_fail("the File table's row of ${id} does not carry ${file_version}")
    endif()
  endforeach()
  mcc_table(${msi} MsiFileHash rows)
  mcc_table(${msi} InstallExecuteSequence sequence)
  mcc_table(${msi} LaunchCondition conditions)
  mcc_table(${msi} CompLocator locators)
  if(rows MATCHES "(^|;)(ControlCenterExe|EnumExe)\t" OR NOT sequence MATCHES
     "(^|;)RemoveExistingProducts\t[^;]*\t${removal}(;|$)"
     OR NOT "${MCC_LAUNCH_CONDITION}\t${MCC_LAUNCH_MESSAGE}" IN_LIST conditions
     OR NOT "InstallDirOf0_1\t${MCC_0_1_PROGRAMS_COMPONENT}\t1" IN_LIST locators)
    mcc_fail("msibuild did not finish the tables of ${msi}")
  endif()
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
  mcc_find_tool(wixl wixl wixl)
  if(MCC_SIGNING)
    foreach(program ${MCC_PROGRAMS})
      mcc_sign(${work}/${program})
    endforeach()
  endif()
  # The ProductCode names one version: derived from the UpgradeCode and the version, so a
  # rebuilt package of a version already installed is the same product, never a second entry.
  string(UUID product_code NAMESPACE ${MCC_UPGRADE_CODE} NAME "ProductCode ${version}"
         TYPE SHA1 UPPER)
  get_filename_component(output ${output} ABSOLUTE)
  file(REMOVE ${output} ${output}.sha256)
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
  # The programs' version resources carry the version with a fourth part, 0.
  mcc_finish_tables(${work} ${output} ${version}.0)
  if(MCC_SIGNING)
    mcc_sign(${output})
  endif()
  # The hash of the MSI alone, as sha256sum -c reads it.
  file(SHA256 ${output} hash)
  get_filename_component(name ${output} NAME)
  file(WRITE ${output}.sha256 "${hash}  ${name}\n")
endfunction()

# mcc_prepare_work(WORK PROGRAM_DIR ICON): WORK made afresh with the programs and the icon.
function(mcc_prepare_work work program_dir icon)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  foreach(program ${MCC_PROGRAMS})
    file(COPY ${program_dir}/${program} DESTINATION ${work})
  endforeach()
  file(COPY ${icon} DESTINATION ${work})
endfunction()

get_filename_component(here ${CMAKE_CURRENT_LIST_FILE} DIRECTORY)
mcc_signing_configuration()
if(CPACK_TEMPORARY_DIRECTORY)
  # Nothing but the two programs may be staged: no test program, driver or bench.
  file(GLOB_RECURSE staged RELATIVE ${CPACK_TEMPORARY_DIRECTORY} ${CPACK_TEMPORARY_DIRECTORY}/*)
  list(SORT staged)
  if(NOT staged STREQUAL "${MCC_PROGRAMS}")
    mcc_fail("the staged files are '${staged}', not '${MCC_PROGRAMS}'")
  endif()
  set(work ${CPACK_TOPLEVEL_DIRECTORY}/msi)
  mcc_prepare_work(${work} ${CPACK_TEMPORARY_DIRECTORY} ${CPACK_MCC_ICON})
  set(msi ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.msi)
  mcc_build_msi(${work} ${CPACK_PACKAGE_VERSION} ${msi} ${here}/morvane-control-center.wxs)

  # The unstripped programs, whose build IDs match the packaged ones': what a crash dump from
  # a user's machine is read with.
  set(symbols ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}-symbols.zip)
  file(REMOVE_RECURSE ${work}/symbols)
  foreach(program ${MCC_PROGRAMS})
    file(COPY ${CPACK_MCC_PROGRAM_DIR}/${program} DESTINATION ${work}/symbols)
  endforeach()
  file(REMOVE ${symbols})
  mcc_run("zip (the symbols)" ${CMAKE_COMMAND} -E chdir ${work}/symbols ${CMAKE_COMMAND} -E tar
          cf ${symbols} --format=zip ${MCC_PROGRAMS})
  set(CPACK_EXTERNAL_BUILT_PACKAGES ${msi} ${msi}.sha256 ${symbols})
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
  get_filename_component(OUTPUT ${OUTPUT} ABSOLUTE)
  mcc_prepare_work(${OUTPUT}.work ${STAGE} ${here}/${MCC_ICON_FILE})
  mcc_build_msi(${OUTPUT}.work ${VERSION} ${OUTPUT} ${WXS})
endif()
