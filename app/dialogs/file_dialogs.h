// The dialogs of the file buttons: "Select AP/IAP area", "Custom Setting", "Insert ISP Code",
// the Open and Save dialogs with their filters and remembered paths, and the message boxes.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/operator_ports.h"
#include "workbench/file_actions.h"

class QButtonGroup;
class QFileDialog;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace app {
class HexEntryField;
class Profile;
}  // namespace app

namespace app::dialogs {

// Dialog and control numbers, which are also their language keys.
namespace id {
inline constexpr int kSelectAreaDialog = 141;
inline constexpr int kApCode = 1623;
inline constexpr int kIapData = 1624;
inline constexpr int kAddressLabel = 1626;
inline constexpr int kInsertIspDialog = 130;
inline constexpr int kExit = 2;
inline constexpr int kBrowse = 1019;
inline constexpr int kInsert = 1020;
inline constexpr int kBuiltinIsp = 1042;
inline constexpr int kUserIsp = 1043;
inline constexpr int kCustomIdLabel = 1635;
inline constexpr int kStringIdLabel = 1636;
inline constexpr std::uint16_t kMsgLoadIspFile = 2007;
}  // namespace id

// A Qt file-dialog filter that shows `shown` and matches the ';'-separated `patterns`.
QString NameFilter(const char* shown, const char* patterns);

// Opens `dialog` at the remembered file when its folder still exists; otherwise in the home
// folder with an empty file name.
void StartFileDialog(QFileDialog& dialog, const QString& remembered);

class SelectAreaDialog : public QDialog {
    Q_OBJECT
  public:
    SelectAreaDialog(std::uint32_t defaultAddress, QWidget* parent = nullptr);
    // The place address of the choice the dialog was closed with.
    std::uint32_t PlaceAddress() const;

    QRadioButton* apButton() const { return ap_; }
    QRadioButton* iapButton() const { return iap_; }
    HexEntryField* addressField() const { return address_; }

  private:
    QRadioButton* ap_;
    QRadioButton* iap_;
    HexEntryField* address_;
};

class CustomSettingDialog : public QDialog {
    Q_OBJECT
  public:
    CustomSettingDialog(std::uint8_t customId, const std::string& stringId,
                        QWidget* parent = nullptr);
    // The values as the dialog leaves them: OK reads the fields, Cancel keeps what was shown.
    std::uint8_t CustomId() const { return customId_; }
    const std::string& StringId() const { return stringId_; }

    HexEntryField* customIdField() const { return customIdField_; }
    QLineEdit* stringIdField() const { return stringIdField_; }

    void accept() override;

  private:
    std::uint8_t customId_;
    std::string stringId_;
    HexEntryField* customIdField_;
    QLineEdit* stringIdField_;
};

class InsertIspDialog : public QDialog {
    Q_OBJECT
  public:
    explicit InsertIspDialog(Profile& profile, QWidget* parent = nullptr);
    model::IspChoice Choice() const { return choice_; }

    QRadioButton* builtinButton() const { return builtin_; }
    QRadioButton* userButton() const { return user_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* insertButton() const { return insert_; }
    QLineEdit* pathField() const { return path_; }

    // The Browse button's file choice; replaceable for tests.
    std::function<QString(const QString& start)> chooseFile;

  private:
    void OnBrowse();
    void OnInsert();
    Profile& profile_;
    model::IspChoice choice_;
    QRadioButton* builtin_;
    QRadioButton* user_;
    QPushButton* browse_;
    QPushButton* insert_;
    QLineEdit* path_;
};

// Message boxes for the core.
class BoxQuestions : public core::Questions {
  public:
    explicit BoxQuestions(QWidget* parent) : parent_(parent) {}
    void Inform(std::string_view caption, std::string_view text) override;
    bool AskOkCancel(std::string_view caption, std::string_view text) override;
    bool AskYesNo(std::string_view caption, std::string_view text) override;

  private:
    QString Caption(std::string_view caption) const;
    QWidget* parent_;
};

// The operator's choices through the window's dialogs and the profile's remembered paths.
class WindowFileDialogs : public model::FileDialogs {
  public:
    WindowFileDialogs(QWidget* parent, Profile& profile) : parent_(parent), profile_(profile) {}
    std::optional<std::string> OpenProgramFile() override;
    std::optional<std::uint32_t> SelectArea(std::uint32_t defaultAddress) override;
    std::optional<std::string> SaveBufferFile() override;
    std::optional<std::string> SaveProjectFile() override;
    void CustomSetting(std::uint8_t& customId, std::string& stringId) override;
    std::optional<model::IspChoice> InsertIsp() override;

  private:
    std::optional<std::string> SaveFile(const QString& key, const QStringList& filters,
                                        const QString& suffix);
    QWidget* parent_;
    Profile& profile_;
};

}  // namespace app::dialogs
