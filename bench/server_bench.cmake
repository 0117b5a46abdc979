# The closing on a PostgreSQL server against a raw libpq baseline.
add_executable(server_bench ${CMAKE_CURRENT_LIST_DIR}/server_bench.cpp)
target_link_libraries(server_bench PRIVATE tovan_platform fmt::fmt PkgConfig::LIBPQ
                      benchmark::benchmark)
