// Before every operation the writer's firmware is compared with the images carried for the
// selected part, and brought to them after the operator agrees.
#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "writer/writer.h"

namespace writer {

namespace {

constexpr std::uint16_t kQuestionKey = 0x07D8;
constexpr std::uint16_t kFailedKey = 0x07D9;

// The image carried for `family` under `base`, when the writer does not run it: its reply
// (id byte, two version bytes) differs.
std::optional<cat::ImageRecord> StaleImage(std::uint16_t base, std::uint32_t family,
                                           const std::uint8_t* reply) {
    const auto idByte = static_cast<std::uint8_t>(family);
    const auto image = cat::LookupImage(static_cast<std::uint16_t>(base + idByte));
    if (!image) return std::nullopt;
    const bool current =
        reply[0] == idByte && reply[1] == image->version1 && reply[2] == image->version2;
    return current ? std::nullopt : image;
}

}  // namespace

bool Writer::AskUpgrade() {
    const std::string text = cat::LanguageTextOr(kQuestionKey, kUpgradeQuestion);
    return questions_.AskOkCancel("", text);
}

core::Outcome Writer::CheckFirmware() {
    if (!link_.Connect()) {
        // No writer at all says nothing; one that only its loader answers for must be told.
        if (link_.LoaderOnly()) return core::Outcome::NotStarted(std::string(kStrandedInLoader));
        return core::Outcome::NotStarted();
    }
    FirmwareReply reply{};
    if (!FirmwareVersion(reply).passed()) {
        log_.Append("Check firmware fail !\r\n");
        link_.Disconnect();
        return core::Outcome::Failed();
    }
    // Two images may be out of date: the command firmware, upgraded over the open link, and the
    // image libdfu brings, upgraded after the link is closed. One question covers both.
    const cat::Part part(bench_.currentPart);
    const auto commandImage =
        StaleImage(0x200, part.Number(cat::key::kSecondaryFamily), reply.data() + 3);
    const auto dfuImage =
        dfuUpgrade ? StaleImage(0x100, part.FirmwareFamily(), reply.data()) : std::nullopt;
    if (!commandImage) link_.Disconnect();
    if (!commandImage && !dfuImage) return core::Outcome::Passed();
    if (!AskUpgrade()) {
        link_.Disconnect();
        return core::Outcome::NotStarted();
    }
    log_.Clear();
    log_.Append("Upgrade Writer => ");
    core::Outcome upgraded = core::Outcome::Passed();
    if (commandImage) {
        upgraded = UpgradeImage(commandImage->bytes());
        host_.Wait(1000);
        link_.Disconnect();
    }
    if (dfuImage && upgraded.passed()) {
        upgraded = dfuUpgrade(dfuImage->bytes());
        host_.Wait(2000);
    }
    if (upgraded.passed()) {
        log_.Append("Pass !\t");
        return upgraded;
    }
    log_.Append("Fail !\t");
    questions_.Inform("", cat::LanguageTextOr(kFailedKey, kUpgradeFailed));
    return core::Outcome::Failed(upgraded.why());
}

std::optional<std::uint32_t> Writer::ProbeFamily() {
    if (!link_.Connect()) return std::nullopt;
    FirmwareReply reply{};
    // A short reply leaves the zeroes: family 0.
    [[maybe_unused]] const core::Outcome answered = FirmwareVersion(reply);
    link_.Disconnect();
    return reply[0];
}

}  // namespace writer
