// A station that records chips as fast as it can, for the tests that run several at once or
// kill one: production_recorder URL COUNT [--start N] [--fail-every K]
// [--writer NAME] [--writer-serial S] [--station S] [--time T] [--no-serial]
// Says "taken N" once a number is taken and "recorded N" once its chip is in the record.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "production/store.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: production_recorder URL COUNT [options]\n");
        return 2;
    }
    const std::string url = argv[1];
    const long count = std::atol(argv[2]);
    production::SerialSequence sequence{"LINE", 1, 1};
    long failEvery = 0;
    bool serials = true;
    production::ChipRecord chip = production::NewChip();
    chip.writerName = "vwriter:/run/w1";
    chip.partName = "CV51D32";
    chip.partIndex = 51;
    const std::pair<std::string, std::string*> kTexts[] = {{"--writer", &chip.writerName},
                                                           {"--writer-serial", &chip.writerSerial},
                                                           {"--station", &chip.station},
                                                           {"--time", &chip.timeUtc}};
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        const bool valued = i + 1 < argc;
        if (a == "--no-serial") {
            serials = false;
        } else if (a == "--start" && valued) {
            sequence.start = static_cast<std::uint32_t>(std::atol(argv[++i]));
        } else if (a == "--fail-every" && valued) {
            failEvery = std::atol(argv[++i]);
        } else {
            const auto* text = std::find_if(std::begin(kTexts), std::end(kTexts),
                                            [&](const auto& t) { return t.first == a; });
            if (text == std::end(kTexts) || !valued) return 2;
            *text->second = argv[++i];
        }
    }
    auto store = production::OpenRecord(url);
    if (!store) {
        std::fprintf(stderr, "%s\n", store.why.c_str());
        return 1;
    }
    for (long n = 1; n <= count; ++n) {
        if (serials) {
            const auto number = (*store.value)->TakeSerial(sequence);
            if (!number) {
                std::fprintf(stderr, "%s\n", number.why.c_str());
                return 1;
            }
            chip.sequence = sequence.name;
            chip.serial = *number.value;
            std::printf("taken %u\n", *number.value);
            std::fflush(stdout);
        }
        const bool failed = failEvery && n % failEvery == 0;
        chip.result = failed ? core::Ending::kFailed : core::Ending::kPassed;
        chip.steps = {{"Program", core::Ending::kPassed, 700}, {"Verify", chip.result, 300}};
        chip.elapsedMs = 1000;
        if (const auto appended = (*store.value)->Append(chip); !appended.passed()) {
            std::fprintf(stderr, "%s\n", appended.why().c_str());
            return 1;
        }
        std::printf("recorded %u\n", chip.serial.value_or(0));
        std::fflush(stdout);
    }
    return 0;
}
