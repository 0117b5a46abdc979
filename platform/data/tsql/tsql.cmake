# The T-SQL text shared by every backend: tokenizer, batch splitter, date literals.
set(TSQL_SOURCES
  dates.cpp
  splitter.cpp
  tokenizer.cpp
)
