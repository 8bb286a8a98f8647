#include "platform/library_loader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace platform {

std::string ProgramDirectory() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    std::string exe(path, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return exe.substr(0, slash);
}

void* LoadProgramLibrary(std::string_view fileName, std::string* error) {
    const std::string dir = ProgramDirectory();
    if (dir.empty()) {
        if (error != nullptr) *error = "cannot locate the program's folder";
        return nullptr;
    }
    std::string path = dir;
    if (path.back() != '/') path += '/';
    path.append(fileName);
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && error != nullptr) {
        const char* reason = ::dlerror();
        *error = reason != nullptr ? reason : "cannot load " + path;
    }
    return library;
}

void* LibrarySymbol(void* library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return ::dlsym(library, name);
}

void UnloadProgramLibrary(void* library) {
    if (library != nullptr) ::dlclose(library);
}

}  // namespace platform
