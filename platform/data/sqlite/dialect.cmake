set(DIALECT_SOURCES tsql_dates.cpp tsql_dialect.cpp tsql_rewriter.cpp tsql_splitter.cpp tsql_tokenizer.cpp)
