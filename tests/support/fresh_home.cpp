// Every test program runs in a home of its own, made afresh when the program starts and removed
// when it ends. So no test reads or writes the settings, remembered folders or virtual writer
// socket of whoever runs it, nor finds what an earlier run left behind, whether ctest or a
// person starts it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

class FreshHome {
  public:
    FreshHome() : owner_(getpid()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/writer-test-home-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("test home");
            std::abort();
        }
        root_ = pattern;
        Set("HOME", "");
        Set("XDG_CONFIG_HOME", "/.config");
        Set("XDG_DATA_HOME", "/.local/share");
        Set("XDG_CACHE_HOME", "/.cache");
        Set("XDG_STATE_HOME", "/.local/state");
        Set("XDG_RUNTIME_DIR", "/run");
        chmod((root_ + "/run").c_str(), 0700);  // Qt insists on a private runtime folder
    }

    ~FreshHome() {
        if (getpid() != owner_) return;  // a forked child must not take the parent's home away
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    FreshHome(const FreshHome&) = delete;
    FreshHome& operator=(const FreshHome&) = delete;

  private:
    void Set(const char* name, const char* under) {
        const std::string path = root_ + under;
        std::error_code ignored;
        std::filesystem::create_directories(path, ignored);
        setenv(name, path.c_str(), 1);
    }

    pid_t owner_;
    std::string root_;
};

const FreshHome home;

}  // namespace
