# The T-SQL dialect of the sqlite backend: tokenizer, batch splitter, rewriter.
# DIALECT_SOURCES are relative to DIALECT_DIR (this folder).
set(DIALECT_DIR ${CMAKE_CURRENT_LIST_DIR})
set(DIALECT_SOURCES
  tsql_dates.cpp
  tsql_dialect.cpp
  tsql_rewriter.cpp
  tsql_splitter.cpp
  tsql_tokenizer.cpp
)
