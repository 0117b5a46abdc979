// Canonical text of date literals.
//
// The embedded database keeps dates as text, 'yyyy-mm-dd' at midnight and
// 'yyyy-mm-dd hh:mm:ss' otherwise, so that text comparison orders them.  A
// literal written another way ('2024/3/1', '2024-03-01 00:00:00') must be
// brought into that form before it is compared with a stored date; a server
// backend uses the same form to tell a date literal from other text.
#pragma once

#include <string>
#include <string_view>

namespace tovan::data::tsql {

// When `body` (a string literal without its quotes) is a valid date, with or
// without a time of day, writes its canonical text to `out` and returns true.
// Separators '-', '/' or '.'; time h:mm[:ss[.000]] after a blank or 'T'.
// Fractions of a second other than zero are not representable: no match.
bool CanonicalDateText(std::string_view body, std::string& out);

}  // namespace tovan::data::tsql
