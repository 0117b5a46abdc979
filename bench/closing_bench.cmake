# The component's operations at scale against raw-SQLite baselines.
add_executable(closing_bench
  ${CMAKE_CURRENT_LIST_DIR}/closing_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bench_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/raw_baseline.cpp)
target_link_libraries(closing_bench PRIVATE TovanMDailyBalanceClasses TovanMDailyBalance TovanHost tovan_platform fmt::fmt SQLite::SQLite3
                      benchmark::benchmark)
