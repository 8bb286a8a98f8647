// Pictures of the Off-Line Mode and Information dialogs in both languages, for a person to look
// at (not run by ctest): offline_shots OUTDIR [--live]. With --live the Information dialog shows
// what the writer TUNNIX_DEVICE names holds after a download of a sample project.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/dialogs/info_dialog.h"
#include "app/dialogs/offline_dialog.h"
#include "catalogue/lookup.h"
#include "workbench/vector_code_buffer.h"
#include "writer/offline.h"
#include "writer/writer.h"

namespace {

class NoHost : public writer::Host {
  public:
    void SetProgressPosition(std::uint32_t) override {}
    void ShowProgressBar(bool) override {}
    void PumpMessages() override {}
    void Wait(std::uint32_t) override {}
};
// The log goes to standard error, so a live run shows what happened.
class StderrLog : public core::MessageSink {
  public:
    void Clear() override {}
    void Append(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
};
class NoQuestions : public core::Questions {
  public:
    void Inform(std::string_view, std::string_view text) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
    bool AskOkCancel(std::string_view, std::string_view) override { return false; }
    bool AskYesNo(std::string_view, std::string_view) override { return false; }
};

void Shoot(QWidget& w, const QString& path) {
    w.show();
    QApplication::processEvents();
    w.grab().save(path);
    w.hide();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    model::VectorCodeBuffer buffer;
    StderrLog log;
    NoHost host;
    NoQuestions questions;
    model::Workbench bench;
    bench.Attach(&buffer, &log);
    bench.FillSeriesList();
    bench.SelectPartByIndex(51);
    writer::WriterLink link(host);
    writer::Writer writer(bench, link, host, log, questions);
    bench.info.maxCounter = 1000;
    bench.info.serialEnabled = 1;
    bench.info.autoIncrement = 1;
    bench.info.serialNumber = 0x1A;
    const std::string_view serial = "LINE-7 \xE7\xBA\xBF";  // 11 bytes, the last character 3
    std::copy(serial.begin(), serial.end(), bench.info.serialString.begin());

    writer::InfoReadout readout;
    readout.partNo = "CV51D32";
    readout.filesize = "00001000";
    readout.checksum = "1C65";
    readout.ispSpace = "1.5K";
    readout.iapSpace = "2.0 K";
    readout.maxCounter = "1000";
    readout.oscList = "eXternal";
    readout.string = "LINE-7      ";
    readout.number = "0000001A+";
    readout.startAddress = "00007FF0";
    readout.endAddress = "00007FFF";
    readout.currentCounter = "3";
    readout.currentSerialNum = "0000001C";
    const char* names[] = {"LOCK",  "HWBS",  "HWBS2", "ENLVR", "BODRE",
                           "LVFWP", "BODWP", "HWENW", "NSWDT"};
    for (int i = 0; i < 9; ++i)
        readout.options[static_cast<std::size_t>(i)] = {names[i], i % 3 == 1};

    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == QStringLiteral("--live")) {
        if (!link.Load(questions)) return 1;
        buffer.SetBytes(std::vector<std::uint8_t>(0x1000, 0x5A));
        bench.info.apLength = 0x1000;
        if (!writer::DownloadOffline(writer).passed()) return 1;
        writer::ReadInfoOptions options;
        options.show = [&](const writer::InfoBlock&, const writer::InfoReadout& r) { readout = r; };
        if (!writer::ReadInfo(writer, options)) return 1;
    }
    for (int language = 0; language <= 1; ++language) {
        cat::SetLanguageID(language);
        const QString suffix = language == 0 ? QStringLiteral("en") : QStringLiteral("zh");
        app::dialogs::OfflineDialog offline(nullptr, writer);
        Shoot(offline, out + "/offline_" + suffix + ".png");
        app::dialogs::InfoDialog info(nullptr, readout);
        Shoot(info, out + "/info_" + suffix + ".png");
    }
    return 0;
}
