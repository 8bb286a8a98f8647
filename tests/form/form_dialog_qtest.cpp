// The "QRX Form List" dialog: Load keeps the form when the reader refuses a file, Save Picture,
// and the view's scroll ranges and steps. With FORM_SHOTS=DIR it also saves pictures of
// the dialog in both languages there, for a person to look at.
#include <QFileDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "app/dialogs/actions.h"
#include "app/dialogs/form_dialog.h"
#include "app/dialogs/project_form_view.h"
#include "app/main_window.h"
#include "app/profile.h"
#include "catalogue/lookup.h"
#include "form/project_form.h"
#include "modal_answers.h"
#include "platform/library_loader.h"
#include "project/file_io.h"
#include "project/qrx_file.h"
#include "workbench/file_actions.h"
#include "workbench/vector_code_buffer.h"

namespace {

struct NullLog : core::MessageSink {
    void Clear() override {}
    void Append(std::string_view) override {}
};

struct Recorded : core::Questions {
    QStringList shown;
    void Inform(std::string_view, std::string_view t) override { shown << QString::fromUtf8(t); }
    bool AskOkCancel(std::string_view, std::string_view t) override {
        shown << QString::fromUtf8(t);
        return true;
    }
    bool AskYesNo(std::string_view, std::string_view) override { return true; }
};

struct SaveTo : model::FileDialogs {
    std::string path;
    std::optional<std::string> OpenProgramFile() override { return std::nullopt; }
    std::optional<std::uint32_t> SelectArea(std::uint32_t a) override { return a; }
    std::optional<std::string> SaveBufferFile() override { return std::nullopt; }
    std::optional<std::string> SaveProjectFile() override { return path; }
    void CustomSetting(std::uint8_t&, std::string&) override {}
    std::optional<model::IspChoice> InsertIsp() override { return std::nullopt; }
};

}  // namespace

class FormDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        bench_.Attach(&buffer_, &log_);
        buffer_.onChange = [this] { bench_.OnBufferChanged(); };
        bench_.FillSeriesList();
        QVERIFY(bench_.SelectPartByIndex(126));
        buffer_.SetBytes(std::vector<std::uint8_t>(0x300, 0x5A));
        SaveTo dialogs;
        dialogs.path = dir_.filePath(QStringLiteral("good.qrx")).toStdString();
        model::SaveEntropy entropy;
        entropy.moment = {2026, 12, 7, 18, 5, 9, 0x12, 0x34};
        QVERIFY(model::SaveProjectButton(bench_, dialogs, entropy));
        good_ = QString::fromStdString(dialogs.path);
        bad_ = dir_.filePath(QStringLiteral("bad.qrx"));
        QVERIFY(QFile::copy(good_, bad_));
        std::fstream f(bad_.toStdString(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(0x10);
        f.put('\x00');  // the data no longer match their checksum
        // The trailer alone, saying so: no data bytes.
        proj::ProjectInfo info;
        const auto bytes = proj::ReadWholeFile(good_.toStdString()).bytes;
        QVERIFY(proj::ReadProjectTrailer(info, bytes, false, nullptr).accepted);
        info.dataLength = 0;
        info.dataChecksum = 0;
        std::vector<std::uint8_t> trailer(proj::ProjectTrailerLength(info));
        QVERIFY(proj::WriteProjectTrailer(info, trailer, {}) > 0);
        empty_ = dir_.filePath(QStringLiteral("empty.qrx"));
        QVERIFY(proj::WriteFileReplacing(empty_.toStdString(), {trailer}));
    }

    void loadReplacesTheFormAndARefusedFileKeepsIt() {
        Recorded questions;
        app::dialogs::FormDialog dialog(bench_, questions, "");
        QCOMPARE(dialog.view()->FormText(), std::string());
        QString next = good_;
        dialog.chooseProjectFile = [&] { return next; };
        dialog.loadButton()->click();
        const auto expected = form::BuildProjectForm(bench_, good_.toStdString(), nullptr);
        QVERIFY(expected);
        QCOMPARE(dialog.FormText(), *expected);
        QCOMPARE(dialog.view()->FormText(), *expected);

        next = bad_;
        dialog.loadButton()->click();
        QCOMPARE(questions.shown.size(), 1);
        QCOMPARE(dialog.FormText(), *expected);
        next = empty_;  // no data bytes: no form, and the reader has nothing to say
        dialog.loadButton()->click();
        QCOMPARE(questions.shown.size(), 1);
        QCOMPARE(dialog.FormText(), *expected);
        next = QString();  // Cancel
        dialog.loadButton()->click();
        QCOMPARE(dialog.FormText(), *expected);
    }

    void savePictureWritesTheBmpThenOpensIt() {
        Recorded questions;
        app::dialogs::FormDialog dialog(bench_, questions, "");
        const QString path = dir_.filePath(QStringLiteral("form.bmp"));
        QStringList opened;
        dialog.choosePictureFile = [&] { return path; };
        dialog.openPicture = [&](const QString& p) { opened << p; };
        dialog.saveButton()->click();
        QCOMPARE(opened, QStringList{path});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(2), QByteArray("BM"));
        // An uncreatable file: nothing opened, and the failure is said.
        QVERIFY(questions.shown.isEmpty());
        dialog.choosePictureFile = [] { return QStringLiteral("/nonexistent-dir/x.bmp"); };
        dialog.saveButton()->click();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(questions.shown,
                 QStringList{QStringLiteral("The picture could not be written to:\n"
                                            "/nonexistent-dir/x.bmp")});
    }

    void viewScrollsByCellsAndPagesOfThirtyCells() {
        Recorded questions;
        app::dialogs::FormDialog dialog(bench_, questions, "");
        dialog.show();
        auto* view = dialog.view();
        auto* bar = view->verticalScrollBar();
        const int h = view->CellHeight();
        const int page = view->viewport()->height();
        QCOMPARE(bar->maximum(), 70 * h - page + 1);
        QCOMPARE(bar->singleStep(), h);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(bar->value(), std::min(30 * h, bar->maximum()));
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(bar->value(), std::min(31 * h, bar->maximum()));
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(bar->value(), std::max(0, std::min(31 * h, bar->maximum()) - 30 * h));
        QCOMPARE(view->horizontalScrollBar()->singleStep(), view->CellWidth());
        QVERIFY(view->viewport()->testAttribute(Qt::WA_OpaquePaintEvent));
    }

    // Save *.QRX in the window: the save dialog, then the form of the file just written; with
    // Ctrl held the window opens the form list empty instead.
    void shownAfterSavingAndEmptyWithCtrl() {
        const QString path = dir_.filePath(QStringLiteral("window.qrx"));
        std::vector<std::string> forms;
        testsupport::ModalAnswers answers;
        answers.On<QFileDialog>([&](QFileDialog* files) { testsupport::ChooseFile(files, path); })
            .On<app::dialogs::FormDialog>([&](app::dialogs::FormDialog* form) {
                forms.push_back(form->FormText());
                form->exitButton()->click();
            });
        app::dialogs::OnSaveQrx(nullptr, bench_);
        QVERIFY(QFile::exists(path));
        QCOMPARE(forms.size(), std::size_t{1});
        const auto expected = form::BuildProjectForm(bench_, path.toStdString(), nullptr);
        QVERIFY(expected);
        QCOMPARE(forms[0], *expected);

        QFile::remove(path);
        app::dialogs::OpenFormList(nullptr, bench_);
        QCOMPARE(forms.size(), std::size_t{2});
        QCOMPARE(forms[1], std::string());
        QVERIFY(!QFile::exists(path));
    }

    // The real window's Save *.QRX with Ctrl held: the form list opens empty and nothing is
    // saved (no save dialog); without Ctrl the save dialog comes first.
    void windowsSaveQrxWithCtrlHeldOpensTheEmptyFormList() {
        if (platform::LoadProgramLibrary("libquadrel.so") == nullptr)
            QSKIP("the hex-grid control library is not built");
        app::Profile profile(QStringLiteral("writer-form-test"));
        app::MainWindow window(profile);
        window.Open();
        window.bench().buffer()->SetBytes(std::vector<std::uint8_t>(0x100, 0x11));
        QStringList seen;
        testsupport::ModalAnswers answers;
        answers
            .On<QFileDialog>([&](QFileDialog* files) {
                seen << "save";
                files->reject();
            })
            .On<app::dialogs::FormDialog>([&](app::dialogs::FormDialog* form) {
                seen << QString::fromStdString("form:" + form->FormText());
                form->exitButton()->click();
            });
        auto* save = window.findChild<QPushButton*>(QStringLiteral("c1002"));
        QTest::mouseClick(save, Qt::LeftButton, Qt::ControlModifier);
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier);
        QCOMPARE(seen, (QStringList{"form:", "save"}));
    }

    void screenshots() {
        const QString out = qEnvironmentVariable("FORM_SHOTS");
        if (out.isEmpty()) QSKIP("FORM_SHOTS not set");
        const auto text = form::BuildProjectForm(bench_, good_.toStdString(), nullptr);
        QVERIFY(text);
        for (int language : {0, 1}) {
            cat::SetLanguageID(language);
            Recorded questions;
            app::dialogs::FormDialog dialog(bench_, questions, *text);
            dialog.show();
            QTest::qWait(200);
            dialog.grab().save(out +
                               QStringLiteral("/form-dialog-%1.png").arg(language ? "zh" : "en"));
            dialog.view()->verticalScrollBar()->setValue(
                dialog.view()->verticalScrollBar()->maximum());
            QTest::qWait(100);
            dialog.grab().save(
                out + QStringLiteral("/form-dialog-%1-end.png").arg(language ? "zh" : "en"));
        }
        cat::SetLanguageID(0);
        Recorded questions;
        app::dialogs::FormDialog empty(bench_, questions, "");
        empty.show();
        QTest::qWait(100);
        empty.grab().save(out + QStringLiteral("/form-dialog-empty.png"));
    }

  private:
    QTemporaryDir dir_;
    model::VectorCodeBuffer buffer_;
    NullLog log_;
    model::Workbench bench_;
    QString good_;
    QString bad_;
    QString empty_;
};

QTEST_MAIN(FormDialogTest)
#include "form_dialog_qtest.moc"
