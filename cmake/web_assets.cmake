# The web pages' files (tools/tlsfile/web), compiled in from the real files:
# a script writes their bytes into a generated source, KESTO_WEB_ASSETS,
# which every build of tools/tlsfile takes (the fuzz build too).
file(GLOB KESTO_WEB_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/tlsfile/web/*)
set(KESTO_WEB_ASSETS ${PROJECT_BINARY_DIR}/generated/web_assets.cpp)
add_custom_command(OUTPUT ${KESTO_WEB_ASSETS}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${KESTO_WEB_ASSETS} "-DFILES=${KESTO_WEB_FILES}"
          -P ${PROJECT_SOURCE_DIR}/cmake/embed_files.cmake
  DEPENDS ${KESTO_WEB_FILES} ${PROJECT_SOURCE_DIR}/cmake/embed_files.cmake
  COMMENT "Embedding the web pages' files" VERBATIM)
