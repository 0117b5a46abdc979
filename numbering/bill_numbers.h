// Bill numbers and interior IDs of the bills a closing writes.
//
//   NewDailyBillNo     "RJ" + today's yyyymmdd + a sequence of at least six
//                      digits, one above today's highest (000001 when none)
//   NewBillNo          a number from the host's bill-code rule, by class type
//   GetNewBillNo       the same through the host's ObjectFactory, by type text
//   GetMaxBillInterID  the next interior ID of a table, from GetICMaxNum
//
// Failures: NewDailyBillNo never fails (any failure gives sequence 000001);
// NewBillNo and GetNewBillNo answer the empty text; GetMaxBillInterID raises
// again with the source "TovanMClass.ModClass.GetMaxBillInterID".
//
// Thread-safety: use the calling thread's host context.
#pragma once

#include <memory>
#include <string>

#include "platform/automation/variant.h"
#include "platform/data/connection.h"

namespace tovan::numbering {

std::string NewDailyBillNo();
std::string NewBillNo(int32_t bill_type);
std::string GetNewBillNo(const std::string& bill_type);
automation::Variant GetMaxBillInterID(const std::shared_ptr<data::Connection>& connection, const std::string& table);

// The six-or-more-digit form of a sequence number (the "000000" pattern).
std::string ZeroFilledSequence(const automation::Variant& number);

}  // namespace tovan::numbering
