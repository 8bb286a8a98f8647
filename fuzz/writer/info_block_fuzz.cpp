// Any 512 bytes as the writer's information block: every text is worked out without reading
// outside the block, whatever part, option count or lengths it names. The first input byte
// (beyond the block) picks the part whose lists the window shows.
#include <cstddef>
#include <cstdint>

#include "catalogue/part_database.h"
#include "workbench/workbench.h"
#include "writer/info_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static model::Workbench* bench = [] {
        auto* b = new model::Workbench;
        b->FillSeriesList();
        return b;
    }();
    if (size < 1) return 0;
    static const std::vector<int> parts = cat::AllPartIndices();
    bench->SelectPartByIndex(parts[data[0] % parts.size()]);
    writer::InfoBlock block;
    block.fill(0xFF);
    for (std::size_t i = 1; i < size && i <= block.size(); ++i) block[i - 1] = data[i];
    const int index = writer::ResolveInfoPartIndex(block);
    const auto readout =
        writer::ReadoutOf(block, index, {bench->parts, bench->panel.isp, bench->panel.osc});
    return readout.options.size() == writer::kInfoOptionRows ? 0 : 1;
}
