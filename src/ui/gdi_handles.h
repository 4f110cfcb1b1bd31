#pragma once
// Owners of the GDI and common-control objects the dialog creates.
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include "foundation/win/unique_handle.h"

namespace ra03v {

struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DeleteObject(h); }
};

struct MemoryDcTraits {
  using Type = HDC;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { DeleteDC(h); }
};

struct ImageListTraits {
  using Type = HIMAGELIST;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept { ImageList_Destroy(h); }
};

// A pen, brush or bitmap this code created.
using GdiObject = UniqueHandle<GdiObjectTraits>;
// A device context from CreateCompatibleDC.
using MemoryDc = UniqueHandle<MemoryDcTraits>;
using ImageList = UniqueHandle<ImageListTraits>;

// Selects an object into a device context and puts the previous one back.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() { SelectObject(dc_, old_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace ra03v
