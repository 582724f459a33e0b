# Read by CTest after the discovered GoogleTest cases: every case of the matrix needs the
# results folder cleared first and the report written after it.
if(reliability_tests_TESTS)
    set_tests_properties(${reliability_tests_TESTS} PROPERTIES FIXTURES_REQUIRED reliability)
endif()
# The exploration's cases need the same fixture; each runs some hundreds of jobs.
if(exploration_tests_TESTS)
    set_tests_properties(${exploration_tests_TESTS} PROPERTIES FIXTURES_REQUIRED reliability TIMEOUT 900)
endif()
# The kill test runs twenty partial 256 MiB jobs and checks each; on a busy machine that
# takes minutes.
list(FIND reliability_tests_TESTS "Kill.TwentyRandomMomentsOfALargeJob" kill_test_index)
if(kill_test_index GREATER -1)
    set_tests_properties(Kill.TwentyRandomMomentsOfALargeJob PROPERTIES TIMEOUT 900)
endif()
