// Loading libraries that ship next to the program (the build and install put programs and
// libraries side by side).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Folder of the running executable, without a trailing slash; empty if it cannot be found.
std::string ProgramDirectory();

// dlopen()s <ProgramDirectory()>/<fileName>. Returns null on failure and, when error is given,
// stores the loader's reason there.
void* LoadProgramLibrary(std::string_view fileName, std::string* error = nullptr);

// Looks a symbol up in a loaded library; null when absent.
void* LibrarySymbol(void* library, const char* name);

// Releases a handle from LoadProgramLibrary; null is ignored.
void UnloadProgramLibrary(void* library);

}  // namespace platform
