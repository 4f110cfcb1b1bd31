// Deterministic fuzzing of the storage file reader: valid files are mutated
// (bytes flipped, cut, duplicated) with the header recomputed, so that the
// damage reaches the decoder; every load must succeed or fail with a known message.
#include <gtest/gtest.h>

#include <random>

#include "foundation/text_codec.h"
#include "foundation/win/safe_array.h"
#include "host/class_factory.h"
#include "host/safe_array_object.h"
#include "host/value_storage.h"
#include "storage_support.h"
#include "support/dispatch_caller.h"

namespace ra03v::test {
namespace {

const char* const kKnownMessages[] = {
    "Хранилище повреждено - неверный размер файла",
    "Файл не является хранилищем ISafeArray",
    "Неверная версия хранилища",
    "Хранилище повреждено - неверная контрольная сумма данных",
    "Ошибка распаковки данных",
    "Ошибка чтения потока. ",
    "Неподдерживаемый тип данных.\r\nТип данных=",
};

bool IsKnownMessage(const std::string& text) {
  for (const char* known : kKnownMessages)
    if (text.rfind(known, 0) == 0) return true;
  return false;
}

// Saved images of a few tables that between them use every encoding.
std::vector<std::string> SeedFiles() {
  std::vector<std::string> seeds;
  ComPtr<ISafeArray> table = CreateValueArray();
  table->SetBounds(4, 3);
  table->SetValue(0, 0, Text(L"строка"));
  table->SetValue(0, 1, I4(-7));
  table->SetValue(1, 0, Variant::FromDouble(2.5).Get());
  VARIANT date;
  V_VT(&date) = VT_DATE;
  V_DATE(&date) = 45000.5;
  table->SetValue(1, 1, date);
  VARIANT null;
  V_VT(&null) = VT_NULL;
  table->SetValue(2, 0, null);
  ComPtr<ISafeArray> inner = CreateValueArray();
  inner->SetBounds(2, 2);
  inner->SetValue(1, 1, Text(L"x"));
  VARIANT object;
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = inner.Get();
  table->SetValue(2, 1, object);
  SafeArray numbers = SafeArray::Vector(VT_I4, 0, 5);
  VARIANT numbersValue;
  V_VT(&numbersValue) = VT_ARRAY | VT_I4;
  V_ARRAY(&numbersValue) = numbers.Get();
  table->SetValue(3, 2, numbersValue);
  SafeArray texts = SafeArray::Vector(VT_VARIANT, 1, 2);
  VARIANT textsValue;
  V_VT(&textsValue) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&textsValue) = texts.Get();
  table->SetValue(3, 0, textsValue);
  SAFEARRAY* own = nullptr;
  table->GetPSA(&own);
  VARIANT whole;
  V_VT(&whole) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&whole) = own;
  seeds.push_back(EncodeStorage(whole, 0));

  SAFEARRAYBOUND bounds[2] = {{3, 0}, {4, 0}};
  SafeArray bytes = SafeArray::Attach(SafeArrayCreate(VT_UI1, 2, bounds));
  VARIANT bytesValue;
  V_VT(&bytesValue) = VT_ARRAY | VT_UI1;
  V_ARRAY(&bytesValue) = bytes.Get();
  seeds.push_back(EncodeStorage(bytesValue, 0));
  return seeds;
}

std::string Mutate(std::string bytes, std::mt19937& random) {
  if (bytes.empty()) return bytes;
  auto pick = [&](size_t limit) { return std::uniform_int_distribution<size_t>(0, limit)(random); };
  const int edits = 1 + static_cast<int>(pick(3));
  for (int e = 0; e < edits && !bytes.empty(); ++e) {
    switch (pick(3)) {
      case 0:  // flip bits
        bytes[pick(bytes.size() - 1)] ^= static_cast<char>(1 + pick(254));
        break;
      case 1:  // set a whole word to a large or odd value
      {
        const size_t at = pick(bytes.size() - 1);
        const uint32_t values[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x400Cu, 0x200Cu, 0};
        const uint32_t value = values[pick(5)];
        for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
          bytes[at + i] = static_cast<char>(value >> (8 * i));
        break;
      }
      case 2:  // cut
        bytes.resize(pick(bytes.size() - 1));
        break;
      default: {  // duplicate a range
        const size_t from = pick(bytes.size() - 1);
        const size_t length = pick(std::min<size_t>(64, bytes.size() - from));
        bytes.insert(pick(bytes.size()), bytes.substr(from, length));
      }
    }
  }
  return bytes;
}

TEST(StorageFuzz, EveryMutationLoadsOrFailsWithAKnownMessage) {
  const std::vector<std::string> seeds = SeedFiles();
  std::mt19937 random(20261208);
  int loaded = 0, failed = 0;
  for (int round = 0; round < 4000; ++round) {
    const std::string& seed = seeds[round % seeds.size()];
    std::string image;
    if (round % 4 == 3) {
      // The raw file, with the header recomputed only half of the time.
      image = Mutate(seed, random);
      if (image.size() >= 31 && round % 8 == 3) FixHeader(image);
    } else {
      // The decompressed payload: recompressed so the decoder sees the damage.
      image = MakeStorageFile(Mutate(PlainPayload(seed), random));
    }
    try {
      ComPtr<TSafeArray> table = DecodeStorage(image);
      ASSERT_TRUE(table);
      ++loaded;
    } catch (const std::exception& e) {
      ASSERT_TRUE(IsKnownMessage(e.what())) << "round " << round << ": " << e.what();
      ++failed;
    }
  }
  // Both outcomes occur, so the rounds reach deep into the decoder.
  EXPECT_GT(loaded, 50);
  EXPECT_GT(failed, 50);
}

}  // namespace
}  // namespace ra03v::test
