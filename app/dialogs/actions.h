// What the main window's file buttons do: Load File, Save Buffer, Save *.QRX, Insert ISP-code,
// and the load of a file named on the command line. Each runs its dialogs, drives the
// workbench and writes its lines into the message log.
#pragma once

#include <QString>
#include <string>

class QWidget;

namespace model {
class Workbench;
}

namespace app::dialogs {

// Button 1000.
void OnLoadFile(QWidget* parent, model::Workbench& bench);
// Button 1001.
void OnSaveBuffer(QWidget* parent, model::Workbench& bench);
// Button 1002. With Ctrl held the window opens the project form list instead; the window
// checks the key itself and does not call this then.
void OnSaveQrx(QWidget* parent, model::Workbench& bench);
// The "QRX Form List" dialog with `formText`; an empty text shows the form's frame alone (Save
// *.QRX with Ctrl held opens it so, and saves nothing).
void OpenFormList(QWidget* parent, model::Workbench& bench, std::string formText = {});
// Button 1004.
void OnInsertIsp(QWidget* parent, model::Workbench& bench);
// Start-up: the file named on the command line ("Load file ... => " and the result line).
void LoadFileAtStartup(QWidget* parent, model::Workbench& bench, const QString& path);

}  // namespace app::dialogs
