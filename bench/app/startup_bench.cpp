// Start-up time of the writer program, offscreen: from launch to the main window shown and
// painted. "launch" runs a fresh process each time (program start, libraries, fonts, the
// window); "open" opens the window again inside a warm process.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

#include "app/main_window.h"
#include "app/profile.h"
#include "app/startup.h"
#include "catalogue/lookup.h"
#include "platform/library_loader.h"

extern char** environ;

namespace {

const char* gSelf = nullptr;

// What the program does from main() until its window is on the screen.
bool OpenAndPaint() {
    if (platform::LoadProgramLibrary(app::kQuadrelLibrary) == nullptr) return false;
    app::Profile profile(QStringLiteral("writer-bench"));
    cat::InitLanguageFromProductInfo();
    app::MainWindow window(profile);
    window.Open();
    QApplication::processEvents();
    window.grab();  // the first paint
    return window.isVisible();
}

void BM_LaunchToWindowShown(benchmark::State& state) {
    char mode[] = "--launch-once";
    for (auto _ : state) {
        char* argv[] = {const_cast<char*>(gSelf), mode, nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, gSelf, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start the program");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the window did not open");
            return;
        }
    }
}
BENCHMARK(BM_LaunchToWindowShown)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_OpenWindowWarm(benchmark::State& state) {
    for (auto _ : state) {
        if (!OpenAndPaint()) {
            state.SkipWithError("the window did not open");
            return;
        }
    }
}
BENCHMARK(BM_OpenWindowWarm)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    gSelf = argv[0];
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    if (argc > 1 && std::strcmp(argv[1], "--launch-once") == 0) {
        int one = 1;
        QApplication application(one, argv);
        return OpenAndPaint() ? 0 : 1;
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
