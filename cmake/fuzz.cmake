# libFuzzer targets (KESTO_FUZZ): the readers of what users hand the tools,
# built with clang, AddressSanitizer and UndefinedBehaviorSanitizer, from the
# sources themselves.  A fuzz build holds nothing else.

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "KESTO_FUZZ needs clang's libFuzzer (Debian clang-14, libclang-rt-14-dev): configure "
                      "with -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14")
endif()

set(KESTO_FUZZ_SANITIZERS -fsanitize=fuzzer,address,undefined)

function(kesto_fuzz_target name)
  add_executable(${name} ${ARGN} host/common/cp1251.cpp host/common/library_writer.cpp)
  target_compile_options(${name} PRIVATE ${KESTO_WARNINGS} ${KESTO_FUZZ_SANITIZERS}
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
  target_link_options(${name} PRIVATE ${KESTO_FUZZ_SANITIZERS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_include_directories(${name} SYSTEM PRIVATE ${KESTO_THIRD_PARTY_INCLUDE})
endfunction()

kesto_fuzz_target(fuzz_session_reader tests/fuzz/session_reader_fuzz.cpp host/sim/session.cpp
  host/sim/json_document.cpp)
kesto_fuzz_target(fuzz_profile_reader tests/fuzz/profile_reader_fuzz.cpp host/platform/profile_posix.cpp)
file(GLOB KESTO_FUZZ_TLSFILE CONFIGURE_DEPENDS tools/tlsfile/*.cpp)
include(cmake/web_assets.cmake)
kesto_fuzz_target(fuzz_tls_file tests/fuzz/tls_file_fuzz.cpp ${KESTO_FUZZ_TLSFILE} ${KESTO_WEB_ASSETS})
