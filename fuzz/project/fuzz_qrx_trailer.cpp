// Any bytes as a project file: the reader must refuse or accept without reading outside them,
// in both modes, whatever the questions answer.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/operator_ports.h"
#include "project/qrx_file.h"

namespace {

struct Answers : core::Questions {
    bool yes = true;
    void Inform(std::string_view, std::string_view) override {}
    bool AskOkCancel(std::string_view, std::string_view) override { return true; }
    bool AskYesNo(std::string_view, std::string_view) override { return yes; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    Answers answers;
    for (int mode = 0; mode < 3; ++mode) {
        answers.yes = mode != 1;
        proj::ProjectInfo info;
        const auto r = proj::ReadProjectTrailer(info, file, mode < 2, &answers, 0x0310);
        if (r.accepted && (r.dataLength > size || r.errorKey != 0)) std::abort();
        if (r.accepted) {
            // What was accepted can be written again.
            std::uint8_t trailer[1024];
            if (proj::WriteProjectTrailer(info, trailer, proj::SaveMoment{}) == 0) std::abort();
        }
    }
    return 0;
}
