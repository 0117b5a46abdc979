// What turns SQLite's result codes into the data layer's errors and the
// faults it notes (error.cpp).
#pragma once

namespace tovan::data::sqlite {

// Notes what SQLite's result code says of the database itself, if anything.
void NoteFault(int code);

}  // namespace tovan::data::sqlite
