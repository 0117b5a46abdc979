# Tests of the reference host database.
set(HOST_DATABASE_TESTS host/database_builder_test.cpp host/statement_plans_test.cpp host/set_runs_test.cpp)
