// Packaging query rows into records.
//
// A packaged record holds one key per column, named as the database reports
// it, and every value as text: NULL becomes the empty text, numbers their
// plain decimal text (at most 15 significant digits), bit columns "True" or
// "False", and text loses its leading and trailing blanks.
//
// Errors: both raise what reading the recordset raises; the component's
// classes decide whether a failure is swallowed or passed on.
//
// Thread-safety: works on the caller's objects only.
#pragma once

#include <memory>

#include "platform/data/recordset.h"
#include "platform/foundation/vector.h"

namespace tovan::records {

// The current row as a record; null when the recordset is at its end.  The
// cursor does not move.
std::shared_ptr<foundation::Dictionary> PackageRow(data::Recordset& rs);

// The rows from the current one to the end, one record each (an empty list
// when already at the end); leaves the recordset at its end.
std::shared_ptr<foundation::Vector> PackageRows(data::Recordset& rs);

// The packaged text of one value: trimmed text of NullToDefault(value, "").
std::string PackagedText(const automation::Variant& value);

}  // namespace tovan::records
