// The host database's stored procedures, native in the embedded backend
// (a server database has them as functions of its own).
//
// GetICMaxNum(@TableName varchar(50), @FInterID int OUTPUT): reserves the
// next interior ID of a bill table in t_ICMaxNum; never the same twice (the
// reservation is part of the caller's unit of work, so a unit that rolls
// back gives its IDs back, as on a server).
#pragma once

namespace tovan::data {
class Connection;
}

namespace tovan::hostlib {

void RegisterStoredProcedures(data::Connection& connection);

}  // namespace tovan::hostlib
