#pragma once
// The three small pictures of the port list, drawn here rather than loaded.
#include "ui/gdi_handles.h"

namespace ra03v {

// Picture numbers of a port entry; 0 draws no picture.
enum PortPicture : int {
  kPictureNone = 0,
  kPicturePortFree = 1,     // the kind is usable and the port opened
  kPicturePortBusy = 2,     // the kind is usable but the port did not open
  kPictureKindUnusable = 3  // the device does not use this kind of port
};

inline constexpr int kPortPictureSize = 16;

// An image list with the three pictures in number order (picture n is image n - 1).
ImageList CreatePortPictures();

}  // namespace ra03v
