#include "workbench/file_actions.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>

#include "catalogue/part_database.h"
#include "project/file_io.h"
#include "project/intel_hex.h"
#include "project/program_image.h"

namespace model {
// The file actions are the workbench's side of the project library's formats.
using namespace proj;

namespace {

constexpr std::size_t kStringIdAt = 16;
constexpr std::size_t kStringIdLength = 32;
constexpr std::size_t kRandomKeyAt = 48;
constexpr std::size_t kCustomIdAt = 52;

void Log(model::Workbench& bench, std::string_view text) {
    if (auto* log = bench.log()) log->Append(text);
}
void ClearLog(model::Workbench& bench) {
    if (auto* log = bench.log()) log->Clear();
}

std::vector<std::uint8_t> BufferBytes(const model::Workbench& bench) {
    return bench.buffer() ? bench.buffer()->Bytes() : std::vector<std::uint8_t>{};
}

std::string FullPath(const std::string& path) {
    std::error_code ec;
    const auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.string();
}

std::string_view AsText(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool PartSupported(int p) {
    return p <= cat::kMaxPartIndex && cat::Part(p).DeviceCode() != 0 && cat::Part(p).Exists();
}

// Project load, from LoadProgramFile with the whole file in memory. The file is read once into a
// record of its own, because selecting its part resets the window's record.
core::Outcome LoadProject(model::Workbench& bench, const std::string& path,
                          const std::vector<std::uint8_t>& file, core::Questions& questions) {
    ProjectInfo loaded;
    const TrailerReadResult read = ReadProjectTrailer(loaded, file, true, &questions);
    if (!read.accepted || read.dataLength == 0) {
        // Back to the part that was selected, with an empty buffer and a fresh record.
        bench.SelectPartByIndex(bench.currentPart);
        Log(bench, kLogLoadQrx);
        return core::Outcome::Failed();
    }
    const int p = loaded.partIndex;
    if (!PartSupported(p)) {
        // Nothing changes: the record stays the selected part's, so writer operations keep
        // sending that part's device code.
        questions.Inform(MessageText(kMsgError), MessageText(kMsgTargetUnsupported));
        bench.NotifyChanged(model::kChangeProject);
        return core::Outcome::Failed();
    }
    bench.SelectPartByIndex(p);
    Log(bench, kLogLoadQrx);
    bench.currentPart = static_cast<std::int16_t>(p);
    ProjectInfo& info = bench.info;
    info = loaded;
    info.partIndex = static_cast<std::uint16_t>(cat::Part(p).DeviceCode());
    bench.panel.ShowOptionBytes();
    bench.panel.osc.SelectByValue(info.oscIndex);
    bench.userIspPath = std::string(info.IspName());
    bench.filepath.text = FullPath(path) + " (" + std::string(info.SourceName()) + ")";
    const std::span<const std::uint8_t> data(file.data(), read.dataLength);
    info.dataLength = read.dataLength;
    info.dataChecksum = static_cast<std::uint16_t>(proj::ByteSum(data));
    if (auto* buffer = bench.buffer()) buffer->SetBytes({data.begin(), data.end()});
    bench.NotifyChanged();
    return core::Outcome::Passed();
}

// "HEX line 12: bad checksum !"
std::string DamageLine(const HexDamage& damage) {
    return "HEX line " + std::to_string(damage.line) + ": " + damage.what + " !";
}

}  // namespace

SaveEntropy CurrentSaveEntropy() {
    SaveEntropy e;
    e.moment = CurrentSaveMoment();
    std::minstd_rand generator(
        static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    for (int i = 0; i < 2; ++i) {
        const auto value = static_cast<std::uint16_t>(generator() ^ generator());
        e.key[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>(value >> 8);
        e.key[static_cast<std::size_t>(2 * i + 1)] = static_cast<std::uint8_t>(value);
    }
    return e;
}

core::Outcome LoadProgramFile(model::Workbench& bench, const std::string& path,
                              FileDialogs& dialogs, core::Questions& questions) {
    const FileContent content = ReadWholeFile(path);
    if (content.status == ReadStatus::CannotOpen) return core::Outcome::Failed();
    if (content.status == ReadStatus::TooLarge) return core::Outcome::Failed(kWhyTooLarge);
    if (content.bytes.empty()) return core::Outcome::Passed();
    if (HasExtension(path, ".qrx")) return LoadProject(bench, path, content.bytes, questions);

    const cat::Part part(bench.currentPart);
    const auto place = dialogs.SelectArea(part.Number(cat::key::kIapLoadAddress));
    if (!place) return core::Outcome::Failed();

    HexImage hex;
    std::span<const std::uint8_t> image = content.bytes;
    std::uint64_t size = content.bytes.size();
    if (HasExtension(path, ".hex")) {
        hex = ParseIntelHex(AsText(content.bytes));
        if (hex.damage) return core::Outcome::Failed(DamageLine(*hex.damage));
        image = hex.bytes;
        size = hex.length;  // beyond the bytes kept when the image is huge; refused below
    }
    const std::uint32_t codeSize = part.CodeSize();
    const std::uint32_t maxLoadSize = part.MaxLoadSize() ? part.MaxLoadSize() : codeSize;
    if (*place + size > maxLoadSize) return core::Outcome::Failed(kWhyTooLarge);

    ProjectInfo& info = bench.info;
    info.SetSourceName(FileNameOf(path));
    const std::vector<std::uint8_t> current = BufferBytes(bench);
    const ByteVector merged = MergeProgramImage(info, current, image, *place,
                                                BufferGeometry{codeSize, bench.panel.IspSize()});

    if (auto* buffer = bench.buffer()) buffer->ClearAll();
    bench.BlankStatusLine();
    bench.filepath.text = FullPath(path);
    if (!merged.empty()) {
        info.dataLength = static_cast<std::uint32_t>(merged.size());
        info.dataChecksum = static_cast<std::uint16_t>(proj::ByteSum(merged));
        if (auto* buffer = bench.buffer()) buffer->SetBytes(merged);
    }
    bench.NotifyChanged(model::kChangeStatusLine | model::kChangeProject);
    return core::Outcome::Passed();
}

void LogLoadResult(model::Workbench& bench, const core::Outcome& loaded) {
    if (loaded.passed()) {
        Log(bench, kLogOk);
        return;
    }
    Log(bench, kLogFail);
    if (!loaded.why().empty()) Log(bench, loaded.why() + "\r\n");
}

void LoadFileButton(model::Workbench& bench, FileDialogs& dialogs, core::Questions& questions) {
    const auto path = dialogs.OpenProgramFile();
    ClearLog(bench);
    Log(bench, kLogLoadFile);
    if (!path) {
        Log(bench, kLogCancelled);
        return;
    }
    LogLoadResult(bench, LoadProgramFile(bench, *path, dialogs, questions));
}

core::Outcome LoadFileAtStartup(model::Workbench& bench, const std::string& path,
                                FileDialogs& dialogs, core::Questions& questions) {
    ClearLog(bench);
    Log(bench, kLogLoadFile);
    core::Outcome loaded = LoadProgramFile(bench, path, dialogs, questions);
    LogLoadResult(bench, loaded);
    return loaded;
}

core::Outcome SaveBufferButton(model::Workbench& bench, FileDialogs& dialogs) {
    ClearLog(bench);
    if (bench.IsBufferEmpty()) {
        Log(bench, kLogBufferEmpty);
        return core::Outcome::NotStarted("the code buffer is empty");
    }
    const auto path = dialogs.SaveBufferFile();
    Log(bench, kLogSaveBuffer);
    if (!path) {
        Log(bench, kLogCancelled);
        return core::Outcome::NotStarted();
    }
    const std::vector<std::uint8_t> bytes = BufferBytes(bench);
    const bool ok = WriteFileReplacing(*path, {bytes});
    Log(bench, ok ? kLogOk : kLogFail);
    return core::Outcome::From(ok);
}

bool WriteProjectFile(model::Workbench& bench, const std::string& path, const SaveMoment& moment) {
    ProjectInfo& info = bench.info;
    const ProjectInfo before = info;
    const std::vector<std::uint8_t> bytes = BufferBytes(bench);
    bench.ComposeOptionBytes();
    // The record follows the buffer through its change reports; take the bytes actually written.
    info.dataLength = static_cast<std::uint32_t>(bytes.size());
    info.dataChecksum = static_cast<std::uint16_t>(proj::ByteSum(bytes));
    const std::uint16_t deviceCode = info.partIndex;
    info.partIndex = static_cast<std::uint16_t>(bench.currentPart);
    std::vector<std::uint8_t> trailer(ProjectTrailerLength(info));
    WriteProjectTrailer(info, trailer, moment);
    info.partIndex = deviceCode;
    const bool ok = WriteFileReplacing(path, {bytes, trailer});
    if (!ok) info = before;  // as if the file could not be created: nothing was composed
    bench.NotifyChanged(model::kChangeProject | model::kChangeOptionPanel);
    return ok;
}

std::optional<std::string> SaveProjectButton(model::Workbench& bench, FileDialogs& dialogs,
                                             const SaveEntropy& entropy) {
    ClearLog(bench);
    if (bench.IsBufferEmpty()) {
        Log(bench, kLogBufferEmpty);
        return std::nullopt;
    }
    ProjectInfo& info = bench.info;
    auto& bytes = info.optionBytes;
    if (bench.customSetting == 1) {
        std::uint8_t customId = bytes[kCustomIdAt] == 0xFF ? 0 : bytes[kCustomIdAt];
        std::string stringId;
        for (std::size_t i = kStringIdAt; i < kStringIdAt + kStringIdLength; ++i) {
            if (bytes[i] < 0x20 || bytes[i] > 0x7E) break;
            stringId += static_cast<char>(bytes[i]);
        }
        dialogs.CustomSetting(customId, stringId);
        bytes[kCustomIdAt] = customId;
        std::fill_n(bytes.begin() + kStringIdAt, kStringIdLength, std::uint8_t{0});
        std::copy_n(stringId.begin(), std::min(stringId.size(), kStringIdLength),
                    bytes.begin() + kStringIdAt);
        info.customFlag = 1;
    } else if (info.optionCount == 64) {
        bytes[kCustomIdAt] = 5;
        info.customFlag = 1;
    } else {
        info.customFlag = 0;
    }
    std::copy(entropy.key.begin(), entropy.key.end(), bytes.begin() + kRandomKeyAt);
    bench.NotifyChanged(model::kChangeProject);

    const auto path = dialogs.SaveProjectFile();
    Log(bench, kLogSaveQrx);
    if (!path) {
        Log(bench, kLogCancelled);
        return std::nullopt;
    }
    const bool ok = WriteProjectFile(bench, *path, entropy.moment);
    Log(bench, ok ? kLogOk : kLogFail);
    if (!ok) return std::nullopt;
    return path;
}

core::Outcome InsertIspButton(model::Workbench& bench, FileDialogs& dialogs) {
    ClearLog(bench);
    Log(bench, kLogInsertIsp);
    const auto choice = dialogs.InsertIsp();
    if (!choice) {
        Log(bench, kLogCancelled);
        return core::Outcome::NotStarted();
    }
    ProjectInfo& info = bench.info;
    bench.userIspPath = choice->path;
    info.ispSource = choice->source;
    const cat::Part part(bench.currentPart);
    const std::uint32_t codeSize = part.CodeSize();

    std::vector<std::uint32_t> spaces;
    for (const auto& entry : bench.panel.isp.entries())
        spaces.push_back(static_cast<std::uint32_t>(entry.value));
    auto refuseUserCode = [&](const std::string& reason) {
        info.ispSource = ISP_SRC_NONE;
        bench.userIspPath.clear();
        Log(bench, kLogFail);
        Log(bench, reason);
        bench.NotifyChanged(model::kChangeProject);
        return core::Outcome::Failed(reason);
    };
    auto refuse = [&](const std::string& reason) {
        Log(bench, kLogFail);
        Log(bench, reason);
        bench.NotifyChanged(model::kChangeProject);
        return core::Outcome::Failed(reason);
    };

    ByteVector code;
    if (info.ispSource == ISP_SRC_USER) {
        const FileContent content = ReadWholeFile(choice->path);
        if (content.status == ReadStatus::CannotOpen)
            return refuseUserCode("Open custom ISP-code fail !");
        bool complete = content.status == ReadStatus::Ok;
        if (complete && HasExtension(choice->path, ".hex")) {
            HexImage hex = ParseIntelHex(AsText(content.bytes));
            if (hex.damage) return refuseUserCode(DamageLine(*hex.damage));
            complete = hex.Complete();
            code = std::move(hex.bytes);
        } else {
            code = content.bytes;
        }
        const std::uint32_t largest = spaces.empty() ? 0 : spaces.back();
        if (!complete || code.size() > largest)
            return refuseUserCode("Custom ISP-code size is too large !");
        info.SetIspName(FileNameOf(choice->path));
    } else {
        const auto image =
            cat::LookupImage(static_cast<std::uint16_t>(part.Number(cat::key::kIspCode)));
        if (!image) return refuse("No found default ISP-code !");
        code.assign(image->bytes().begin(), image->bytes().end());
        info.SetIspName("Default");
    }

    // The smallest space that holds the code; a part without one (or one beyond the code
    // space) cannot take it, whatever its source.
    const int position = ChooseIspSpace(spaces, code.size(), codeSize);
    if (position < 0) {
        if (info.ispSource == ISP_SRC_USER)
            return refuseUserCode("Custom ISP-code size is too large !");
        return refuse("ISP-code size is too large !");
    }
    info.ispLength = static_cast<std::uint16_t>(code.size());
    bench.OnIspChanged(position);

    if (info.apLength != 0 && codeSize == 0) return refuse("File size is zero !\r\n");
    const std::vector<std::uint8_t> current = BufferBytes(bench);
    const ByteVector composed =
        ComposeIspBuffer(info, current, code, BufferGeometry{codeSize, bench.panel.IspSize()});
    if (const auto clearBits = part.Text(cat::key::kIspClearBits)) {
        ApplyIspBootBits(info, *clearBits);
        bench.panel.ShowOptionBoxes();
    }
    if (auto* buffer = bench.buffer()) {
        // Setting no bytes leaves the control as it was; an empty code alone is an empty buffer.
        if (composed.empty()) {
            buffer->ClearAll();
        } else {
            buffer->SetBytes(composed);
        }
    }
    Log(bench, kLogOk);
    bench.NotifyChanged(model::kChangeProject | model::kChangeOptionPanel);
    return core::Outcome::Passed();
}

}  // namespace model
