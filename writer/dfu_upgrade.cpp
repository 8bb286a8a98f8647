#include "writer/dfu_upgrade.h"

#include <chrono>
#include <thread>

#include "core/bytes.h"
#include "platform/device/device_watch.h"
#include "platform/device/writer_ids.h"
#include "platform/library_loader.h"
#include "writer/dfu_upgrade_texts.h"

namespace writer {

namespace {

// The user-interface thread polls; a short pause between polls keeps it off a whole core.
void PauseBetweenPolls() {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

std::uint32_t Count(const DfuApi& api) {
    return static_cast<std::uint32_t>(api.processCount());
}

}  // namespace

std::optional<DfuApi> ResolveDfuApi(void* library) {
    if (!library) return std::nullopt;
    DfuApi api;
    api.resetToIsp = reinterpret_cast<decltype(api.resetToIsp)>(
        platform::LibrarySymbol(library, "DFU_Reset_To_ISP"));
    api.resetToAp = reinterpret_cast<decltype(api.resetToAp)>(
        platform::LibrarySymbol(library, "DFU_Reset_To_AP"));
    api.download =
        reinterpret_cast<decltype(api.download)>(platform::LibrarySymbol(library, "DFU_Download"));
    api.processCount = reinterpret_cast<decltype(api.processCount)>(
        platform::LibrarySymbol(library, "DFU_Get_ProcessCount"));
    if (!api.resetToIsp || !api.resetToAp || !api.download || !api.processCount)
        return std::nullopt;
    return api;
}

DfuUpgrade::DfuUpgrade(Host& host, core::Questions& questions, UpgradeUi& ui)
    : goEventName(writer_ids::GoEventName()), host_(host), questions_(questions), ui_(ui) {
    chooseWaitMs = devwatch::UpgradeWaitMs;
}

core::Outcome DfuUpgrade::Run(std::span<const std::uint8_t> image) {
    void* library = platform::LoadProgramLibrary(libraryFile);
    const std::optional<DfuApi> api = ResolveDfuApi(library);
    if (!api) {
        // A library without every entry point is as unusable as a missing one.
        platform::UnloadProgramLibrary(library);
        questions_.Inform("Warning", "Load DFU.DLL fail !");
        return core::Outcome::NotStarted("libdfu.so could not be loaded");
    }
    core::Outcome result = RunBound(*api, image);
    platform::UnloadProgramLibrary(library);
    return result;
}

core::Outcome DfuUpgrade::RunBound(const DfuApi& api, std::span<const std::uint8_t> image) {
    host_.Repaint();
    lastWaitMs = chooseWaitMs ? chooseWaitMs() : devwatch::kUpgradeWaitNewMs;
    const bool registered = ui_.RegisterHidNotification();

    int error = 0;
    std::shared_ptr<GoEvent> go = CreateGoEvent(goEventName, &error);
    if (!go) {
        questions_.Inform("", core::Format("Create Go Event Fail ! \n\r Err Code = %d", error));
    }

    DfuWorkerParams params;
    params.api = api;
    params.image = image;
    params.waitMs = lastWaitMs;
    params.go = go;
    params.notificationRegistered = registered;
    std::thread worker([&params] { RunDfuWorker(params); });

    std::unique_ptr<UpgradeProgressView> dialog = ui_.ShowProgressDialog();
    if (dialog) dialog->ShowValue(kDfuWaiting);

    // First the waiting state, then whatever follows it. Both loops also end with the worker,
    // so a library that never reports waiting (or never leaves it) cannot hang the window.
    while (!params.ended) {
        const std::uint32_t count = Count(api);
        host_.PumpMessages();
        if (count == kDfuWaiting) break;
        PauseBetweenPolls();
    }
    while (!params.ended) {
        const std::uint32_t count = Count(api);
        host_.PumpMessages();
        if (count != kDfuWaiting) break;
        PauseBetweenPolls();
    }
    std::uint32_t shown = 0;
    while (!params.ended) {
        const std::uint32_t count = Count(api);
        if (count != shown) {
            if (dialog) dialog->ShowValue(count);
            shown = count;
        }
        host_.PumpMessages();
        PauseBetweenPolls();
    }

    worker.join();
    if (registered) ui_.UnregisterHidNotification();
    dialog.reset();
    lastLoaderSeen = params.loaderSeen;
    return params.result;
}

}  // namespace writer
