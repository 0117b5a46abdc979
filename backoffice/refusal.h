// What the back office answers when it will not do what it was asked: a
// one-line message naming the offending values, and the input it concerns.
// Nothing has been written when a Refusal is raised.
//
// A front end maps kBadInput to exit 2 / HTTP 400, kConflict (the data has
// moved on: bills already closed, a day already cancelled) to exit 2 / HTTP
// 409, and kForbidden (the operator may not) to exit 2 / HTTP 403; `field`
// lets it name its own control or option.
//
// Thread-safety: a value.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tovan::backoffice {

// How a front end may say a message in the operator's language: a key of
// its own catalog and the values the text names, by name.  The message
// itself stays the back office's English line, for the command line and the
// logs; a front end without the key shows that.
struct Wording {
  std::string key;  // empty: no wording, only the English line
  std::vector<std::pair<std::string, std::string>> values;
};

struct Refusal {
  enum class Kind { kBadInput, kConflict, kForbidden };

  Refusal(std::string field_name, std::string text, Kind refusal_kind = Kind::kBadInput)
      : field(std::move(field_name)), message(std::move(text)), kind(refusal_kind) {}

  // The refusal with its wording: throw Refusal(...).Worded("key", {{"name", value}}).
  Refusal&& Worded(std::string key, std::vector<std::pair<std::string, std::string>> values = {}) && {
    wording = Wording{std::move(key), std::move(values)};
    return std::move(*this);
  }

  std::string field;    // the input it concerns, camelCase ("bills", "inCust"); empty: none
  std::string message;  // one line, without the field's name
  Kind kind;
  Wording wording;
  // What the database said lies behind it ("cause: ..."), one line each.
  std::vector<std::string> causes;
};

inline Refusal Conflict(std::string field, std::string message) {
  return Refusal(std::move(field), std::move(message), Refusal::Kind::kConflict);
}
inline Refusal Forbidden(std::string message) {
  return Refusal("user", std::move(message), Refusal::Kind::kForbidden);
}

// A failure the operation itself answered (a check or the component said
// no, after the host's own checks passed): `message` is the component's or
// the host's line, `causes` what the host found in the data, one line each.
struct OperationFailed {
  std::string message;
  std::vector<std::string> causes;
};

// A unit of work whose commit got no answer, and the database could not be
// asked what became of it: the work may stand or not.  A front end says so
// with a code of its own and never as done or failed.
struct OutcomeUnknown {
  std::string message;              // "unknown: check `closed`"
  std::vector<std::string> causes;  // what was lost and why nobody could tell
};

}  // namespace tovan::backoffice
