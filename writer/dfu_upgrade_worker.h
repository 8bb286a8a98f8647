// The DFU upgrade's worker thread: the blocking dfu calls and the waits for the writer to come
// back, away from the user-interface thread, which only polls the progress count meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

#include "core/outcome.h"
#include "writer/go_event.h"

namespace writer {

// libdfu.so's entry points, resolved by name.
struct DfuApi {
    int (*resetToIsp)(unsigned int vid, unsigned int pid) = nullptr;
    int (*resetToAp)() = nullptr;
    int (*download)(const unsigned char* image, unsigned int zero, unsigned int length,
                    unsigned int checksum) = nullptr;
    int (*processCount)() = nullptr;
};

// Written before the thread starts; `result` and `ended` written by the worker, `result` read
// only once the worker has been joined.
struct DfuWorkerParams {
    DfuApi api;
    std::span<const std::uint8_t> image;
    std::uint32_t waitMs = 0;
    std::shared_ptr<GoEvent> go;  // null when it could not be created: the waits fail at once
    bool notificationRegistered = false;
    core::Outcome result = core::Outcome::NotStarted();
    // Whether the writer came back within the wait time after the restart into the loader
    // (kept for diagnosis; it does not change the flow).
    std::atomic<bool> loaderSeen{false};
    std::atomic<bool> ended{false};
};

// The worker's whole run; sets `ended` last.
void RunDfuWorker(DfuWorkerParams& params);

}  // namespace writer
