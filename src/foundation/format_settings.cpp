#include "foundation/format_settings.h"

namespace ra03v {

namespace {
FormatSettings g_formats;  // set at load, read-only afterwards
}

void SetStandardFormats() {
  g_formats.decimalSeparator = ',';
  g_formats.dateSeparator = '.';
  g_formats.shortDateFormat = "dd.MM.yyyy";
  g_formats.timeSeparator = ':';
  g_formats.shortTimeFormat = "hh:mm";
  g_formats.longTimeFormat = "hh:mm:ss";
}

const FormatSettings& Formats() noexcept { return g_formats; }

}  // namespace ra03v
