#include "platform/data/data_error.h"

namespace tovan::data {

void RaiseDatabaseError(const std::string& message) {
  throw automation::AutomationError(kDatabaseError, kErrorSource, message);
}

}  // namespace tovan::data
