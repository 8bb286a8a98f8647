#include "writer/dfu_upgrade_worker.h"

#include <string>

#include "core/bytes.h"
#include "platform/device/writer_ids.h"

namespace writer {

namespace {

bool WaitForWriter(DfuWorkerParams& params) {
    return params.go && params.go->Wait(params.waitMs);
}

}  // namespace

void RunDfuWorker(DfuWorkerParams& params) {
    if (params.go) params.go->Reset();
    const int restarted = params.api.resetToIsp(writer_ids::WRITER_VID, writer_ids::WRITER_PID);
    // A restart that was not issued leaves nothing to wait for.
    const bool seen = restarted == 0 ? WaitForWriter(params) : true;
    params.loaderSeen = seen;

    const std::uint32_t checksum = core::ByteSum(params.image);
    int d = params.api.download(params.image.data(), 0,
                                static_cast<unsigned int>(params.image.size()), checksum);
    if (d == 1) {
        if (params.go) params.go->Reset();
        d = params.api.resetToAp();
        // Only a writer seen coming back makes the upgrade a success whatever the restart said.
        if (params.go && params.notificationRegistered && WaitForWriter(params)) d = 1;
    }
    // Any positive answer is success; an error code (negative) or 0 is not.
    params.result = d > 0 ? core::Outcome::Passed()
                          : core::Outcome::Failed("dfu answered " + std::to_string(d));
    params.ended = true;
}

}  // namespace writer
