#pragma once
// The parameters of one equipment model, as the catalog lists them.
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/base_list.h"

namespace ra03v {

class TParameterItem : public TBaseItem {
 public:
  using TBaseItem::TBaseItem;

  // A parameter has no children of its own.
  void LoadChildren() override {}

  int32_t ParamReadOnly() const noexcept { return FParamReadOnly; }
  const std::string& ParamType() const noexcept { return FParamType; }
  const std::string& ParamHint() const noexcept { return FParamHint; }  // description
  const std::string& ParamName() const noexcept { return FParamName; }  // identifier
  const std::string& ParamDefault() const noexcept { return FParamDefault; }
  const std::string& ParamDescription() const noexcept {
    return FParamDescription;
  }  // display name
  const std::string& ParamValue() const noexcept { return FParamValue; }

  // Each setter marks the parameter modified when the value differs.
  void SetParamReadOnly(int32_t value) { Change(FParamReadOnly, value); }
  void SetParamType(std::string_view value) { Change(FParamType, value); }
  void SetParamHint(std::string_view value) { Change(FParamHint, value); }
  void SetParamName(std::string_view value) { Change(FParamName, value); }
  void SetParamDefault(std::string_view value) { Change(FParamDefault, value); }
  void SetParamDescription(std::string_view value) { Change(FParamDescription, value); }
  void SetParamValue(std::string_view value) { Change(FParamValue, value); }

 private:
  int32_t FParamReadOnly = 0;
  std::string FParamType;
  std::string FParamHint;
  std::string FParamName;
  std::string FParamDefault;
  std::string FParamDescription;
  std::string FParamValue;
};

class TParameterList : public TBaseList {
 public:
  TParameterItem& Param(int index) const { return static_cast<TParameterItem&>(Item(index)); }
  // A new parameter at index (clamped to 0..Count).
  TParameterItem& Insert(int index);
  TParameterItem& Add() { return Insert(Count()); }
  // First parameter whose identifier equals identifier ignoring case; null when none.
  TParameterItem* FindByName(std::string_view identifier) const;
};

}  // namespace ra03v
