# The T-SQL text shared by every backend: tokenizer, batch splitter, date
# literals, and the rewriter of statement forms each backend's rewriter derives from.
set(TSQL_SOURCES
  dates.cpp
  rewriter.cpp
  set_runs.cpp
  shape_cache.cpp
  splitter.cpp
  tokenizer.cpp
  translation.cpp
)
