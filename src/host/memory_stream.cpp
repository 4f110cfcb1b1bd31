#include "host/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "foundation/error_codes.h"
#include "foundation/text_format.h"
#include "host/file_io.h"

namespace ra03v {

namespace {
constexpr int64_t kMinGrowth = 500000;
constexpr int64_t kMaxCapacity = std::numeric_limits<int32_t>::max();
}  // namespace

void TMyMemoryStream::Grow(int64_t needed) {
  if (needed <= capacity_) return;
  int64_t target = capacity_ + std::max<int64_t>(needed - capacity_, kMinGrowth);
  if (target > kMaxCapacity) target = kMaxCapacity;
  if (needed > target) throw std::bad_alloc();
  if (block_) GlobalUnlock(block_);
  HGLOBAL grown = block_ ? GlobalReAlloc(block_, static_cast<SIZE_T>(target), GMEM_MOVEABLE)
                         : GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(target));
  if (grown) block_ = grown;
  data_ = block_ ? static_cast<unsigned char*>(GlobalLock(block_)) : nullptr;
  if (!grown || !data_) throw std::bad_alloc();
  capacity_ = static_cast<int32_t>(target);
}

void TMyMemoryStream::Write(const void* buffer, int32_t n) {
  if (n <= 0) return;
  const int64_t end = int64_t{position_} + n;
  Grow(end);
  std::memcpy(data_ + position_, buffer, static_cast<size_t>(n));
  position_ = static_cast<int32_t>(end);
  if (position_ > size_) size_ = position_;
}

void TMyMemoryStream::RaiseReadError(int32_t n) const {
  RaiseText(FormatTemplate("Ошибка чтения потока. Pos=%d Size=%d Count=%d",
                           {int64_t{position_}, int64_t{size_}, int64_t{n}}));
}

void TMyMemoryStream::Seek(int32_t p) {
  if (p < 0) return;
  if (p > size_) {
    Grow(p);
    std::memset(data_ + size_, 0, static_cast<size_t>(p - size_));
    size_ = p;
  }
  position_ = p;
}

void TMyMemoryStream::Clear() noexcept {
  if (block_) {
    GlobalUnlock(block_);
    GlobalFree(block_);
  }
  block_ = nullptr;
  data_ = nullptr;
  capacity_ = size_ = position_ = 0;
}

void TMyMemoryStream::SaveToFile(const std::wstring& name) const {
  WriteWholeFile(name, data_, static_cast<size_t>(size_));
}

}  // namespace ra03v
