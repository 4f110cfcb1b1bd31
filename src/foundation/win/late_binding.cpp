#include "foundation/win/late_binding.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/text_codec.h"
#include "foundation/win/bstr.h"

namespace ra03v {

Variant InvokeByName(IDispatch* object, const wchar_t* name, WORD kind,
                     std::initializer_list<const VARIANT*> args) {
  if (!object) throw std::invalid_argument("automation object not assigned");
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  CheckHResult(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
               ("GetIDsOfNames " + WideTo1251(name)).c_str());

  // Automation wants the arguments last to first.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto it = std::rbegin(args); it != std::rend(args); ++it) reversed.push_back(**it);

  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  DISPID putId = DISPID_PROPERTYPUT;
  if (kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }

  Variant result;
  EXCEPINFO exception{};
  UINT badArg = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result.Put(),
                                    &exception, &badArg);
  Bstr description = Bstr::Attach(exception.bstrDescription);
  Bstr source = Bstr::Attach(exception.bstrSource);
  Bstr help = Bstr::Attach(exception.bstrHelpFile);
  if (hr == DISP_E_EXCEPTION && description.Length() != 0)
    throw std::runtime_error(description.To1251());
  CheckHResult(hr, ("Invoke " + WideTo1251(name)).c_str());
  return result;
}

}  // namespace ra03v
