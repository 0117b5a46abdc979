# Translation cost of the T-SQL dialect against execution on the test fixture.
add_executable(dialect_bench ${CMAKE_CURRENT_LIST_DIR}/dialect_bench.cpp)
target_link_libraries(dialect_bench PRIVATE tovan_platform fmt::fmt SQLite::SQLite3 benchmark::benchmark)
target_compile_definitions(dialect_bench PRIVATE
  DIALECT_FIXTURE="${PROJECT_SOURCE_DIR}/tests/data/dialect/fixture.sql")
