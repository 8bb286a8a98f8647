#include "cli/upgrade_path.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "writer/dfu_upgrade_notification.h"
#include "writer/dfu_upgrade_texts.h"

namespace cli {

namespace {

constexpr std::uint16_t kDfuImageBase = 0x100;
constexpr std::uint16_t kCommandImageBase = 0x200;

class ConsoleProgressLine : public writer::UpgradeProgressView {
  public:
    ConsoleProgressLine() : terminal_(isatty(STDERR_FILENO) == 1) {}
    ~ConsoleProgressLine() override {
        if (!drawn_) return;
        std::fprintf(stderr, "\r%*s\r", 48, "");
        std::fflush(stderr);
    }
    void ShowValue(std::uint32_t value) override {
        if (!terminal_) return;
        std::fprintf(stderr, "\r%-48.48s", writer::UpgradeProgressText(value).c_str());
        std::fflush(stderr);
        drawn_ = true;
    }

  private:
    bool terminal_;
    bool drawn_ = false;
};

bool ImageCurrent(std::uint16_t id, std::uint8_t idByte, const std::uint8_t* reply) {
    const auto image = cat::LookupImage(id);
    return !image ||
           (reply[0] == idByte && reply[1] == image->version1 && reply[2] == image->version2);
}

}  // namespace

std::unique_ptr<writer::UpgradeProgressView> ConsoleUpgradeUi::ShowProgressDialog() {
    return std::make_unique<ConsoleProgressLine>();
}

bool ConsoleUpgradeUi::RegisterHidNotification() {
    return writer::RegisterHidNotification();
}

void ConsoleUpgradeUi::UnregisterHidNotification() {
    writer::UnregisterHidNotification();
}

UpgradePath::UpgradePath(writer::Writer& writer)
    : writer_(writer), dfu_(writer.host(), writer.questions(), ui_) {
    writer_.dfuUpgrade = [this](std::span<const std::uint8_t> image) { return dfu_.Run(image); };
}

UpgradePath::~UpgradePath() {
    writer_.dfuUpgrade = nullptr;
}

bool WriterFirmwareCurrent(writer::Writer& writer) {
    if (!writer.link().Connect()) return false;
    writer::FirmwareReply reply{};
    const bool answered = writer.FirmwareVersion(reply).passed();
    writer.link().Disconnect();
    if (!answered) return false;
    const cat::Part part(writer.bench().currentPart);
    const auto dfuFamily = static_cast<std::uint8_t>(part.FirmwareFamily());
    const auto commandFamily = static_cast<std::uint8_t>(part.Number(cat::key::kSecondaryFamily));
    return ImageCurrent(static_cast<std::uint16_t>(kDfuImageBase + dfuFamily), dfuFamily,
                        reply.data()) &&
           ImageCurrent(static_cast<std::uint16_t>(kCommandImageBase + commandFamily),
                        commandFamily, reply.data() + 3);
}

std::string NoWriterReason(std::optional<int> partIndex) {
    if (!writer::WriterLink::IsWriterEnumerated()) return "no writer answered";
    return "a writer is attached but its application does not answer: it sits in its loader "
           "(a firmware upgrade left undone); 'writer-cli upgrade --part " +
           (partIndex ? std::to_string(*partIndex) : std::string("INDEX")) +
           " --force' brings it back";
}

int UpgradeWriter(UpgradePath& path, bool force) {
    writer::Writer& writer = path.writer();
    const int part = writer.bench().currentPart;
    bool ok = false;
    if (!force) {
        if (!writer.link().Connect()) {
            std::fprintf(stderr, "writer-cli: %s\n", NoWriterReason(part).c_str());
            return 1;
        }
        writer.link().Disconnect();
        ok = writer.CheckFirmware().passed();
    } else {
        const auto family =
            static_cast<std::uint8_t>(cat::Part(writer.bench().currentPart).FirmwareFamily());
        const auto image = cat::LookupImage(static_cast<std::uint16_t>(kDfuImageBase + family));
        if (!image) {
            std::fprintf(stderr, "writer-cli: no writer image for family %u\n", family);
            return 1;
        }
        writer.log().Clear();
        writer.log().Append("Upgrade Writer => ");
        ok = path.dfu().Run(image->bytes()).passed();
        writer.host().Wait(2000);
        if (ok) {
            writer.log().Append("Pass !\t");
        } else {
            writer.log().Append("Fail !\t");
            writer.questions().Inform("", cat::LanguageTextOr(0x07D9, writer::kUpgradeFailed));
        }
    }
    writer.log().Clear();  // ends the result line on the terminal
    if (!ok) {
        // A failed loader image leaves the writer in its loader, where only --force reaches it.
        std::string why = "the writer was not brought to the part's firmware";
        if (!force && !writer.link().Connect()) {
            why += "; " + NoWriterReason(part);
        } else {
            writer.link().Disconnect();
        }
        std::fprintf(stderr, "writer-cli: %s\n", why.c_str());
        return 1;
    }
    if (!WriterFirmwareCurrent(writer)) {
        std::fputs("writer-cli: the writer does not run the part's firmware\n", stderr);
        return 1;
    }
    return 0;
}

}  // namespace cli
