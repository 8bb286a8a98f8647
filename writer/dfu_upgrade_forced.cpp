#include "writer/dfu_upgrade_forced.h"

#include "catalogue/lookup.h"
#include "catalogue/part_database.h"

namespace writer {

bool OfferForcedUpgrade(Writer& writer) {
    if (!writer.questions().AskYesNo("", kForcedUpgradeQuestion)) return false;
    const auto family =
        static_cast<std::uint8_t>(cat::Part(writer.bench().currentPart).FirmwareFamily());
    const auto image = cat::LookupImage(static_cast<std::uint16_t>(0x100 + family));
    if (!image || !writer.dfuUpgrade) return false;
    // Nothing is said either way; an upgrade left undone shows at the next operation.
    [[maybe_unused]] const core::Outcome upgraded = writer.dfuUpgrade(image->bytes());
    writer.host().Wait(2000);
    return true;
}

}  // namespace writer
