// Command, Parameters and Parameter: calling a stored procedure, ADO-shaped.
//
// A Command with CommandType adCmdStoredProc calls the procedure named by
// its CommandText with the appended parameters: input values go in, output
// and input/output values and the RETURN_VALUE come back into the
// parameters.  With adCmdText it executes the text like Connection.Execute.
//
// Errors: 3265 for an unknown parameter; 3709 when no connection is set;
// database errors from the call.
//
// Thread-safety: apartment-threaded, one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/typelib.h"
#include "platform/data/ado_constants.h"

namespace tovan::data {

class Connection;
class Recordset;
using automation::Variant;

class Parameter final : public automation::DescribedObject {
 public:
  Parameter(std::string name, int32_t type, int32_t direction, int32_t size, Variant value);
  const std::string& Name() const { return name_; }
  int32_t Type() const { return type_; }
  int32_t Direction() const { return direction_; }
  int32_t Size() const { return size_; }
  const Variant& Value() const { return value_; }
  void SetValue(Variant value) { value_ = std::move(value); }
  bool GetDefaultValue(Variant& out) override {
    out = value_;
    return true;
  }

  static const automation::InterfaceDesc& Describe();

 private:
  std::string name_;
  int32_t type_, direction_, size_;
  Variant value_;
};

class Parameters final : public automation::DescribedObject {
 public:
  Parameters();
  void Append(std::shared_ptr<Parameter> parameter) { items_.push_back(std::move(parameter)); }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // By name (any case) or 0-based position; raises 3265 when absent.
  std::shared_ptr<Parameter> Item(const Variant& name_or_index) const;
  const std::vector<std::shared_ptr<Parameter>>& items() const { return items_; }

  static const automation::InterfaceDesc& Describe();

 private:
  std::vector<std::shared_ptr<Parameter>> items_;
};

class Command final : public automation::DescribedObject {
 public:
  static std::shared_ptr<Command> Create() { return std::make_shared<Command>(); }
  Command();

  void SetActiveConnection(std::shared_ptr<Connection> connection) { connection_ = std::move(connection); }
  void SetCommandText(std::string text) { text_ = std::move(text); }
  void SetCommandType(int32_t type) { type_ = type; }
  const std::shared_ptr<Parameters>& GetParameters() const { return parameters_; }
  std::shared_ptr<Parameter> CreateParameter(std::string name, int32_t type, int32_t direction, int32_t size,
                                             Variant value = Variant());
  // Runs the command; for a stored procedure returns a closed recordset.
  std::shared_ptr<Recordset> Execute(int32_t options = ado::kOptionUnspecified);

  static const automation::InterfaceDesc& Describe();

 private:
  std::shared_ptr<Connection> connection_;
  std::string text_;
  int32_t type_ = ado::kCmdText;
  std::shared_ptr<Parameters> parameters_;
};

}  // namespace tovan::data
