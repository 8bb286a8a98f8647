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

std::string Hex8(std::uint64_t value) {
    return core::Format("%08llX", static_cast<unsigned long long>(value));
}

// Why the code block cannot be taken from the part's code space; empty when every byte it names
// lies inside. The ISP code sits at the ISP start with the ISP code at the top, else right after
// the AP bytes.
std::string RangeBeyondChip(const proj::ProjectInfo& info, std::uint32_t codeSize,
                            std::uint32_t ispStart) {
    const std::uint64_t ap = info.apLength;
    const std::uint64_t ispFrom = info.layout == proj::LAYOUT_AP_ISP ? ispStart : ap;
    const std::string space = "the code size " + Hex8(codeSize);
    if (ap > codeSize) return "AP bytes 00000000-" + Hex8(ap - 1) + " lie beyond " + space;
    if (ispFrom + info.ispLength > codeSize) {
        return "ISP code " + Hex8(ispFrom) + "-" + Hex8(ispFrom + info.ispLength - 1) +
               " lies beyond " + space;
    }
    return {};
}

// `why` as a line of the log: a sentence of its own ending in " !".
std::string LogLine(std::string why) {
    if (!why.empty() && why[0] >= 'a' && why[0] <= 'z') why[0] = static_cast<char>(why[0] - 32);
    return why + " !\r\n";
}

// Write Code refused before anything is sent: its verdict and the reason.
core::Outcome RefuseWriteCode(Writer& writer, const std::string& why) {
    const std::uint32_t start = writer.Now();
    writer.log().Append("Write Code => Fail !\t");
    writer.log().Append(writer.Elapsed(start));
    writer.log().Append(LogLine(why));
    return core::Outcome::Failed(why);
}

// A record that lets the writer program no chip (MaxCounter 0) until the next download.
bool WriteStoppingRecord(Writer& writer, const proj::ProjectInfo& info, RecordInputs inputs) {
    proj::ProjectInfo stopped = info;
    stopped.maxCounter = 0;
    const std::vector<std::uint8_t> record = BuildOfflineRecord(stopped, inputs);
    return writer.WriteInfo(record.data(), static_cast<std::uint32_t>(record.size()), true)
        .passed();
}

// Write Code and Write Info inside the open operation.
core::Outcome SendOffline(Writer& writer, std::uint32_t ispStart) {
    model::Workbench& bench = writer.bench();
    proj::ProjectInfo& info = bench.info;
    const std::uint32_t codeSize = bench.CodeSize();
    // Nothing past the chip is sent, nor read from past the image.
    const std::string beyond = RangeBeyondChip(info, codeSize, ispStart);
    if (!beyond.empty()) return RefuseWriteCode(writer, beyond);

    std::vector<std::uint8_t> image = OfflineImage(bench, codeSize);
    if (info.layout == proj::LAYOUT_AP_ISP && info.apLength < ispStart &&
        !MoveBytes(image, ispStart, info.apLength, info.ispLength)) {
        return RefuseWriteCode(writer, "the ISP code does not fit the image");
    }
    const std::uint32_t blockLength = info.apLength + info.ispLength;
    const std::span<const std::uint8_t> block(image.data(), blockLength);
    if (!writer.WriteCode(block.data(), blockLength, false).passed())
        return core::Outcome::Failed();

    RecordInputs inputs;
    inputs.apLength = info.apLength;
    inputs.codeChecksum = static_cast<std::uint16_t>(core::ByteSum(block));
    inputs.ispStart = ispStart;
    inputs.partIndex = static_cast<std::uint16_t>(bench.currentPart);
    const std::vector<std::uint8_t> record = BuildOfflineRecord(info, inputs);
    if (writer.WriteInfo(record.data(), static_cast<std::uint32_t>(record.size()), false).passed())
        return core::Outcome::Passed();
    // The new code is in while the old record still names the old image's length: a stand-alone
    // run would program a chip that matches neither image.
    const std::string why =
        WriteStoppingRecord(writer, info, inputs)
            ? "the writer holds the new code without its record: stand-alone runs are stopped "
              "(MaxCounter 0) until the next good download"
            : "the writer holds the new code with the old record: download again before "
              "running stand-alone";
    writer.log().Append(LogLine(why));
    return core::Outcome::Failed(why);
}

}  // namespace

core::Outcome DownloadOffline(Writer& writer) {
    if (writer.busy) return core::Outcome::NotStarted();
    BusyScope busy(writer);
    model::Workbench& bench = writer.bench();
    writer.log().Clear();
    if (bench.IsBufferEmpty()) {
        writer.log().Append("Code Buffer is empty !");
        return core::Outcome::NotStarted("the code buffer is empty");
    }
    proj::ProjectInfo& info = bench.info;
    if (std::uint64_t{info.apLength} + info.ispLength == 0)
        return core::Outcome::NotStarted("nothing to download: no AP bytes and no ISP code");
    if (!writer.BeginOperation().passed()) return core::Outcome::NotStarted();

    const std::uint32_t codeSize = bench.CodeSize();
    const std::uint32_t ispSize = bench.panel.IspSize();
    const std::uint32_t ispStart = ispSize <= codeSize ? codeSize - ispSize : 0;
    // The ISP code follows the AP bytes directly; an AP image reaching into the ISP space is cut
    // there first, and the shortened length stays.
    if (info.layout == proj::LAYOUT_AP_ISP && info.apLength >= ispStart) info.apLength = ispStart;

    const core::Outcome outcome = SendOffline(writer, ispStart);
    writer.EndOperation();
    bench.NotifyChanged(model::kChangeProject);
    return outcome;
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
