// What turns libpq's and the server's errors into the data layer's errors
// and the faults it notes (error.cpp).
#pragma once

#include <string>
#include <string_view>

namespace tovan::data::postgresql {

// libpq's messages run over several lines ("connection ... failed:\nFATAL: ...").
std::string OneLine(std::string message);
// A connection that could not be made: a server on its way down says so.
void NoteConnectFault(std::string_view message);

}  // namespace tovan::data::postgresql
