#include "closing/date_text.h"

#include "platform/automation/error.h"

namespace tovan::closing {

std::string ShiftedDateText(automation::Date date, double days) {
  return automation::DateToText(
      automation::CDate(automation::Variant(automation::Checked(date.serial + days))));
}

}  // namespace tovan::closing
