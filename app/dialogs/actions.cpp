#include "app/dialogs/actions.h"

namespace app::dialogs {
namespace {
std::function<void(QWidget*, const QString&)>& SavedHook() {
    static std::function<void(QWidget*, const QString&)> hook;
    return hook;
}
}  // namespace

// Stubs until the file actions land.
void OnLoadFile(QWidget*, model::Workbench&) {}
void OnSaveBuffer(QWidget*, model::Workbench&) {}
void OnSaveQrx(QWidget*, model::Workbench&) {}
void OnInsertIsp(QWidget*, model::Workbench&) {}
void LoadFileAtStartup(QWidget*, model::Workbench&, const QString&) {}
void SetProjectSavedHook(std::function<void(QWidget*, const QString&)> hook) {
    SavedHook() = std::move(hook);
}

}  // namespace app::dialogs
