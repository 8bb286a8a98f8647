// The form's drawing as a library loaded by name (libformdraw.so): writer-cli loads it only when
// a picture or a page is asked for, so its other commands start without Qt Gui, fonts or X11.
#pragma once

#include <cstddef>

namespace form {

inline constexpr const char* kDrawLibrary = "libformdraw.so";
inline constexpr const char* kDrawSymbol = "FormDraw";

enum DrawKind : int { kDrawPicture = 0, kDrawPdfPage = 1 };

// Draws the form `text` (`length` bytes of UTF-8) as a BMP picture or a one-page PDF and writes
// it over `path`. 1 when written; 0 when not, and a file already there is then kept.
using DrawFunction = int (*)(const char* text, std::size_t length, int kind, const char* path);

}  // namespace form
