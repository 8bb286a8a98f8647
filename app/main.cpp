#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/startup.h"
#include "core/about.h"

int main(int argc, char* argv[]) {
    // Answered before the window system is needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("writer %s (CV51 Writer)\n%s", core::kVersion, core::kLicenceNotice);
        return 0;
    }
    QApplication application(argc, argv);
    return app::RunWriter(QApplication::arguments());
}
