#include "cli/table.h"

#include <fmt/format.h>

#include <cmath>

namespace tovan::cli {

std::string Money(double amount) {
  double cents = std::round(amount * 100);
  if (cents == 0) cents = 0;  // no "-0.00"
  std::string digits = fmt::format("{:.0f}", std::fabs(cents));
  while (digits.size() < 3) digits.insert(0, "0");
  std::string whole = digits.substr(0, digits.size() - 2);
  std::string grouped;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
    grouped += whole[i];
  }
  return (cents < 0 ? "-" : "") + grouped + "." + digits.substr(digits.size() - 2);
}

size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t code = c < 0x80 ? c : c < 0xE0 ? c & 0x1F : c < 0xF0 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < length && i + k < text.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    // East Asian wide and full-width ranges: CJK, Hangul, full-width forms.
    bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

std::string Clip(const std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + "…";
}

Table::Table(std::vector<std::string> headers) {
  for (std::string& h : headers) {
    right_.push_back(!h.empty() && h[0] == '>');
    headers_.push_back(right_.back() ? h.substr(1) : h);
  }
}

void Table::Add(std::vector<std::string> cells) {
  cells.resize(headers_.size());
  rows_.push_back(std::move(cells));
}

void Table::Print(std::ostream& out) const {
  std::vector<size_t> widths;
  for (const std::string& h : headers_) widths.push_back(DisplayWidth(h));
  for (const auto& row : rows_)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (size_t c = 0; c < cells.size(); ++c) {
      std::string pad(widths[c] - DisplayWidth(cells[c]), ' ');
      bool last = c + 1 == cells.size();
      text += right_[c] ? pad + cells[c] : cells[c] + (last ? "" : pad);
      if (!last) text += "  ";
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << "\n";
  };
  line(headers_);
  for (const auto& row : rows_) line(row);
}

}  // namespace tovan::cli
