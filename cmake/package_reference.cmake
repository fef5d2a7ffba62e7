# Run at install time of the Windows build (cpack too): the reference the
# man page holds, as REFERENCE.txt in Windows line ends.  The Windows
# program cannot run where it is built, so the native program of the same
# sources prints it, for cmd.exe (--reference=windows): the one
# $KESTO_NATIVE_PROGRAM names, else the build's KESTO_NATIVE_PROGRAM
# (install.cmake sets it, the version and the package folder before this).
set(KESTO_NATIVE_PROGRAM "$ENV{KESTO_NATIVE_PROGRAM}")
if(NOT KESTO_NATIVE_PROGRAM)
  set(KESTO_NATIVE_PROGRAM "${KESTO_NATIVE_PROGRAM_DEFAULT}")
endif()
if(NOT EXISTS "${KESTO_NATIVE_PROGRAM}")
  message(FATAL_ERROR "REFERENCE.txt is written by the native kesto-tools-vericut, and there is none at "
    "${KESTO_NATIVE_PROGRAM}: build build/native first, or name it with -DKESTO_NATIVE_PROGRAM=PATH")
endif()
execute_process(COMMAND "${KESTO_NATIVE_PROGRAM}" --version OUTPUT_VARIABLE version RESULT_VARIABLE failed)
string(STRIP "${version}" version)
if(failed OR NOT version STREQUAL "kesto-tools-vericut ${KESTO_PACKAGE_VERSION}")
  message(FATAL_ERROR "${KESTO_NATIVE_PROGRAM} is \"${version}\", not kesto-tools-vericut ${KESTO_PACKAGE_VERSION}: "
    "build build/native from these sources first")
endif()
execute_process(COMMAND "${KESTO_NATIVE_PROGRAM}" --reference=windows
  OUTPUT_VARIABLE text RESULT_VARIABLE failed)
if(failed OR text STREQUAL "")
  message(FATAL_ERROR "${KESTO_NATIVE_PROGRAM} --reference=windows failed")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${KESTO_PACKAGE_DIR}/REFERENCE.txt" "${text}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}" TYPE FILE FILES "${KESTO_PACKAGE_DIR}/REFERENCE.txt")
