#pragma once
// Base of the library's automation objects: IDispatch served by member name,
// each call run on a parameter block by a registered handler.
#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/win/com_ptr.h"
#include "host/params.h"

namespace ra03v {

class TBaseAutoObject : public IDispatch {
 public:
  // Handlers, getters and setters read arguments with Get on the block, write
  // out-arguments with Set and deliver a result in the out value.
  using Handler = void (TBaseAutoObject::*)(TParams& block, Variant& result);
  static constexpr int kMaxMembers = 100;

  TBaseAutoObject(const TBaseAutoObject&) = delete;
  TBaseAutoObject& operator=(const TBaseAutoObject&) = delete;

  // IUnknown
  HRESULT __stdcall QueryInterface(REFIID iid, void** object) noexcept override;
  ULONG __stdcall AddRef() noexcept override;
  ULONG __stdcall Release() noexcept override;
  // IDispatch
  HRESULT __stdcall GetTypeInfoCount(UINT* count) noexcept override;
  HRESULT __stdcall GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) noexcept override;
  HRESULT __stdcall GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                  DISPID* ids) noexcept override;
  HRESULT __stdcall Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* args,
                           VARIANT* result, EXCEPINFO* error, UINT* argError) noexcept override;

  // The class name shown as the source of errors.
  virtual const char* ClassName() const noexcept { return "TBaseAutoObject"; }
  int MemberCount() const noexcept { return static_cast<int>(members_.size()); }

  // Creates an object of class T and runs its initialisation (member registration).
  template <typename T>
  static ComPtr<T> Make() {
    // COM objects own themselves through their reference count.
    ComPtr<T> object = ComPtr<T>::Attach(new T());
    object->Initialize();
    return object;
  }

 protected:
  TBaseAutoObject() = default;
  virtual ~TBaseAutoObject() = default;

  // Runs the member named in the block.
  virtual void DispatchByName(TParams& block);
  // Called when no member matched; true means the call was handled.
  virtual bool DispatchUnknown(TParams& block);
  // Registers the members; called once from initialisation.
  virtual void RegisterNames() {}
  // Interfaces of descendants beyond IUnknown and IDispatch (no reference added).
  virtual void* FindInterface(REFIID iid) noexcept;
  // The interface whose description GetTypeInfo hands out.
  virtual const IID& TypeInfoInterface() const noexcept { return IID_NULL; }

  void AddMethod(const char* name, int16_t paramCount, Handler handler);
  void AddProperty(const char* name, Handler setter, Handler getter);

 private:
  struct Member {
    std::string name;  // upper-cased, Windows-1251
    int16_t paramCount;
    bool isMethod;
    Handler handler;  // a method's handler or a property's getter
    Handler setter;
  };

  void Initialize();
  void AddMember(Member member);
  void RunInvoke(DISPID id, WORD flags, DISPPARAMS& args, VARIANT* result, EXCEPINFO* error,
                 bool& failed);
  void Run(Handler handler, TParams& block);

  std::atomic<ULONG> references_{1};
  std::vector<std::wstring> dispNames_;  // a name's identifier is its position
  std::vector<Member> members_;
  TParams::Owned callBlock_;
  // Its value list is allocated for the duration of a call only, so an idle
  // object costs no list.
  TParams::Owned workBlock_;
};

// Upper case of the user's locale, as Windows-1251 text.
std::string UpperMemberName(std::wstring_view name);

}  // namespace ra03v
