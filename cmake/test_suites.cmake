# Read by ctest as it starts (TEST_INCLUDE_FILES): registers the tests of
# kesto_tests from the program's own list.  A long test (the Windows build
# under Wine, the installed tree, the ZIP, the docs' walkthroughs, the
# program's command lines) is a ctest test of its own, with a cost that
# makes ctest -j start it first; the other tests are one ctest test a
# suite, so that the half second a start of the program costs under the
# sanitizers is paid once a suite, not once a test.  A suite's failing test
# is named in its output.
#
# Set before this runs: KESTO_TESTS (the program), KESTO_TESTS_DIR (where
# they run), KESTO_TESTS_ENVIRONMENT and KESTO_LONG_TESTS (the long ones,
# as a --gtest_filter: patterns with '*', joined by ':').
execute_process(COMMAND "${KESTO_TESTS}" --gtest_list_tests
  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE failed)
if(failed)
  # a test that fails, rather than no tests at all
  add_test(kesto_tests_list "${KESTO_TESTS}" --gtest_list_tests)
  return()
endif()

# the filter's patterns as one regular expression
string(REPLACE "." "\\." long_regex "${KESTO_LONG_TESTS}")
string(REPLACE "*" ".*" long_regex "${long_regex}")
string(REPLACE ":" "$|^" long_regex "${long_regex}")
set(long_regex "^${long_regex}$")

string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(skipped "\\[  PASSED  \\] 0 tests\\.\n\\[  SKIPPED \\]")
set(suite "")
set(suites "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE " *#.*" "" line "${line}")
  if(line MATCHES "^([^ ].*)\\.$")
    set(suite "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  (.+)$" AND suite)
    set(test "${suite}.${CMAKE_MATCH_1}")
    if(test MATCHES "${long_regex}")
      add_test("${test}" "${KESTO_TESTS}" "--gtest_filter=${test}")
      set_tests_properties("${test}" PROPERTIES WORKING_DIRECTORY "${KESTO_TESTS_DIR}" COST 1000
        ENVIRONMENT "${KESTO_TESTS_ENVIRONMENT}" SKIP_REGULAR_EXPRESSION "${skipped}")
    else()
      list(FIND suites "${suite}" at)
      if(at EQUAL -1)
        list(APPEND suites "${suite}")
        set("count_${suite}" 0)
      endif()
      math(EXPR "count_${suite}" "${count_${suite}} + 1")
    endif()
  endif()
endforeach()
# The other tests a ctest test a suite; its cost, the count of its tests,
# starts the bigger suites first.
foreach(suite IN LISTS suites)
  add_test("${suite}.*" "${KESTO_TESTS}" "--gtest_filter=${suite}.*-${KESTO_LONG_TESTS}")
  set_tests_properties("${suite}.*" PROPERTIES WORKING_DIRECTORY "${KESTO_TESTS_DIR}" COST ${count_${suite}}
    ENVIRONMENT "${KESTO_TESTS_ENVIRONMENT}" SKIP_REGULAR_EXPRESSION "${skipped}")
endforeach()
