// Figures for the value array object: save and load of a 300 x 300 table of
// mixed values next to zlib's own compress2 (level 9) and uncompress of the
// same serialised bytes, and the memory that 1,000 live objects take.
#include <windows.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/win/bstr.h"
#include "host/class_factory.h"
#include "host/memory_stream.h"
#include "host/value_encoding.h"

#include "bench_timing.h"

namespace {

using ra03v::bench::BestMs;

using ra03v::Bstr;
using ra03v::ComPtr;
using ra03v::Variant;

ComPtr<ISafeArray> MixedTable(int size) {
  ComPtr<ISafeArray> table = ra03v::CreateValueArray();
  table->SetBounds(size, size);
  for (int x = 0; x < size; ++x)
    for (int y = 0; y < size; ++y) {
      Variant value;
      switch ((x + y) % 5) {
        case 0:
          value = Variant::FromInt(x * 1000 + y);
          break;
        case 1:
          value = Variant::FromDouble(x / 7.0 + y);
          break;
        case 2:
          value = Variant::FromText(L"Ячейка " + std::to_wstring(x) + L":" + std::to_wstring(y));
          break;
        case 3: {
          VARIANT date;
          V_VT(&date) = VT_DATE;
          V_DATE(&date) = 45000.0 + x + y / 1440.0;
          value.Reset(date);
          break;
        }
        default:
          break;  // empty
      }
      table->SetValue(x, y, value.Get());
    }
  return table;
}

// Committed private memory of the process, summed over its address space
// (Wine does not fill the private usage counter).
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

void SaveAndLoad() {
  const int size = 300;
  ComPtr<ISafeArray> table = MixedTable(size);
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  Bstr path = Bstr::Copy(std::wstring(folder) + L"ra03v_bench_table.dat");

  // The serialised bytes, as the library compresses them.
  SAFEARRAY* own = nullptr;
  table->GetPSA(&own);
  VARIANT whole;
  V_VT(&whole) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&whole) = own;
  ra03v::TMyMemoryStream stream;
  ra03v::WriteValue(stream, whole);
  const uLong plain = static_cast<uLong>(stream.Size());
  std::vector<Bytef> packed(compressBound(plain));
  uLongf packedSize = 0;
  std::vector<Bytef> unpacked(plain);

  const int rounds = 5;
  VARIANT_BOOL ok = VARIANT_FALSE;
  const double save = BestMs(rounds, [&] { table->SaveToFile(path.Get(), &ok); });
  ComPtr<ISafeArray> loaded = ra03v::CreateValueArray();
  const double load = BestMs(rounds, [&] { loaded->LoadFromFile(path.Get(), &ok); });
  const double compress = BestMs(rounds, [&] {
    packedSize = static_cast<uLongf>(packed.size());
    compress2(packed.data(), &packedSize, stream.Memory(), plain, 9);
  });
  const double uncompressMs = BestMs(rounds, [&] {
    uLongf size = plain;
    uncompress(unpacked.data(), &size, packed.data(), packedSize);
  });
  // Where the load's time goes: decoding the values, and freeing the table replaced.
  double decode = 0, release = 0;
  {
    std::vector<Variant> decoded(rounds);
    decode = BestMs(1,
                    [&] {
                      for (auto& v : decoded) {
                        stream.Seek(0);
                        v = ra03v::ReadValue(stream);
                      }
                    }) /
             rounds;
    release = BestMs(1, [&] { decoded.clear(); }) / rounds;
  }
  LONG x = 0, y = 0;
  loaded->GetBounds(&x, &y);
  DeleteFileW(path.Get());

  std::printf("table %dx%d mixed values: %lu bytes serialised, %lu compressed (loaded %ldx%ld)\n",
              size, size, static_cast<unsigned long>(plain), static_cast<unsigned long>(packedSize),
              static_cast<long>(x), static_cast<long>(y));
  std::printf("  SaveToFile       %8.2f ms   zlib compress2(9) %8.2f ms   library adds %+6.1f%%\n",
              save, compress, (save - compress) / compress * 100.0);
  std::printf("  LoadFromFile     %8.2f ms   zlib uncompress   %8.2f ms   library adds %+6.1f%%\n",
              load, uncompressMs, (load - uncompressMs) / uncompressMs * 100.0);
  std::printf("    of which decoding the values %.2f ms, freeing the replaced table %.2f ms\n",
              decode, release);
  std::printf("  save + load      %8.2f ms   zlib both         %8.2f ms   library adds %+6.1f%%\n",
              save + load, compress + uncompressMs,
              (save + load - compress - uncompressMs) / (compress + uncompressMs) * 100.0);
}

void LiveObjects() {
  const int count = 1000;
  // Warm up the one-time parts (factory registration, heaps) first.
  ComPtr<ISafeArray> first = ra03v::CreateValueArray();
  const SIZE_T before = PrivateBytes();
  std::vector<ComPtr<ISafeArray>> objects;
  objects.reserve(count);
  for (int i = 0; i < count; ++i) objects.push_back(ra03v::CreateValueArray());
  const SIZE_T created = PrivateBytes();
  // One call by name on each: the working list exists only during the call.
  DISPID id = 0;
  LPOLESTR name[1] = {const_cast<LPOLESTR>(L"Empty")};
  for (auto& object : objects) {
    object->GetIDsOfNames(IID_NULL, name, 1, 0, &id);
    DISPPARAMS none{};
    VARIANT result;
    object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
  }
  const SIZE_T called = PrivateBytes();
  std::printf(
      "%d live empty value array objects: %+.2f MiB private after creation, "
      "%+.2f MiB after one call each (%.0f bytes per object)\n",
      count, (static_cast<double>(created) - before) / 1048576.0,
      (static_cast<double>(called) - before) / 1048576.0,
      (static_cast<double>(called) - before) / count);
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  SaveAndLoad();
  LiveObjects();
  CoUninitialize();
  return 0;
}
