// Figures for the storage file through the driver DLL's value arrays: save and
// load of a 300 x 300 table of mixed values, and what loading two small hostile
// files costs (a million empty two-dimensional arrays; 16 million empty cells).
// Takes the DLLs to measure as arguments, so that two builds compare in one run.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ra03v/value_array.h"
#include "test_host.h"

#include "shipping_dll.h"

namespace {

using ra03v_host::Value;

SIZE_T PrivateBytes() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION region{};
  const char* address = nullptr;
  while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
      .count();
}

void Put(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }

// A storage file around payload (the format's header and CRC, register from 0).
std::string StorageFile(const std::string& payload) {
  uLongf packed = compressBound(static_cast<uLong>(payload.size()));
  std::string file(31 + packed, '\0');
  compress2(reinterpret_cast<Bytef*>(&file[31]), &packed,
            reinterpret_cast<const Bytef*>(payload.data()), static_cast<uLong>(payload.size()), 9);
  file.resize(31 + packed);
  std::memcpy(&file[0], "\tSaFeArRaY\x01", 11);
  uint32_t table[256];
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[n] = c;
  }
  uint32_t crc = 0;
  for (size_t i = 31; i < file.size(); ++i)
    crc = table[(crc ^ static_cast<unsigned char>(file[i])) & 0xFF] ^ (crc >> 8);
  const uint32_t fields[3] = {crc, static_cast<uint32_t>(file.size()),
                              static_cast<uint32_t>(payload.size())};
  std::memcpy(&file[19], fields, 12);
  return file;
}

std::string Header(int32_t x, int32_t y) {
  std::string s;
  for (uint32_t v : {0x200Cu, 2u, 0u, 0u, static_cast<uint32_t>(x - 1), static_cast<uint32_t>(y - 1)})
    Put(s, v);
  return s;
}

std::string EmptyTablesFile(int count) {
  std::string s = Header(1, 1);
  for (uint32_t v : {0x200Cu, 1u, 0u, static_cast<uint32_t>(count - 1)}) Put(s, v);
  for (int i = 0; i < count; ++i)
    for (uint32_t v : {0x200Cu, 2u, 0u, 0u, 0xFFFFFFFFu, 0xFFFFFFFFu}) Put(s, v);
  return StorageFile(s);
}

std::string EmptyCellsFile(int rows, int columns) {
  std::string s = Header(rows, columns);
  s.append(size_t{4} * rows * columns, '\0');
  return StorageFile(s);
}

void WriteFileBytes(const std::wstring& name, const std::string& bytes) {
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

class Bench {
 public:
  explicit Bench(const std::wstring& dll) : driver_(dll) {}

  ISafeArray* NewTable(int rows, int columns) {
    auto block = driver_.Method(L"СоздатьПараметры", {Value::Int(rows), Value::Int(columns)},
                                &task_);
    const Value object = block->At(0);
    ISafeArray* table = nullptr;
    if (object.Type() == VT_DISPATCH)
      V_DISPATCH(&object.Get())->QueryInterface(RA03V_IID_ISafeArray,
                                                reinterpret_cast<void**>(&table));
    return table;
  }

  void SaveAndLoad(const std::wstring& path) {
    ISafeArray* table = NewTable(300, 300);
    for (LONG x = 0; x < 300; ++x)
      for (LONG y = 0; y < 300; ++y) {
        VARIANT v;
        VariantInit(&v);
        switch ((x + y) % 4) {
          case 0: V_VT(&v) = VT_I4; V_I4(&v) = x * 1000 + y; break;
          case 1: V_VT(&v) = VT_R8; V_R8(&v) = x / 7.0 + y; break;
          case 2: V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(L"Ячейка таблицы"); break;
          default: break;
        }
        table->SetValue(x, y, v);
        VariantClear(&v);
      }
    BSTR name = SysAllocString(path.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    double save = 1e9, load = 1e9;
    ISafeArray* loaded = NewTable(0, 0);
    for (int round = 0; round < 3; ++round) {
      auto start = std::chrono::steady_clock::now();
      table->SaveToFile(name, &ok);
      save = std::min(save, Ms(start));
      start = std::chrono::steady_clock::now();
      loaded->LoadFromFile(name, &ok);
      load = std::min(load, Ms(start));
    }
    std::printf("  300x300 mixed table: SaveToFile %.1f ms, LoadFromFile %.1f ms (best of 3)\n",
                save, load);
    SysFreeString(name);
    loaded->Release();
    table->Release();
  }

  void Hostile(const char* what, const std::wstring& path, const std::string& file) {
    WriteFileBytes(path, file);
    ISafeArray* table = NewTable(1, 1);
    BSTR name = SysAllocString(path.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    const SIZE_T before = PrivateBytes();
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = table->LoadFromFile(name, &ok);
    const double ms = Ms(start);
    const SIZE_T after = PrivateBytes();
    std::string outcome = "loaded";
    if (FAILED(hr)) {
      outcome = "refused";
      IErrorInfo* info = nullptr;
      if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR text = nullptr;
        info->GetDescription(&text);
        char narrow[256] = {};
        WideCharToMultiByte(CP_UTF8, 0, text ? text : L"", -1, narrow, sizeof(narrow) - 1,
                            nullptr, nullptr);
        outcome += std::string(": ") + narrow;
        SysFreeString(text);
        info->Release();
      }
    }
    std::printf("  %s (%lu bytes): %.0f ms, %+.1f MiB private with the table alive, %s\n", what,
                static_cast<unsigned long>(file.size()), ms,
                (static_cast<double>(after) - before) / 1048576.0, outcome.c_str());
    SysFreeString(name);
    table->Release();
  }

 private:
  ra03v_host::Driver driver_;
  ra03v_host::Task task_{RA03V_TASK_CLASS_INTERNAL};
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::vector<std::wstring> dlls;
  for (int i = 1; i < argc; ++i) dlls.push_back(argv[i]);
  if (dlls.empty()) dlls.push_back(ra03v::bench::ShippingDllPath());
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"ra03v_storage_bench.dat";
  const std::string tables = EmptyTablesFile(1000000);
  const std::string cells = EmptyCellsFile(4096, 4096);
  for (const std::wstring& dll : dlls) {
    std::printf("%ls\n", dll.c_str());
    {
      Bench bench(dll);
      bench.SaveAndLoad(path);
      bench.Hostile("1,000,000 empty two-dimensional arrays", path, tables);
      bench.Hostile("4096x4096 empty cells", path, cells);
    }
  }
  DeleteFileW(path.c_str());
  CoUninitialize();
  return 0;
}
