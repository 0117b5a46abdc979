#include "closing/search_index.h"

#include "platform/automation/error.h"
#include "platform/data/recordset.h"

namespace tovan::closing {

using automation::CStr;
using automation::Variant;

namespace {
std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// The first row's column `column` of a lookup, or nullopt without a row.
// A NULL name reads as the empty text.
std::optional<std::string> Lookup(data::Connection& connection, const std::string& sql, const char* column) {
  auto rs = connection.Execute(sql);
  if (!rs->IsOpen() || rs->EOF_()) return std::nullopt;
  return CStr(foundation::NullToDefault(rs->Value(column), Variant("")));
}

std::string Segment(const std::string& caption, const std::optional<std::string>& value) {
  return value ? caption + "*:" + *value + " " : caption + "*: ";
}

std::shared_ptr<foundation::Dictionary> Captions(data::Connection& connection, const Variant& class_type, int page) {
  auto rs = connection.Execute("Select FKey,FCaption_CHS from icclasstableinfo where FClassTypeID=" + CStr(class_type) +
                               " and FVisible=-1 and FPage=" + std::to_string(page) + " order by FTabIndex ");
  auto captions = foundation::Dictionary::Create();
  for (; !rs->EOF_(); rs->MoveNext()) captions->SetValue(CStr(rs->Value("FKey")), rs->Value("FCaption_CHS"));
  return captions;
}

std::string Caption(const foundation::Dictionary& captions, std::string_view key) {
  return CStr(foundation::NullToDefault(captions.Value(key), Variant("")));
}

std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

void InsertRow(data::Connection& connection, const std::string& text, const std::string& key) {
  connection.Execute("Insert into t_searchinfo_temp (FSearchText,FKey,FObjectId) values('" + Escaped(text) + "','" +
                     key + "',1)");
}

std::string StockBillTitle(const Variant& class_type, const Variant& bill_type) {
  std::string title;
  if (automation::IsEqual(class_type, Variant(int32_t{1030002}))) title = "[销售单-";
  if (automation::IsEqual(class_type, Variant(int32_t{1050003}))) title = "[核销单-";
  if (automation::IsEqual(bill_type, Variant(int32_t{3001}))) title += "销售发货] ";
  if (automation::IsEqual(bill_type, Variant(int32_t{3002}))) title += "销售退货] ";
  if (automation::IsEqual(bill_type, Variant(int32_t{5024}))) title += "应收转应收] ";
  return title;
}
}  // namespace

std::string SearchIndexKey(const std::string& bill_id, const std::string& class_type, const std::string& bill_type) {
  return "System=yw|BillID=" + bill_id + "|ClassTypeID=" + class_type + "|BillTypeID=" + bill_type + "|";
}

void AddBillSearchIndex(component::ContextBinding& binding, const std::shared_ptr<data::Connection>& connection,
                        foundation::Vector* entries, foundation::Dictionary* header, const std::string& bill_id,
                        const std::string& bill_no) {
  try {
    binding.SetAbort();
    if (header == nullptr || !header->Exists("FClassTypeID")) return;
    if (!connection || entries == nullptr) automation::Raise(automation::vberr::kObjectNotSet);
    const Variant& class_type = header->Value("FClassTypeID");
    const Variant& bill_type = header->Value("FBillTypeID");
    auto header_captions = Captions(*connection, class_type, 1);
    std::string key = SearchIndexKey(bill_id, CStr(class_type), CStr(bill_type));
    std::string text = StockBillTitle(class_type, bill_type) + "单据编号*:" + bill_no + " ";

    for (int32_t p = 1; p <= header_captions->Count(); ++p) {
      const std::string& field = header_captions->Key(p);
      std::string upper = Upper(field);
      if (!header->Exists(field) || upper == "FBILLTYPEID") continue;
      std::string caption = Caption(*header_captions, field);
      std::string value = CStr(header->Value(field));
      if (upper == "FCUSTID" || upper == "FINCUSTID" || upper == "FOUTCUSTID") {
        text += Segment(caption, Lookup(*connection, "select FNumber,FName from t_Organization where FItemId=" + value, "FName"));
      } else if (upper == "FINVOICETYPE") {
        text += Segment(caption, Lookup(*connection, "select FName from t_BaseBillTypeData where FID=" + value, "FName"));
      } else if (upper == "FACCTNO") {
        text += Segment(caption, Lookup(*connection, "select FName from t_SettleAcct where FItemID=" + value, "FName"));
      } else if (upper == "FBILLERID" || upper == "FCHECKERID") {
        continue;
      } else {
        text += caption + "*:" + (value == "0" ? std::string() : value) + " ";
      }
    }

    auto entry_captions = Captions(*connection, class_type, 2);
    for (int32_t e = 1; e <= entries->UpperBound(); ++e) {
      auto entry = entries->Record(e);
      for (int32_t p = 1; p <= entry_captions->Count(); ++p) {
        const std::string& field = entry_captions->Key(p);
        if (!entry->Exists(field)) continue;
        std::string upper = Upper(field);
        std::string caption = Caption(*entry_captions, field);
        std::string value = CStr(entry->Value(field));
        if (upper == "FITEMID") {
          auto item = connection->Execute("Select FNumber,FName,FModel from t_ICItem where FItemID=" + value);
          bool found = item->IsOpen() && !item->EOF_();
          auto column = [&](const char* name) -> std::optional<std::string> {
            if (!found) return std::nullopt;
            return CStr(foundation::NullToDefault(item->Value(name), Variant("")));
          };
          text += Segment(caption, column("FNumber"));
          text += Segment(Caption(*entry_captions, "FBaseProperty3"), column("FName"));
          text += Segment(Caption(*entry_captions, "FBaseProperty4"), column("FModel"));
        } else if (upper == "FUNITID" || upper == "FSECUNITID") {
          text += Segment(caption, Lookup(*connection, "Select FName from t_MeasureUnit where FMeasureUnitID=" + value, "FName"));
        } else if (upper == "FSCSTOCKID") {
          text += Segment(caption, Lookup(*connection, "Select FName from t_Stock where FItemID=" + value, "FName"));
        } else if (upper == "FAUXPROPID") {
          text += Segment(caption, Lookup(*connection, "Select FName from t_AuxItem where FItemID=" + value, "FName"));
        } else if (upper == "FBASEPROPERTY3" || upper == "FBASEPROPERTY4") {
          continue;
        } else {
          text += caption + "*:" + value + " ";
        }
      }
    }
    if (!text.empty()) InsertRow(*connection, text, key);
    binding.SetComplete();
  } catch (const automation::AutomationError&) {
    // The search index is a convenience: a closing never fails because of it.
  }
}

void AddCheckBillSearchIndex(const std::shared_ptr<data::Connection>& connection, foundation::Dictionary* record,
                             const std::string& check_id, const std::string& check_no) {
  try {
    if (record == nullptr) return;
    if (!connection) automation::Raise(automation::vberr::kObjectNotSet);
    std::string key = SearchIndexKey(check_id, "1050003", "5024");
    auto value = [&](const char* name) { return CStr(record->Value(name)); };
    std::string text = "[核销单-应收转应收] 单据编号*:" + check_no + " ";
    text += "日期*:" + value("FDate") + " ";
    text += Segment("转出客户", Lookup(*connection, "Select FName from t_Organization where FItemID=" + value("FOutCustId"), "FName"));
    text += Segment("转入客户", Lookup(*connection, "Select FName from t_Organization where FItemID=" + value("FInCustId"), "FName"));
    text += "摘要*:" + value("FExplanation") + " ";
    text += "源单编号*:" + value("FSouceBillNo") + " ";
    text += "单据日期*:" + value("FBillDate") + " ";
    text += "源单类型*:" + value("FSourceClassTypeDesc") + " ";
    text += "单据金额*:" + value("FBillAmount") + " ";
    text += "已核销金额*:" + value("FBillCheckAmount") + " ";
    text += "未核销金额*:" + value("FBillUnCheckAmount") + " ";
    text += "本次核销金额*:" + value("FBillSettleAmount") + " ";
    text += "备注*: ";
    InsertRow(*connection, text, key);
  } catch (const automation::AutomationError&) {
    // Best effort, as for the stock bill.
  }
}

}  // namespace tovan::closing
