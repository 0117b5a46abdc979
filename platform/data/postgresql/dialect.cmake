# The T-SQL dialect of the postgresql backend: its rewriter over the shared
# tokenizer and splitter (../tsql), and the catalog's spelling of names.
# PG_DIALECT_SOURCES are relative to this folder.
set(PG_DIALECT_SOURCES
  name_catalog.cpp
  tsql_dialect.cpp
  tsql_rewriter.cpp
)
