#include "cli/count_table.h"

#include <iostream>

#include "cli/table.h"
#include "platform/automation/variant.h"

namespace tovan::cli {

void PrintCount(const backoffice::CashCount& count) {
  Table table({"Cash count 点钞", ">Expected", ">Counted", ">Difference", "Notes and coins"});
  double expected = 0, counted = 0;
  for (const auto& line : count.lines) {
    std::string pieces;
    for (const auto& p : line.pieces)
      pieces += (pieces.empty() ? "" : " + ") + automation::NumberToText(p.denomination) + "×" + std::to_string(p.pieces);
    table.Add({line.method, Money(line.expected), Money(line.counted), Money(line.difference), pieces});
    expected += line.expected;
    counted += line.counted;
  }
  table.Add({"total", Money(expected), Money(counted), Money(counted - expected), ""});
  table.Print(std::cout);
  std::cout << "Counted by   " << (count.counted_by_name.empty() ? std::to_string(count.counted_by) : count.counted_by_name)
            << ", tolerance " << Money(count.max_difference) << "\n";
  if (count.signed_off_by != 0) std::cout << "Signed off   " << count.signed_off_by_name << "\n";
  if (!count.note.empty()) std::cout << "Note         " << count.note << "\n";
}

}  // namespace tovan::cli
