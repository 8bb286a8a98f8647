#include "app/dialogs/actions.h"

#include <utility>

#include "app/dialogs/file_dialogs.h"
#include "app/dialogs/form_dialog.h"
#include "app/profile.h"
#include "form/project_form.h"
#include "workbench/file_actions.h"

namespace app::dialogs {

void OnLoadFile(QWidget* parent, model::Workbench& bench) {
    Profile profile;
    WindowFileDialogs dialogs(parent, profile);
    BoxQuestions questions(parent);
    model::LoadFileButton(bench, dialogs, questions);
}

void OnSaveBuffer(QWidget* parent, model::Workbench& bench) {
    Profile profile;
    WindowFileDialogs dialogs(parent, profile);
    // The log tells how it went.
    [[maybe_unused]] const core::Outcome saved = model::SaveBufferButton(bench, dialogs);
}

void OnSaveQrx(QWidget* parent, model::Workbench& bench) {
    Profile profile;
    WindowFileDialogs dialogs(parent, profile);
    const auto path = model::SaveProjectButton(bench, dialogs, model::CurrentSaveEntropy());
    if (!path) return;
    // The form of the file just written; a file the reader refuses opens no dialog.
    BoxQuestions questions(parent);
    if (auto text = form::BuildProjectForm(bench, *path, &questions)) {
        OpenFormList(parent, bench, std::move(*text));
    }
}

void OpenFormList(QWidget* parent, model::Workbench& bench, std::string formText) {
    BoxQuestions questions(parent);
    FormDialog dialog(bench, questions, std::move(formText), parent);
    dialog.exec();
}

void OnInsertIsp(QWidget* parent, model::Workbench& bench) {
    Profile profile;
    WindowFileDialogs dialogs(parent, profile);
    [[maybe_unused]] const core::Outcome inserted = model::InsertIspButton(bench, dialogs);
}

void LoadFileAtStartup(QWidget* parent, model::Workbench& bench, const QString& path) {
    Profile profile;
    WindowFileDialogs dialogs(parent, profile);
    BoxQuestions questions(parent);
    [[maybe_unused]] const core::Outcome loaded =
        model::LoadFileAtStartup(bench, path.toStdString(), dialogs, questions);
}

}  // namespace app::dialogs
