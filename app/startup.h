// Start-up of the writer program: the hex-grid control library, the profile, the language, the
// main window; the library is unloaded when the window has closed.
#pragma once

#include <QStringList>

namespace app {

inline constexpr const char* kQuadrelLibrary = "libquadrel.so";

// The file named on the command line (the first argument after the program) as an absolute path
// without "." or ".." parts; empty when there is none.
QString CommandLineFile(const QStringList& arguments);

// Runs the program inside an existing QApplication; returns the exit code. Ends at once, without
// a message, when the hex-grid control library cannot be loaded.
int RunWriter(const QStringList& arguments);

}  // namespace app
