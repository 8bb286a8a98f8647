// A state file of any shape must load as a device or be refused, never read past its end.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "vwriter/device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/vwriter-state-fuzz-" + std::to_string(getpid());
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    vw::Device device;
    device.SetStateFile(path);
    if (device.LoadState(nullptr)) {
        // A loaded device must be consistent with its chip.
        const auto size32 = device.CodeSize();
        if (device.ReadFlash(0, size32).size() != size32) __builtin_trap();
        (void)device.InfoBlock();
        (void)device.Report();
    }
    std::remove(path.c_str());
    return 0;
}
