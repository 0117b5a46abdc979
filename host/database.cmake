# The reference host database: schema, master data and demo bills.
set(HOST_DATABASE_SOURCES database_builder.cpp schema.cpp schema_postgresql.cpp master_data.cpp demo_generator.cpp)
