#include "closing/entry_amounts.h"

#include "numbering/round_to.h"
#include "platform/automation/error.h"

namespace tovan::closing {

using automation::CDbl;
using automation::Checked;
using automation::Divide;
using automation::Variant;
using numbering::RoundTo;

void ReconcileEntryAmounts(foundation::Dictionary* header, foundation::Vector* entries) {
  try {
    if (header == nullptr || entries == nullptr) automation::Raise(automation::vberr::kObjectNotSet);
    if (header->Count() == 0 || entries->UpperBound() == 0) return;
    int32_t n = entries->UpperBound();
    double sum = 0;
    for (int32_t p = 1; p <= n; ++p) sum = Checked(sum + CDbl(entries->Record(p)->Value("FInTaxAmount")));
    double rounded_sum = RoundTo(sum, 2);
    double total = CDbl(header->Value("FAllAmount"));
    if (total == rounded_sum) return;

    int32_t position = n;
    if (CDbl(entries->Record(n)->Value("FInTaxAmount")) == 0) {
      position = 1;
      for (int32_t p = n - 1; p >= 1; --p) {
        if (CDbl(entries->Record(p)->Value("FInTaxAmount")) > 0) {
          position = p;
          break;
        }
      }
    }
    auto entry = entries->Record(position);
    double in_tax = RoundTo(Checked(CDbl(entry->Value("FInTaxAmount")) + total - rounded_sum), 2);
    entry->SetValue("FInTaxAmount", Variant(in_tax));
    double tax_rate = CDbl(entry->Value("FTaxRate"));
    double amount = tax_rate != 0 ? RoundTo(Divide(in_tax, Checked(1 + Divide(tax_rate, 100))), 2) : in_tax;
    entry->SetValue("FAmount", Variant(amount));
    entry->SetValue("FTaxAmount", Variant(RoundTo(Checked(in_tax - amount), 2)));
    double quantity = CDbl(entry->Value("FQty"));
    double price = quantity != 0 ? Divide(amount, quantity) : amount;
    entry->SetValue("FPrice", Variant(price));
    entry->SetValue("FTaxPrice", Variant(quantity != 0 ? Divide(in_tax, quantity) : in_tax));
    entry->SetValue("FPriceDisCount", Variant(Divide(Checked(price * CDbl(entry->Value("FDiscountRate"))), 100)));
    entry->SetValue("FSecPrice", Variant(Checked(price * CDbl(entry->Value("FSecCoefficient")))));
    entries->Remove(position, 1);
    entries->Add(Variant(entry));
  } catch (const automation::AutomationError&) {
    // The stock bill is saved with whatever the entries hold now.
  }
}

}  // namespace tovan::closing
