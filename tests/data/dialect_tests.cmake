# The dialect's tests: the record files under dialect/ run through the data
# layer on each engine, and the tokenizer and splitter edges.
include(GoogleTest)

add_executable(dialect_tests
  ${CMAKE_CURRENT_LIST_DIR}/dialect_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsql_dialect_test.cpp
)
target_link_libraries(dialect_tests PRIVATE TovanHost tovan_platform fmt::fmt GTest::gtest GTest::gtest_main)
target_compile_definitions(dialect_tests PRIVATE DIALECT_TEST_DIR="${CMAKE_CURRENT_LIST_DIR}/dialect")
gtest_discover_tests(dialect_tests DISCOVERY_TIMEOUT 60)
gtest_discover_tests(dialect_tests DISCOVERY_TIMEOUT 60 TEST_PREFIX "pg."
                     PROPERTIES ENVIRONMENT "DAILYBALANCE_TEST_BACKEND=postgresql")
