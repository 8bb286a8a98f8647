#include "writer/offline.h"

#include <algorithm>
#include <string>

#include "catalogue/part_database.h"
#include "writer/offline_record.h"

namespace writer {

namespace {

// The buffer's bytes over 0xFF, at least `size` long.
std::vector<std::uint8_t> OfflineImage(const model::Workbench& bench, std::size_t size) {
    std::vector<std::uint8_t> bytes;
    if (core::CodeBufferPort* buffer = bench.buffer()) bytes = buffer->Bytes();
    if (bytes.size() < size) bytes.resize(size, 0xFF);
    return bytes;
}

// Clears `busy` however the operation ends.
struct BusyScope {
    explicit BusyScope(Writer& w) : writer(w) { writer.busy = true; }
    ~BusyScope() { writer.busy = false; }
    Writer& writer;
};

// Writes what it is given to the log and keeps a copy, the log's whole text since it was last
// cleared.
struct LogCopy {
    core::MessageSink& log;
    std::string text;
    void Append(std::string_view piece) {
        log.Append(piece);
        text += piece;
    }
};

}  // namespace

bool DownloadOffline(Writer& writer) {
    if (writer.busy) return false;
    BusyScope busy(writer);
    model::Workbench& bench = writer.bench();
    writer.log().Clear();
    if (bench.IsBufferEmpty()) {
        writer.log().Append("Code Buffer is empty !");
        return false;
    }
    proj::ProjectInfo& info = bench.info;
    if (std::uint64_t{info.apLength} + info.ispLength == 0) return false;
    if (!writer.BeginOperation().passed()) return false;

    const std::uint32_t codeSize = bench.CodeSize();
    const std::uint32_t ispSize = bench.panel.IspSize();
    const std::uint32_t ispStart = ispSize <= codeSize ? codeSize - ispSize : 0;
    bool ok = true;

    // The image covers the buffer, the code space and every range the move and the block name;
    // bytes past the buffer are erased ones.
    std::uint64_t needed = codeSize;
    if (info.layout == proj::LAYOUT_AP_ISP && info.apLength < ispStart)
        needed = std::max<std::uint64_t>(needed, std::uint64_t{ispStart} + info.ispLength);
    needed = std::max<std::uint64_t>(needed, std::uint64_t{info.apLength} + info.ispLength);
    if (needed > kMaxOfflineImage) ok = false;

    std::vector<std::uint8_t> image;
    if (ok) {
        image = OfflineImage(bench, static_cast<std::size_t>(needed));
        if (info.layout == proj::LAYOUT_AP_ISP) {
            if (info.apLength < ispStart) {
                ok = MoveBytes(image, ispStart, info.apLength, info.ispLength);
            } else {
                // The ISP code follows the AP bytes directly; the shortened length stays.
                info.apLength = ispStart;
            }
        }
    }

    if (ok) {
        const std::uint32_t blockLength = info.apLength + info.ispLength;
        const std::span<const std::uint8_t> block(image.data(), blockLength);
        const std::uint32_t sum = model::ByteSum(block, block.size());
        ok = writer.WriteCode(block.data(), blockLength, false).passed();
        if (ok) {
            RecordInputs inputs;
            inputs.apLength = info.apLength;
            inputs.codeChecksum = static_cast<std::uint16_t>(sum);
            inputs.ispStart = ispStart;
            inputs.partIndex = static_cast<std::uint16_t>(bench.currentPart);
            const std::vector<std::uint8_t> record = BuildOfflineRecord(info, inputs);
            ok = writer.WriteInfo(record.data(), static_cast<std::uint32_t>(record.size()), false)
                     .passed();
        }
    }
    writer.EndOperation();
    bench.NotifyChanged(model::kChangeProject);
    return ok;
}

bool ReadInfo(Writer& writer, const ReadInfoOptions& options) {
    if (writer.busy) return false;
    BusyScope busy(writer);
    if (!writer.BeginOperation().passed()) return false;
    model::Workbench& bench = writer.bench();
    WriterLink& link = writer.link();

    // BeginOperation left its opening line alone in the log.
    LogCopy log{writer.log(), "----Begin----\r\n"};
    const std::uint32_t start = writer.Now();
    log.Append("Read Info => ");
    link.progressDone = 0;
    link.progressTotal = kInfoBlockSize;
    InfoBlock block{};
    const bool ok = link.Exchange(3, 2, 0, kInfoBlockSize, 0, 1, nullptr, 0) != 0 &&
                    link.BulkRead(block.data(), kInfoBlockSize, 0);
    log.Append(ok ? "Pass !\t" : "Fail !\t");
    log.Append(writer.Elapsed(start));

    if (ok) {
        const int partIndex = ResolveInfoPartIndex(block);
        // Only a part that has a record is switched to; any other number leaves the window's
        // part, buffer and lists as they are.
        const bool known = partIndex <= cat::kMaxPartIndex && cat::Part(partIndex).Exists();
        if (known) {
            writer.log().Clear();
            const int position = bench.parts.SelectByValue(partIndex);
            if (position >= 0 && bench.parts.ValueOfSelection() == partIndex) {
                bench.OnPartSelected(position);
            } else {
                // Another series: the series list is searched by the part's series number, not
                // taken as a position, since series 4 is listed last.
                bench.SelectPartByIndex(partIndex);
            }
            if (options.restoreLog) writer.log().Append(log.text);
        }
        if (options.show) {
            const InfoLists lists{bench.parts, bench.panel.isp, bench.panel.osc};
            options.show(block, ReadoutOf(block, partIndex, lists));
        }
    }
    writer.EndOperation();
    return ok;
}

}  // namespace writer
