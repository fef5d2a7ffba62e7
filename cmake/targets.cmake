# Targets of both builds.  Sources are picked up by folder, so a new file in
# a subsystem folder needs no change here.

function(kesto_project_target target)
  target_compile_options(${target} PRIVATE ${KESTO_WARNINGS})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# Windows-1251 code page conversions and the path helper, shared by the
# simulated host, the POSIX platform layer and the tools; the lock and the
# temporary-file names every library writer shares (the platform layer of
# both builds and the tools).
add_library(kesto_common STATIC host/common/cp1251.cpp host/common/library_writer.cpp)
kesto_project_target(kesto_common)

# Platform layer: real KERNEL32 calls on Windows, our own POSIX implementation elsewhere.
if(WIN32)
  file(GLOB KESTO_PLATFORM_SOURCES CONFIGURE_DEPENDS host/platform/*_win32.cpp)
else()
  file(GLOB KESTO_PLATFORM_SOURCES CONFIGURE_DEPENDS host/platform/*_posix.cpp)
endif()
add_library(kesto_platform STATIC ${KESTO_PLATFORM_SOURCES})
kesto_project_target(kesto_platform)
target_link_libraries(kesto_platform PUBLIC kesto_common ${CMAKE_DL_LIBS})

# The simulated host: libufun (session, state, every non-UI call) and
# libugopenint (dialogs, listing window, navigator).
file(GLOB KESTO_SIM_CORE CONFIGURE_DEPENDS host/sim/*.cpp)
list(FILTER KESTO_SIM_CORE EXCLUDE REGEX "ui_calls\\.cpp$")
add_library(ufun SHARED ${KESTO_SIM_CORE})
add_library(ugopenint SHARED host/sim/ui_calls.cpp)
foreach(lib ufun ugopenint)
  kesto_project_target(${lib})
  target_compile_definitions(${lib} PRIVATE KESTO_BUILDING_HOST)
  target_include_directories(${lib} SYSTEM PRIVATE ${KESTO_THIRD_PARTY_INCLUDE})
  set_target_properties(${lib} PROPERTIES PREFIX "lib")
endforeach()
target_link_libraries(ufun PRIVATE kesto_common)
target_link_libraries(ugopenint PRIVATE ufun kesto_common)
if(WIN32)
  # The host's DLLs and its program share one C++ runtime (copied beside
  # them): an exception thrown in one module is caught in another, which a
  # runtime linked into each module cannot do on i686 (DWARF unwinding).
  target_link_options(ufun PRIVATE -Wl,--export-all-symbols -Wl,--exclude-libs,ALL -shared-libgcc)
  target_link_options(ugopenint PRIVATE -shared-libgcc)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE KESTO_STDCXX_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${KESTO_STDCXX_DLL} OUTPUT_VARIABLE dump)
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  set(runtime ${KESTO_STDCXX_DLL})
  foreach(import ${imports})
    string(REPLACE "DLL Name: " "" import "${import}")
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${import}
      OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${dll}")  # the system's DLLs come back as bare names
      list(APPEND runtime ${dll})
    endif()
  endforeach()
  if(NOT IS_ABSOLUTE "${KESTO_STDCXX_DLL}" OR NOT EXISTS "${KESTO_STDCXX_DLL}")
    message(FATAL_ERROR "the compiler's libstdc++-6.dll was not found")
  endif()
  # copied without their debugging symbols (libstdc++ from 21 MB to 2)
  set(KESTO_RUNTIME_DLLS "")
  foreach(dll ${runtime})
    get_filename_component(name ${dll} NAME)
    execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${PROJECT_BINARY_DIR}/${name} ${dll}
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "${dll} could not be copied into the build folder")
    endif()
    list(APPEND KESTO_RUNTIME_DLLS ${PROJECT_BINARY_DIR}/${name})
  endforeach()
else()
  target_link_libraries(ufun PRIVATE ${CMAKE_DL_LIBS})
endif()

# The plug-in.  Its texts are stored as Windows-1251 bytes; __FILE__ is
# recorded relative to the source tree so that both builds report the same.
file(GLOB_RECURSE KESTO_PLUGIN_SOURCES CONFIGURE_DEPENDS src/*.cpp)
add_library(kesto_plugin_objects OBJECT ${KESTO_PLUGIN_SOURCES})
kesto_project_target(kesto_plugin_objects)
target_compile_options(kesto_plugin_objects PRIVATE
  -fexec-charset=CP1251 -fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=
  -fvisibility=hidden -fno-exceptions -fno-rtti)
if(WIN32)
  target_compile_definitions(kesto_plugin_objects PRIVATE __USE_MINGW_ANSI_STDIO=1)
else()
  target_compile_options(kesto_plugin_objects PRIVATE -fno-gnu-unique)
endif()
target_link_libraries(kesto_plugin_objects PUBLIC kesto_platform)

add_library(kesto_tools_vericut SHARED $<TARGET_OBJECTS:kesto_plugin_objects>)
set_target_properties(kesto_tools_vericut PROPERTIES PREFIX "")
target_link_libraries(kesto_tools_vericut PRIVATE kesto_platform ufun ugopenint)
if(WIN32)
  target_link_options(kesto_tools_vericut PRIVATE -static-libgcc -static-libstdc++ -static)
else()
  target_link_options(kesto_tools_vericut PRIVATE -Wl,--no-undefined)
endif()

# The same objects as a static library, for tests that call the plug-in's
# routines directly against the simulated host.
add_library(kesto_plugin_core STATIC $<TARGET_OBJECTS:kesto_plugin_objects>)
target_link_libraries(kesto_plugin_core PUBLIC kesto_platform ufun ugopenint)

# Tool library file reader (check and preview).
# The web pages' files are compiled in from real files, by a script that
# writes their bytes into a generated source.
file(GLOB KESTO_TLSFILE_SOURCES CONFIGURE_DEPENDS tools/tlsfile/*.cpp)
include(cmake/web_assets.cmake)
if(KESTO_TLSFILE_SOURCES)
  add_library(kesto_tlsfile STATIC ${KESTO_TLSFILE_SOURCES} ${KESTO_WEB_ASSETS})
  kesto_project_target(kesto_tlsfile)
  target_link_libraries(kesto_tlsfile PUBLIC kesto_common)
endif()

# The command-line tool.
# The embedded demo part is the shipped example file, compiled in.
file(READ ${PROJECT_SOURCE_DIR}/examples/demo_part.json KESTO_DEMO_PART)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/demo_part.json)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/demo_part.cpp
  CONTENT "// Generated from examples/demo_part.json.\nnamespace kesto::cli {\nextern const char *const kDemoPart = R\"demo(@KESTO_DEMO_PART@)demo\";\n}\n"
  @ONLY)
file(GLOB KESTO_CLI_SOURCES CONFIGURE_DEPENDS tools/cli/*.cpp)
list(FILTER KESTO_CLI_SOURCES EXCLUDE REGEX "/main\\.cpp$")
# The commands as a library: the program is its main() over it, and the
# unit tests run a command's whole command line without starting a program.
add_library(kesto_cli STATIC ${KESTO_CLI_SOURCES} ${PROJECT_BINARY_DIR}/generated/demo_part.cpp)
kesto_project_target(kesto_cli)
target_include_directories(kesto_cli SYSTEM PUBLIC ${KESTO_THIRD_PARTY_INCLUDE})
# kesto_platform: the profile reader the plug-in reads its settings with
target_link_libraries(kesto_cli PUBLIC ufun ugopenint kesto_platform kesto_common kesto_tlsfile)
target_compile_definitions(kesto_cli PRIVATE KESTO_VERSION="${PROJECT_VERSION}")
if(KESTO_UNITY)
  set_target_properties(kesto_cli PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
endif()
if(WIN32)
  # shell32: the wide command line split into arguments
  target_link_libraries(kesto_cli PUBLIC shell32)
endif()
add_executable(kesto-tools-vericut tools/cli/main.cpp)
kesto_project_target(kesto-tools-vericut)
target_link_libraries(kesto-tools-vericut PRIVATE kesto_cli)
add_dependencies(kesto-tools-vericut kesto_tools_vericut)
if(WIN32)
  target_link_options(kesto-tools-vericut PRIVATE -shared-libgcc)
endif()

# A version resource in the Windows program and the plug-in, so that a
# keeper sees in the file's properties which version is deployed.
function(kesto_version_resource target file type description)
  if(NOT WIN32)
    return()
  endif()
  set(KESTO_RC_NAME ${target})
  set(KESTO_RC_FILE ${file})
  set(KESTO_RC_FILETYPE ${type})
  set(KESTO_RC_DESCRIPTION "${description}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${PROJECT_BINARY_DIR}/generated/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/generated/${target}.rc)
endfunction()
kesto_version_resource(kesto_tools_vericut kesto_tools_vericut.dll VFT_DLL
  "kesto_tools_vericut: the host's cutting tools as a simulator tool library")
kesto_version_resource(kesto-tools-vericut kesto-tools-vericut.exe VFT_APP
  "kesto-tools-vericut: exports, checks, compares, merges and draws tool libraries")

# Small programs the tests run on both builds (a launcher that records its
# arguments, a profile-string dumper).
file(GLOB KESTO_TEST_PROGRAMS CONFIGURE_DEPENDS tests/programs/*.cpp)
foreach(src ${KESTO_TEST_PROGRAMS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  kesto_project_target(${name})
  target_link_libraries(${name} PRIVATE kesto_platform)
  if(WIN32)
    target_link_options(${name} PRIVATE -static-libgcc -static-libstdc++)
  endif()
endforeach()

if(NOT WIN32)
  enable_testing()
  find_package(GTest REQUIRED)
  file(GLOB_RECURSE KESTO_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
  add_executable(kesto_tests ${KESTO_TEST_SOURCES})
  kesto_project_target(kesto_tests)
  target_include_directories(kesto_tests SYSTEM PRIVATE ${KESTO_THIRD_PARTY_INCLUDE})
  target_link_libraries(kesto_tests PRIVATE kesto_plugin_core kesto_cli ufun ugopenint kesto_common GTest::gtest
    GTest::gtest_main)
  # Texts the tests expect as Windows-1251 bytes are compiled in that code page.
  file(GLOB KESTO_CP1251_TESTS CONFIGURE_DEPENDS tests/unit/*_cp1251.cpp)
  if(KESTO_CP1251_TESTS)
    set_source_files_properties(${KESTO_CP1251_TESTS} PROPERTIES COMPILE_OPTIONS -fexec-charset=CP1251
      SKIP_UNITY_BUILD_INCLUSION ON)
  endif()
  if(KESTO_UNITY)
    set_target_properties(kesto_tests PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  endif()
  # The Wine tests start the Windows programs the way this machine can: Wine
  # as it is, or its 32-bit loader under qemu-i386, in a prefix of this build
  # folder.
  set(KESTO_WINE_COMMAND "${KESTO_WINE}")
  set(KESTO_WINE_PREFIX "")
  if(NOT KESTO_WINE_COMMAND AND (KESTO_WIN32_DIR OR KESTO_WINE_DIR))
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine32.sh prepare ${PROJECT_BINARY_DIR}/wine
      OUTPUT_VARIABLE KESTO_WINE_COMMAND OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
      message(WARNING "scripts/wine32.sh could not prepare Wine; the Wine tests use wine as it is")
      set(KESTO_WINE_COMMAND "")
    else()
      file(READ ${PROJECT_BINARY_DIR}/wine/how how)
      string(STRIP "${how}" how)
      message(STATUS "Wine tests: ${KESTO_WINE_COMMAND} (${how})")
      set(KESTO_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine/prefix)
    endif()
  endif()
  target_compile_definitions(kesto_tests PRIVATE
    KESTO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KESTO_BINARY_DIR="${PROJECT_BINARY_DIR}"
    KESTO_PLUGIN_PATH="$<TARGET_FILE:kesto_tools_vericut>"
    KESTO_CLI_PATH="$<TARGET_FILE:kesto-tools-vericut>"
    KESTO_VERSION="${PROJECT_VERSION}"
    KESTO_CMAKE="${CMAKE_COMMAND}"
    KESTO_CPACK="${CMAKE_CPACK_COMMAND}"
    KESTO_WIN32_DIR="${KESTO_WIN32_DIR}"
    KESTO_WINE_DIR="${KESTO_WINE_DIR}"
    KESTO_WINE="${KESTO_WINE_COMMAND}"
    KESTO_WINE_PREFIX="${KESTO_WINE_PREFIX}")
  add_dependencies(kesto_tests kesto_tools_vericut kesto-tools-vericut)
  foreach(src ${KESTO_TEST_PROGRAMS})
    get_filename_component(name ${src} NAME_WE)
    add_dependencies(kesto_tests ${name})
  endforeach()
  # The sheet and catalogue in headless Chromium, driven over its DevTools
  # pipe by Node.js (tests/browser), checked with axe-core and html-validate,
  # which npm ci installs into the build folder once (tests/browser's lock);
  # the sheet's CSV read back by LibreOffice Calc, headless.
  find_program(KESTO_NODE node)
  find_program(KESTO_SOFFICE NAMES soffice libreoffice)
  if(KESTO_NODE)
    add_test(NAME browser_pages
      COMMAND ${KESTO_NODE} ${PROJECT_SOURCE_DIR}/tests/browser/pages_test.js $<TARGET_FILE:kesto-tools-vericut>
              ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    set_tests_properties(browser_pages PROPERTIES TIMEOUT 300 COST 1000)
    if(KESTO_SOFFICE)
      add_test(NAME csv_libreoffice
        COMMAND ${KESTO_NODE} ${PROJECT_SOURCE_DIR}/tests/browser/csv_test.js $<TARGET_FILE:kesto-tools-vericut>
                ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR} ${KESTO_SOFFICE})
      set_tests_properties(csv_libreoffice PROPERTIES TIMEOUT 120 COST 1000)
    else()
      message(WARNING "soffice was not found: the CSV is not read back by LibreOffice (scripts/install-deps.sh installs libreoffice-calc-nogui)")
    endif()
  else()
    message(WARNING "node was not found: the browser tests of the sheet and catalogue are left out (scripts/install-deps.sh installs it)")
  endif()
  # The tests are registered by ctest from the program's list as it starts
  # (cmake/test_suites.cmake): the long ones (the Windows build under Wine,
  # the installed tree, the ZIP, the docs' walkthroughs, the program's own
  # command lines) one by one and first, the others a suite at a time.
  set(KESTO_LONG_TESTS "CrossBuild*:CrossBuildNames*:ReaderCorpus*:LibraryWriters*:LaunchBothBuilds*:Readme/*:Docs/*:CliTlsfile.*")
  set(KESTO_TEST_ENVIRONMENT "KESTO_WIN32_DIR=${KESTO_WIN32_DIR};KESTO_WINE_DIR=${KESTO_WINE_DIR};KESTO_WINE=${KESTO_WINE_COMMAND}")
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/kesto_tests_include.cmake CONTENT
"set(KESTO_TESTS [==[$<TARGET_FILE:kesto_tests>]==])
set(KESTO_TESTS_DIR [==[${PROJECT_BINARY_DIR}]==])
set(KESTO_TESTS_ENVIRONMENT [==[${KESTO_TEST_ENVIRONMENT}]==])
set(KESTO_LONG_TESTS [==[${KESTO_LONG_TESTS}]==])
include([==[${PROJECT_SOURCE_DIR}/cmake/test_suites.cmake]==])
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${PROJECT_BINARY_DIR}/kesto_tests_include.cmake)
endif()

# The benchmark's programs: the floor of an export and the input generator.
# bench/run.sh builds them in a Release folder; the default build leaves them out.
if(NOT WIN32)
  add_library(kesto_bench_model STATIC EXCLUDE_FROM_ALL bench/bench_model.cpp
    src/tls/cutter_profile.cpp src/tls/holder_outline.cpp)
  kesto_project_target(kesto_bench_model)
  foreach(name bench_floor bench_inputs)
    add_executable(${name} EXCLUDE_FROM_ALL bench/${name}.cpp)
    kesto_project_target(${name})
    target_link_libraries(${name} PRIVATE kesto_bench_model)
  endforeach()
endif()

include(cmake/install.cmake)
