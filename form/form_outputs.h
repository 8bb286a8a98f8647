// The form as a picture (a black-and-white BMP) and as a printed page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "form/mono_bmp.h"

class QPaintDevice;

namespace form {

// The picture: 100 c by 70 h of the 10-point font, white, with the grid and the text.
MonoPicture RenderFormPicture(std::string_view text);

// Writes the picture as a BMP file over `path`; false when the file cannot be written.
bool SaveFormPicture(const std::string& path, std::string_view text);

// One printed page on `device` (a printer or a PDF writer that is not yet painted on): the
// 9-point font for that device, the grid and the text in 100 c by 100 h, no fill. False when
// the device cannot be painted on.
bool PrintFormPage(QPaintDevice& device, std::string_view text);

// The printed page as a one-page PDF document titled "QRX"; empty when it cannot be drawn.
std::vector<std::uint8_t> RenderFormPdf(std::string_view text);
// That document written over `path` as the picture is; false when it cannot be written, and
// a file already there is then left as it was.
bool PrintFormPdf(const std::string& path, std::string_view text);

inline constexpr const char* kPrintDocumentName = "QRX";

}  // namespace form
