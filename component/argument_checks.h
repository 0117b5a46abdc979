// Checks of the ids and numbers a host hands in as text.
//
// The protocol writes them into statements as they are (id lists between
// the parentheses of an IN list, ids and amounts between quotes or bare).
// A text that is not an id list cannot name a bill; a member that receives
// one answers as it does when the database refuses its statement, without
// sending anything, so an "id" can never carry a statement of its own.
// Filters and table names are SQL by definition and are not checked here:
// the host vouches for them.
//
// Thread-safety: pure functions.
#pragma once

#include <cctype>
#include <string_view>

#include "platform/automation/variant.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/vector.h"

namespace tovan::component {

// Digits, blanks and commas, a minus sign before a digit ("12,15", "12, 15",
// "-1"); with `quoted`, single quotes too ("'12','15'").  The empty text
// passes: what a member does with an empty list is part of the protocol.
inline bool IsIdListText(std::string_view text, bool quoted = false) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
    bool minus = c == '-' && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1])) != 0;
    if (!digit && !minus && c != ',' && c != ' ' && c != '\t' && !(quoted && c == '\'')) return false;
  }
  return true;
}

// One id: digits, a minus sign before them, blanks around ("12", " -1 ").
inline bool IsIdText(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t"), end = text.find_last_not_of(" \t");
  if (begin == std::string_view::npos) return false;
  text = text.substr(begin, end - begin + 1);
  if (text.front() == '-') text.remove_prefix(1);
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// A decimal number as text, or a number, Empty or Null.
inline bool IsNumberValue(const automation::Variant& value) {
  if (value.type() != automation::VarType::String) return !value.IsObject();
  std::string_view text = value.string();
  int dots = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && ++dots == 1) continue;
    if (c == '-' && i + 1 < text.size() && text[i + 1] != '-') continue;
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != ' ') return false;
  }
  return true;
}

// An id as a record holds it: a number, Empty, Null or an id text.
inline bool IsIdValue(const automation::Variant& value) {
  return value.type() == automation::VarType::String ? IsIdListText(value.string()) : !value.IsObject();
}

// False when a record of `list` holds under `key` a value `valid` refuses.
// Elements that are not records are left to the member's own handling.
template <class Valid>
bool RecordValuesPass(const foundation::Vector* list, std::string_view key, Valid valid) {
  if (list == nullptr) return true;
  for (int32_t p = 1; p <= list->UpperBound(); ++p) {
    auto record = foundation::AsDictionary(list->Item(p));
    if (record && !valid(record->Value(key))) return false;
  }
  return true;
}

// A table name: letters, digits, underscores, and the dots of a qualified name.
inline bool IsTableName(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '#') return false;
  return true;
}

}  // namespace tovan::component
