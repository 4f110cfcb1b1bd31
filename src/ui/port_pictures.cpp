#include "ui/port_pictures.h"

#include "foundation/win/win_error.h"

namespace ra03v {
namespace {

// Pixels of this colour are transparent in the image list.
constexpr COLORREF kMaskColour = RGB(255, 0, 255);

GdiObject Brush(COLORREF colour) { return GdiObject(CreateSolidBrush(colour)); }
GdiObject Pen(COLORREF colour, int width) { return GdiObject(CreatePen(PS_SOLID, width, colour)); }

// A round lamp with a dark rim: green for a free port, amber for a busy one.
void DrawLamp(HDC dc, COLORREF fill, COLORREF rim) {
  GdiObject brush = Brush(fill);
  GdiObject pen = Pen(rim, 1);
  SelectedObject selectBrush(dc, brush.Get());
  SelectedObject selectPen(dc, pen.Get());
  Ellipse(dc, 2, 2, 14, 14);
}

// A grey ring with a bar through it: the device has no use for this kind of port.
void DrawUnusable(HDC dc) {
  GdiObject pen = Pen(RGB(128, 128, 128), 2);
  SelectedObject selectPen(dc, pen.Get());
  SelectedObject selectBrush(dc, GetStockObject(NULL_BRUSH));
  Ellipse(dc, 2, 2, 14, 14);
  MoveToEx(dc, 4, 12, nullptr);
  LineTo(dc, 12, 4);
}

}  // namespace

ImageList CreatePortPictures() {
  ImageList list(
      ImageList_Create(kPortPictureSize, kPortPictureSize, ILC_COLOR24 | ILC_MASK, 3, 0));
  if (!list) ThrowLastError("ImageList_Create");
  HDC screen = GetDC(nullptr);
  GdiObject bitmap(CreateCompatibleBitmap(screen, kPortPictureSize * 3, kPortPictureSize));
  MemoryDc dc(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  if (!bitmap || !dc) ThrowLastError("CreateCompatibleBitmap");
  {
    SelectedObject selectBitmap(dc.Get(), bitmap.Get());
    const RECT all{0, 0, kPortPictureSize * 3, kPortPictureSize};
    GdiObject mask = Brush(kMaskColour);
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(mask.Get()));
    DrawLamp(dc.Get(), RGB(40, 180, 60), RGB(0, 90, 20));
    SetViewportOrgEx(dc.Get(), kPortPictureSize, 0, nullptr);
    DrawLamp(dc.Get(), RGB(240, 170, 20), RGB(140, 80, 0));
    SetViewportOrgEx(dc.Get(), kPortPictureSize * 2, 0, nullptr);
    DrawUnusable(dc.Get());
    SetViewportOrgEx(dc.Get(), 0, 0, nullptr);
  }
  // The bitmap must not be selected into a device context while it is added.
  if (ImageList_AddMasked(list.Get(), static_cast<HBITMAP>(bitmap.Get()), kMaskColour) < 0)
    ThrowLastError("ImageList_AddMasked");
  return list;
}

}  // namespace ra03v
