#include <stdexcept>

#include "test_host.h"

namespace ra03v_host {

Driver::Driver(const std::wstring& path) {
  module_ = LoadLibraryW(path.c_str());
  if (!module_) {
    loadError_ = GetLastError();
    throw std::runtime_error("cannot load the driver DLL");
  }
  query_ = reinterpret_cast<RA03V_QUERY>(reinterpret_cast<void*>(GetProcAddress(module_, "Query")));
  if (!query_) {
    loadError_ = GetLastError();
    Unload();
    throw std::runtime_error("the DLL has no Query export");
  }
  entry_ = RA03V_EntryFromQuery(query_, query_());
}

Driver::~Driver() { Unload(); }

void Driver::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  query_ = nullptr;
  entry_ = nullptr;
}

bool Driver::Call(Block& block, Task* task) {
  return entry_(block.Get(), task ? task->Get() : nullptr) != 0;
}

std::unique_ptr<Block> Driver::Run(const std::wstring& name, int kind,
                                   const std::vector<Value>& args, Task* task, bool* result) {
  auto block = std::make_unique<Block>();
  block->SetName("call");
  block->Add(Value().Get());
  block->Add(Value::Text(name).Get());
  block->Add(Value::Int(kind).Get());
  for (const Value& arg : args) block->Add(arg.Get());
  const bool r = Call(*block, task);
  if (result) *result = r;
  return block;
}

std::unique_ptr<Block> Driver::Method(const std::wstring& name, const std::vector<Value>& args,
                                      Task* task, bool* result) {
  return Run(name, RA03V_KIND_METHOD, args, task, result);
}

std::unique_ptr<Block> Driver::GetProperty(const std::wstring& name, Task* task) {
  return Run(name, RA03V_KIND_GET, {}, task, nullptr);
}

std::unique_ptr<Block> Driver::SetProperty(const std::wstring& name, const Value& value,
                                           Task* task) {
  return Run(name, RA03V_KIND_SET, {value}, task, nullptr);
}

std::unique_ptr<Block> Driver::Control(const std::string& command, IDispatch* sink) {
  auto block = std::make_unique<Block>();
  block->SetName(command);
  block->Get()->EventSink = sink;
  Call(*block, nullptr);
  block->Get()->EventSink = nullptr;  // the driver keeps its own reference
  return block;
}

}  // namespace ra03v_host
