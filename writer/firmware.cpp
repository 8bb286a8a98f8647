// Before every operation the writer's firmware is compared with the images carried for the
// selected part, and brought to them after the operator agrees.
#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "writer/writer.h"

namespace writer {

namespace {

constexpr std::uint16_t kQuestionKey = 0x07D8;
constexpr std::uint16_t kFailedKey = 0x07D9;

// The writer runs `image` when its id byte and both version bytes match.
bool IsCurrent(const cat::ImageRecord& image, std::uint8_t idByte, const std::uint8_t* reply) {
    return reply[0] == idByte && reply[1] == image.version1 && reply[2] == image.version2;
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
    const cat::Part part(bench_.currentPart);
    bool upgradeStarted = false;
    core::Outcome upgraded = core::Outcome::NotStarted();

    const auto commandFamily = static_cast<std::uint8_t>(part.Number(cat::key::kSecondaryFamily));
    const auto commandImage = cat::LookupImage(0x200 + commandFamily);
    if (commandImage && !IsCurrent(*commandImage, commandFamily, reply.data() + 3)) {
        if (!AskUpgrade()) {
            link_.Disconnect();
            return core::Outcome::NotStarted();
        }
        upgradeStarted = true;
        log_.Clear();
        log_.Append("Upgrade Writer => ");
        upgraded = UpgradeImage(commandImage->bytes());
        host_.Wait(1000);
    }
    link_.Disconnect();

    if (!upgradeStarted || upgraded.passed()) {
        const auto dfuFamily = static_cast<std::uint8_t>(part.FirmwareFamily());
        const auto dfuImage = dfuUpgrade ? cat::LookupImage(0x100 + dfuFamily) : std::nullopt;
        if (dfuImage && !IsCurrent(*dfuImage, dfuFamily, reply.data())) {
            if (!upgradeStarted) {
                if (!AskUpgrade()) return core::Outcome::NotStarted();
                upgradeStarted = true;
                log_.Clear();
                log_.Append("Upgrade Writer => ");
            }
            upgraded = dfuUpgrade(dfuImage->bytes());
            host_.Wait(2000);
        }
    }

    if (!upgradeStarted) return core::Outcome::Passed();
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
