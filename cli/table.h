// Aligned text tables for a terminal: columns padded by their display width
// (a CJK character takes two columns), numbers right-aligned, and amounts
// with two decimals and thousands grouping.
//
// Thread-safety: a value; Print writes to the stream given.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tovan::cli {

// 98185.567 -> "98,185.57"; -0.001 -> "0.00".
std::string Money(double amount);
// How many terminal columns `text` (UTF-8) takes.
size_t DisplayWidth(const std::string& text);
// `text` cut to at most `max_bytes`, never inside a character, "…" marking a cut.
std::string Clip(const std::string& text, size_t max_bytes);

class Table {
 public:
  // A header starting with '>' is right-aligned (the '>' is not shown).
  explicit Table(std::vector<std::string> headers);
  void Add(std::vector<std::string> cells);
  void Print(std::ostream& out) const;
  bool empty() const { return rows_.empty(); }

 private:
  std::vector<std::string> headers_;
  std::vector<bool> right_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace tovan::cli
