#pragma once
// Move-only owner of one Win32 handle; Traits names the invalid value and the closer.
#include <windows.h>

#include <utility>

namespace ra03v {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept = default;
  // Takes ownership of h.
  explicit UniqueHandle(Type h) noexcept : handle_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  // Reads without giving up ownership.
  Type Get() const noexcept { return handle_; }
  bool IsValid() const noexcept { return handle_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return IsValid(); }

  // Closes the held handle (keeping GetLastError) and takes ownership of h.
  void Reset(Type h = Traits::Invalid()) noexcept {
    if (handle_ != Traits::Invalid()) {
      const DWORD saved = GetLastError();
      Traits::Close(handle_);
      SetLastError(saved);
    }
    handle_ = h;
  }
  // Gives ownership away to the caller.
  [[nodiscard]] Type Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
  // Closes the held handle and returns the slot for an out-parameter.
  Type* Put() noexcept {
    Reset();
    return &handle_;
  }

 private:
  Type handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { CloseHandle(h); }
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { CloseHandle(h); }
};

struct ModuleHandleTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { FreeLibrary(h); }
};

struct WindowHandleTraits {
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DestroyWindow(h); }
};

// Handles whose invalid value is null: threads, events, mutexes.
using Handle = UniqueHandle<KernelHandleTraits>;
// Handles from CreateFile, whose invalid value is INVALID_HANDLE_VALUE.
using FileHandle = UniqueHandle<FileHandleTraits>;
// A module loaded by LoadLibrary.
using Module = UniqueHandle<ModuleHandleTraits>;
// A window this code created.
using Window = UniqueHandle<WindowHandleTraits>;

}  // namespace ra03v
