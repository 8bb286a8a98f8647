// The forced upgrade the operator can ask for while the window opens: the DFU image of the
// current part's family, with no firmware check before it.
#pragma once

#include "writer/writer.h"

namespace writer {

// The question the forced upgrade asks (Yes/No).
inline constexpr std::string_view kForcedUpgradeQuestion = "确定要强制升级吗 ?";

// Asks; on Yes runs the writer's DFU upgrade of image 0x100 + the part's family when that image
// is carried, then waits 2000 ms. True when the upgrade ran (whatever its result).
bool OfferForcedUpgrade(Writer& writer);

}  // namespace writer
