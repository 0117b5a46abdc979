# The T-SQL dialect of the sqlite backend: its rewriter over the shared
# tokenizer and splitter (../tsql). DIALECT_SOURCES are relative to this folder.
set(DIALECT_DIR ${CMAKE_CURRENT_LIST_DIR})
set(DIALECT_SOURCES
  tsql_dialect.cpp
  tsql_rewriter.cpp
)
