#pragma once
// The equipment model catalog: the models of an equipment catalog document
// that pass the attribute filters, each with its parameters.
#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "devices/base_list.h"
#include "devices/parameter_list.h"

namespace ra03v {

class XmlNode;
class TModelList;

class TModelItem : public TBaseItem {
 public:
  // Comes with an empty parameter list owned by the model list and sharing
  // its document and notification.
  explicit TModelItem(TModelList* list);

  // Reads the parameters again from the list's document.
  void LoadChildren() override;
  // Reload by marks: parameters still listed keep their place, new ones are
  // inserted at their catalog position, the others are removed.
  void LoadParameters(const XmlNode& modelNode);

  TParameterList& Parameters() const { return static_cast<TParameterList&>(*Children()); }

  int32_t NeedMorv() const noexcept { return FNeedMorv; }
  const std::string& Identif() const noexcept { return FIdentif; }
  const std::string& ClassIdentif() const noexcept { return FClassIdentif; }
  const std::string& FileName() const noexcept { return FFileName; }
  const std::string& Description() const noexcept { return FDescription; }  // the model's name
  const std::string& FilePLUVersion() const noexcept { return FFilePLUVersion; }
  int32_t Release() const noexcept { return FRelease; }
  const GUID& Code() const noexcept { return FCode; }

  // Each setter marks the model modified when the value differs.
  void SetNeedMorv(int32_t value) { Change(FNeedMorv, value); }
  void SetIdentif(std::string_view value) { Change(FIdentif, value); }
  void SetClassIdentif(std::string_view value) { Change(FClassIdentif, value); }
  void SetFileName(std::string_view value) { Change(FFileName, value); }
  void SetDescription(std::string_view value) { Change(FDescription, value); }
  void SetFilePLUVersion(std::string_view value) { Change(FFilePLUVersion, value); }
  void SetRelease(int32_t value) { Change(FRelease, value); }
  void SetCode(const GUID& value);

  // Position of the model's element among all models of the document: how a
  // reload finds its element again without keeping a COM node.
  int SourceIndex() const noexcept { return sourceIndex_; }
  void SetSourceIndex(int index) noexcept { sourceIndex_ = index; }

 private:
  int32_t FNeedMorv = 0;
  std::string FIdentif;
  std::string FClassIdentif;
  std::string FFileName;
  std::string FDescription;
  std::string FFilePLUVersion;
  int32_t FRelease = 0;
  GUID FCode{};
  int sourceIndex_ = -1;
};

class TModelList : public TBaseList {
 public:
  // Parses the source document again and loads it.
  void Load() override;
  // Appends every model element of document that passes the filters. A "Код"
  // that is not an identifier throws; the models appended before it stay.
  void LoadFrom(const XmlNode& document);

  TModelItem& Model(int index) const { return static_cast<TModelItem&>(Item(index)); }
  TModelItem& Add();
  // First model with that code (all 16 bytes); with AnyState() clear, models
  // in state 1 are skipped. Null when none.
  TModelItem* FindByCode(const GUID& code);

 private:
  bool Accepts(const XmlNode& model) const;
};

// The path of the model elements in a catalog document.
inline constexpr std::string_view kModelQuery = "//КлассыОборудования/КлассОборудования/Модель";

// Builds a catalog from a document given as text (parsed as it is, without the
// spelling conversion) or as an MSXML object. Each text argument that is
// neither empty nor "*" filters on "Код", "Идентификатор", "Библиотека",
// "ИдентификаторКлассаОборудования", "Наименование" or "Состояние". Text that
// does not parse, or a value of another kind, gives an empty catalog.
std::unique_ptr<TModelList> CreateModelList(const VARIANT& document, std::string_view code,
                                            std::string_view identifier, std::string_view library,
                                            std::string_view classIdentifier, std::string_view name,
                                            std::string_view state);

// The catalog a device list keeps: models of this library's file (compared
// ignoring case) in state "0".
std::unique_ptr<TModelList> CreateLibraryCatalog(const VARIANT& document);

}  // namespace ra03v
