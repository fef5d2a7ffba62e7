# Install rules of both builds, and the Windows package made from them.
#
# Native: the program and the plug-in in bin (the program loads the plug-in
# from its own folder), the simulated host's libraries in lib, found
# relative to bin, and the README with the guides.  Windows: one folder holding the program,
# the plug-in, the simulated host's DLLs and the C++ runtime, stripped, the
# install notes, the user guide and the reference (CR LF texts) and the
# examples the guide uses; CPack makes it a ZIP
# (kesto_tools_vericut-VERSION-win32.zip).
include(GNUInstallDirs)

if(WIN32)
  set(KESTO_INSTALL_BIN .)
  set(KESTO_INSTALL_LIB .)
  set(KESTO_INSTALL_DOC .)
else()
  set(KESTO_INSTALL_BIN ${CMAKE_INSTALL_BINDIR})
  set(KESTO_INSTALL_LIB ${CMAKE_INSTALL_LIBDIR})
  set(KESTO_INSTALL_DOC ${CMAKE_INSTALL_DOCDIR})
  file(RELATIVE_PATH KESTO_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(kesto-tools-vericut kesto_tools_vericut PROPERTIES INSTALL_RPATH "$ORIGIN/${KESTO_BIN_TO_LIB}")
  set_target_properties(ugopenint PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

# Import libraries of the Windows DLLs are left out: nothing links against
# an installed copy.
install(TARGETS kesto-tools-vericut kesto_tools_vericut
  RUNTIME DESTINATION ${KESTO_INSTALL_BIN}
  LIBRARY DESTINATION ${KESTO_INSTALL_BIN}
  ARCHIVE DESTINATION ${KESTO_INSTALL_LIB} EXCLUDE_FROM_ALL)
install(TARGETS ufun ugopenint
  RUNTIME DESTINATION ${KESTO_INSTALL_BIN}
  LIBRARY DESTINATION ${KESTO_INSTALL_LIB}
  ARCHIVE DESTINATION ${KESTO_INSTALL_LIB} EXCLUDE_FROM_ALL)
if(NOT WIN32)
  # the README with the pages it links to, where its links find them
  install(FILES README.md DESTINATION ${KESTO_INSTALL_DOC})
  install(FILES docs/guide.md docs/guide-windows.txt docs/development.md docs/design.md DESTINATION ${KESTO_INSTALL_DOC}/docs)
endif()

if(NOT WIN32)
  # The man page and the bash completion, made by the program from its own
  # help, and the example files the README's commands use.
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/kesto-tools-vericut.1 ${PROJECT_BINARY_DIR}/kesto-tools-vericut.bash
    COMMAND kesto-tools-vericut --man-page > ${PROJECT_BINARY_DIR}/kesto-tools-vericut.1
    COMMAND kesto-tools-vericut --bash-completion > ${PROJECT_BINARY_DIR}/kesto-tools-vericut.bash
    DEPENDS kesto-tools-vericut)
  add_custom_target(kesto_shell_docs ALL
    DEPENDS ${PROJECT_BINARY_DIR}/kesto-tools-vericut.1 ${PROJECT_BINARY_DIR}/kesto-tools-vericut.bash)
  install(FILES ${PROJECT_BINARY_DIR}/kesto-tools-vericut.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/kesto-tools-vericut.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kesto-tools-vericut)
  install(DIRECTORY examples/ DESTINATION ${KESTO_INSTALL_DOC}/examples)
endif()

if(WIN32)
  # Runtime DLLs the Windows programs load besides the system's: the C++
  # runtime the program and the host's DLLs share (targets.cmake).
  set(KESTO_WINDOWS_RUNTIME_DLLS ${KESTO_RUNTIME_DLLS})
  if(KESTO_WINDOWS_RUNTIME_DLLS)
    install(FILES ${KESTO_WINDOWS_RUNTIME_DLLS} DESTINATION ${KESTO_INSTALL_BIN})
  endif()

  # The texts a Windows user opens, with Windows line ends.
  foreach(text examples/kesto_tools_vericut.ini docs/install-windows.txt docs/guide-windows.txt)
    file(READ ${PROJECT_SOURCE_DIR}/${text} content)
    string(REPLACE "\r\n" "\n" content "${content}")
    string(REPLACE "\n" "\r\n" content "${content}")
    get_filename_component(name ${text} NAME)
    file(WRITE ${PROJECT_BINARY_DIR}/package/${name} "${content}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${text})
  endforeach()
  install(FILES ${PROJECT_BINARY_DIR}/package/install-windows.txt DESTINATION . RENAME INSTALL.txt)
  install(FILES ${PROJECT_BINARY_DIR}/package/guide-windows.txt DESTINATION . RENAME GUIDE.txt)
  # The reference (the man page's text, for cmd.exe), which the help's
  # lines point to: printed by the native program of these sources when the
  # package is made (cmake/package_reference.cmake).
  set(KESTO_NATIVE_PROGRAM "${PROJECT_SOURCE_DIR}/build/native/kesto-tools-vericut" CACHE FILEPATH
    "The native kesto-tools-vericut of the same sources, which writes the Windows package's REFERENCE.txt")
  install(CODE "set(KESTO_NATIVE_PROGRAM_DEFAULT \"${KESTO_NATIVE_PROGRAM}\")
    set(KESTO_PACKAGE_VERSION \"${PROJECT_VERSION}\")
    set(KESTO_PACKAGE_DIR \"${PROJECT_BINARY_DIR}/package\")")
  install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/package_reference.cmake)
  # The examples the guide's walkthroughs use; the settings file names
  # their database as its TLS folder.
  install(FILES ${PROJECT_BINARY_DIR}/package/kesto_tools_vericut.ini DESTINATION examples)
  install(FILES examples/demo_part.json examples/demo_session.json examples/PART.json examples/SITE.tls
    examples/site_part.json DESTINATION examples)
  install(DIRECTORY examples/database DESTINATION examples)

  set(CPACK_GENERATOR ZIP)
  # without their debugging sections (the plug-in from 686 kB to 317)
  set(CPACK_STRIP_FILES TRUE)
  set(CPACK_PACKAGE_NAME kesto_tools_vericut)
  set(CPACK_PACKAGE_VENDOR kesto)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  include(CPack)
endif()
