#include "vwriter/device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "catalogue/lookup.h"
#include "catalogue/part_database.h"

namespace vw {

namespace {

constexpr std::uint16_t kTrimFlagKey = 0x000D;
constexpr std::uint16_t kDfuImageBase = 0x0100;
constexpr std::uint16_t kCommandImageBase = 0x0200;
constexpr char kStateMagic[8] = {'V', 'W', 'S', 'T', 'A', 'T', 'E', '1'};
constexpr std::uint32_t kMaxFlash = 16u << 20;

struct KindName {
    FaultKind kind;
    const char* name;
    bool chunked;
};
constexpr KindName kKinds[] = {
    {FaultKind::kStatus0, "status0", false},
    {FaultKind::kNoReply, "noreply", false},
    {FaultKind::kShortReply, "shortreply", false},
    {FaultKind::kAck0, "ack0", true},
    {FaultKind::kNoAck, "noack", true},
    {FaultKind::kShortRead, "shortread", true},
    {FaultKind::kResult0, "result0", false},
    {FaultKind::kLie, "lie", false},
    {FaultKind::kDrop, "drop", true},
};

std::optional<std::uint32_t> ParseUnsigned(std::string_view text) {
    if (text.empty()) return std::nullopt;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        if (digit >= base) return std::nullopt;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::uint16_t GetLE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint64_t Fnv1a(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

std::string HexBytes(ByteSpan bytes) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        out += buf;
    }
    return out;
}

// --- state file: little-endian fields, then length-prefixed blobs
void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutBlob(std::string& out, const std::vector<std::uint8_t>& blob) {
    PutU32(out, static_cast<std::uint32_t>(blob.size()));
    out.append(reinterpret_cast<const char*>(blob.data()), blob.size());
}

class Reader {
  public:
    explicit Reader(const std::string& data) : data_(data) {}
    bool Bytes(std::uint8_t* out, std::size_t n) {
        if (n > data_.size() - pos_) return false;
        std::memcpy(out, data_.data() + pos_, n);
        pos_ += n;
        return true;
    }
    bool U8(std::uint8_t& v) { return Bytes(&v, 1); }
    bool U32(std::uint32_t& v) {
        std::uint8_t b[4];
        if (!Bytes(b, 4)) return false;
        v = static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16) |
            static_cast<std::uint32_t>(b[3]) << 24;
        return true;
    }
    bool Blob(std::vector<std::uint8_t>& out, std::uint32_t limit) {
        std::uint32_t n = 0;
        if (!U32(n) || n > limit || n > data_.size() - pos_) return false;
        out.assign(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
                   data_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
        pos_ += n;
        return true;
    }

  private:
    const std::string& data_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<Fault> ParseFault(std::string_view text) {
    const auto colon = text.find(':');
    const auto slash = text.find('/');
    if (colon == std::string_view::npos || slash == std::string_view::npos || slash < colon) {
        return std::nullopt;
    }
    const std::string_view kind = text.substr(0, colon);
    std::string_view rest = text.substr(colon + 1);
    std::string_view chunkText;
    if (const auto at = rest.find('@'); at != std::string_view::npos) {
        chunkText = rest.substr(at + 1);
        rest = rest.substr(0, at);
    }
    const auto s = rest.find('/');
    const auto cmd = ParseUnsigned(rest.substr(0, s));
    const auto sub = ParseUnsigned(rest.substr(s + 1));
    if (!cmd || !sub || *cmd > 0xFF || *sub > 0xFF) return std::nullopt;
    for (const auto& k : kKinds) {
        if (kind != k.name) continue;
        Fault f{k.kind, static_cast<std::uint8_t>(*cmd), static_cast<std::uint8_t>(*sub), 1};
        if (!chunkText.empty() || text.find('@') != std::string_view::npos) {
            const auto n = ParseUnsigned(chunkText);
            if (!k.chunked || !n || *n == 0) return std::nullopt;
            f.chunk = *n;
        }
        return f;
    }
    return std::nullopt;
}

std::string FormatFault(const Fault& fault) {
    for (const auto& k : kKinds) {
        if (k.kind != fault.kind) continue;
        std::string s(k.name);
        s += ':';
        s += std::to_string(fault.cmd);
        s += '/';
        s += std::to_string(fault.sub);
        if (k.chunked) {
            s += '@';
            s += std::to_string(fault.chunk);
        }
        return s;
    }
    return "?";
}

std::optional<ImageSignature> ReadSignature(ByteSpan image) {
    if (image.size() < kSignatureOffset + 8) return std::nullopt;
    const std::uint8_t* p = image.data() + kSignatureOffset;
    if (std::memcmp(p, "CVFW", 4) != 0) return std::nullopt;
    return ImageSignature{GetLE16(p + 4), p[6], p[7]};
}

FirmwareId FirmwareFor(int partIndex, bool old) {
    const cat::Part part(partIndex);
    const auto family = static_cast<std::uint8_t>(part.FirmwareFamily() & 0xFF);
    const auto secondary =
        static_cast<std::uint8_t>(part.Number(cat::key::kSecondaryFamily) & 0xFF);
    FirmwareId id{family, 0, 0, secondary, 0, 0};
    if (const auto img = cat::LookupImage(static_cast<std::uint16_t>(kDfuImageBase + family))) {
        id[1] = img->version1;
        id[2] = img->version2;
    }
    if (const auto img =
            cat::LookupImage(static_cast<std::uint16_t>(kCommandImageBase + secondary))) {
        id[4] = img->version1;
        id[5] = img->version2;
    }
    if (old) {
        // One version step back (as a 16-bit number) on both images.
        for (int i : {1, 4}) {
            const auto v = static_cast<std::uint16_t>((id[i] << 8 | id[i + 1]) - 1);
            id[i] = static_cast<std::uint8_t>(v >> 8);
            id[i + 1] = static_cast<std::uint8_t>(v & 0xFF);
        }
    }
    return id;
}

Device::Device() {
    std::lock_guard lock(mutex_);
    ResizeForPart();
    firmware_ = FirmwareFor(part_, false);
    dirty_ = true;  // a new device is written out on its first commit
}

void Device::ResizeForPart() {
    const cat::Part part(part_);
    deviceCode_ = part.DeviceCode();
    trimFlag_ = part.Number(kTrimFlagKey) != 0;
    const std::uint32_t size = std::min(part.CodeSize(), kMaxFlash);
    flash_.resize(size, 0xFF);
    options_.resize(std::min<std::uint32_t>(part.Number(cat::key::kOptionCount), 256), 0xFF);
}

void Device::InsertPart(int partIndex) {
    std::lock_guard lock(mutex_);
    part_ = partIndex;
    flash_.clear();
    options_.clear();
    trimmedOsc_ = 0;
    ResizeForPart();
    dirty_ = true;
}

int Device::PartIndex() const {
    std::lock_guard lock(mutex_);
    return part_;
}

std::uint32_t Device::CodeSize() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(flash_.size());
}

bool Device::CheckId(std::uint32_t deviceCode) const {
    std::lock_guard lock(mutex_);
    return !flash_.empty() && deviceCode == deviceCode_;
}

bool Device::WholeChipErase(std::uint32_t deviceCode) {
    std::lock_guard lock(mutex_);
    if (flash_.empty() || deviceCode != deviceCode_) return false;
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    std::fill(options_.begin(), options_.end(), 0xFF);
    dirty_ = true;
    return true;
}

bool Device::ErasePages(std::uint32_t start, std::uint32_t pages) {
    std::lock_guard lock(mutex_);
    const std::uint64_t first = start & ~(kPageSize - 1);
    const std::uint64_t end = first + static_cast<std::uint64_t>(pages) * kPageSize;
    // The last page of a chip whose size is not a page multiple is a short one.
    const std::uint64_t limit = (flash_.size() + kPageSize - 1) / kPageSize * kPageSize;
    if (start >= flash_.size() && pages > 0) return false;
    if (end > limit) return false;
    const std::uint64_t stop = std::min<std::uint64_t>(end, flash_.size());
    if (first < stop) {
        std::fill(flash_.begin() + static_cast<std::ptrdiff_t>(first),
                  flash_.begin() + static_cast<std::ptrdiff_t>(stop), 0xFF);
        dirty_ = true;
    }
    return true;
}

bool Device::InFlash(std::uint32_t start, std::uint32_t length) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint64_t>(start) + length <= flash_.size() &&
           (length > 0 || start <= flash_.size());
}

void Device::Program(std::uint32_t address, ByteSpan bytes) {
    std::lock_guard lock(mutex_);
    if (static_cast<std::uint64_t>(address) + bytes.size() > flash_.size()) return;
    for (std::size_t i = 0; i < bytes.size(); ++i) flash_[address + i] &= bytes[i];
    dirty_ = true;
}

std::vector<std::uint8_t> Device::ReadFlash(std::uint32_t start, std::uint32_t length) const {
    std::lock_guard lock(mutex_);
    if (static_cast<std::uint64_t>(start) + length > flash_.size()) return {};
    return {flash_.begin() + start, flash_.begin() + start + length};
}

std::size_t Device::OptionCount() const {
    std::lock_guard lock(mutex_);
    return options_.size();
}

void Device::ProgramOptions(ByteSpan bytes) {
    std::lock_guard lock(mutex_);
    const std::size_t n = std::min(bytes.size(), options_.size());
    std::copy_n(bytes.begin(), n, options_.begin());
    dirty_ = true;
}

std::vector<std::uint8_t> Device::ReadOptions(std::size_t count) const {
    std::lock_guard lock(mutex_);
    const std::size_t n = std::min(count, options_.size());
    return {options_.begin(), options_.begin() + static_cast<std::ptrdiff_t>(n)};
}

std::optional<std::uint8_t> Device::Trim(std::uint32_t deviceCode, std::uint32_t oscCode) {
    std::lock_guard lock(mutex_);
    if (flash_.empty() || deviceCode != deviceCode_) return std::nullopt;
    trimmedOsc_ = static_cast<std::uint8_t>(oscCode);
    dirty_ = true;
    return static_cast<std::uint8_t>(trimFlag_ ? 1 : 0);
}

FirmwareId Device::Firmware() const {
    std::lock_guard lock(mutex_);
    return firmware_;
}

void Device::SetFirmware(const FirmwareId& id) {
    std::lock_guard lock(mutex_);
    firmware_ = id;
    dirty_ = true;
}

Mode Device::CurrentMode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

void Device::SetMode(Mode mode) {
    std::lock_guard lock(mutex_);
    if (mode == Mode::kLoader && mode_ != Mode::kLoader) downloaded_.reset();
    mode_ = mode;
    dirty_ = true;
}

bool Device::AdoptCommandImage(ByteSpan image) {
    const auto sig = ReadSignature(image);
    if (!sig || (sig->id & 0xFF00) != kCommandImageBase) return false;
    std::lock_guard lock(mutex_);
    firmware_[3] = static_cast<std::uint8_t>(sig->id & 0xFF);
    firmware_[4] = sig->version1;
    firmware_[5] = sig->version2;
    dirty_ = true;
    return true;
}

bool Device::AcceptLoaderImage(ByteSpan image) {
    const auto sig = ReadSignature(image);
    if (!sig || (sig->id & 0xFF00) != kDfuImageBase) return false;
    std::lock_guard lock(mutex_);
    FirmwareId next = firmware_;
    next[0] = static_cast<std::uint8_t>(sig->id & 0xFF);
    next[1] = sig->version1;
    next[2] = sig->version2;
    downloaded_ = next;
    dirty_ = true;
    return true;
}

void Device::StartApplication() {
    std::lock_guard lock(mutex_);
    if (downloaded_) firmware_ = *downloaded_;
    downloaded_.reset();
    mode_ = Mode::kApplication;
    dirty_ = true;
}

void Device::StoreCode(ByteSpan code) {
    std::lock_guard lock(mutex_);
    code_.assign(code.begin(), code.end());
    dirty_ = true;
}

void Device::StoreInfo(ByteSpan record) {
    std::lock_guard lock(mutex_);
    info_.assign(record.begin(), record.end());
    // A new plan starts counting afresh.
    counter_ = 0;
    serialProgress_ = 0;
    dirty_ = true;
}

std::array<std::uint8_t, kInfoBlockSize> Device::InfoBlock() const {
    std::lock_guard lock(mutex_);
    std::array<std::uint8_t, kInfoBlockSize> block;
    block.fill(0xFF);
    std::copy_n(info_.begin(), std::min(info_.size(), kMaxInfoRecord), block.begin());
    for (int i = 0; i < 4; ++i) {
        block[504 + i] = static_cast<std::uint8_t>(counter_ >> (8 * i));
        block[508 + i] = static_cast<std::uint8_t>(serialProgress_ >> (8 * (3 - i)));
    }
    return block;
}

std::string Device::RunStandalone(std::uint32_t chips) {
    std::lock_guard lock(mutex_);
    if (info_.size() < 62) return "error: no off-line record stored";
    const std::uint32_t maxCounter = GetLE16(info_.data() + 23);
    const bool serial = info_[25] != 0;
    const bool autoIncrement = info_[26] != 0;
    const std::uint32_t room = maxCounter > counter_ ? maxCounter - counter_ : 0;
    const std::uint32_t done = std::min(chips, room);
    counter_ += done;
    if (serial && done > 0) {
        serialProgress_ = autoIncrement ? serialProgress_ + done : std::max(serialProgress_, 1u);
    }
    dirty_ = true;
    return "ok programmed=" + std::to_string(done) + " counter=" + std::to_string(counter_) +
           " serial_progress=" + std::to_string(serialProgress_) +
           (done < chips ? " (max counter reached)" : "");
}

void Device::AddFault(const Fault& fault) {
    std::lock_guard lock(mutex_);
    if (std::find(faults_.begin(), faults_.end(), fault) == faults_.end()) {
        faults_.push_back(fault);
    }
}

void Device::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::vector<Fault> Device::Faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

bool Device::HasFault(FaultKind kind, std::uint8_t cmd, std::uint8_t sub) const {
    std::lock_guard lock(mutex_);
    return std::any_of(faults_.begin(), faults_.end(), [&](const Fault& f) {
        return f.kind == kind && f.cmd == cmd && f.sub == sub;
    });
}

bool Device::HasChunkFault(FaultKind kind, std::uint8_t cmd, std::uint8_t sub,
                           std::uint32_t chunk) const {
    std::lock_guard lock(mutex_);
    return std::any_of(faults_.begin(), faults_.end(), [&](const Fault& f) {
        return f.kind == kind && f.cmd == cmd && f.sub == sub && f.chunk == chunk;
    });
}

void Device::SetStateFile(std::string path) {
    std::lock_guard lock(mutex_);
    statePath_ = std::move(path);
}

bool Device::LoadState(std::string* error) {
    std::lock_guard lock(mutex_);
    std::ifstream in(statePath_, std::ios::binary);
    if (!in) {
        if (error) *error = "no state file";
        return false;
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Reader r(data);
    std::uint8_t magic[8];
    std::uint32_t part = 0, counter = 0, serial = 0;
    std::uint8_t mode = 0, hasDownloaded = 0, osc = 0;
    FirmwareId fw{}, down{};
    std::vector<std::uint8_t> flash, options, code, info;
    const bool ok = r.Bytes(magic, 8) && std::memcmp(magic, kStateMagic, 8) == 0 && r.U32(part) &&
                    r.U8(mode) && r.Bytes(fw.data(), fw.size()) && r.U8(hasDownloaded) &&
                    r.Bytes(down.data(), down.size()) && r.U8(osc) && r.U32(counter) &&
                    r.U32(serial) && r.Blob(flash, kMaxFlash) && r.Blob(options, 256) &&
                    r.Blob(code, kMaxOfflineCode) && r.Blob(info, kMaxInfoRecord) &&
                    part <= static_cast<std::uint32_t>(cat::kMaxPartIndex) && mode <= 1;
    if (!ok) {
        if (error) *error = "state file is damaged";
        return false;
    }
    part_ = static_cast<int>(part);
    mode_ = static_cast<Mode>(mode);
    firmware_ = fw;
    downloaded_ = hasDownloaded ? std::optional<FirmwareId>(down) : std::nullopt;
    trimmedOsc_ = osc;
    counter_ = counter;
    serialProgress_ = serial;
    flash_ = std::move(flash);
    options_ = std::move(options);
    code_ = std::move(code);
    info_ = std::move(info);
    // The catalogue decides the chip's geometry; a state from another build is fitted to it.
    ResizeForPart();
    dirty_ = false;
    return true;
}

void Device::SaveLocked() {
    if (statePath_.empty()) return;
    std::string out(kStateMagic, sizeof kStateMagic);
    PutU32(out, static_cast<std::uint32_t>(part_));
    out.push_back(static_cast<char>(mode_));
    out.append(reinterpret_cast<const char*>(firmware_.data()), firmware_.size());
    out.push_back(downloaded_ ? 1 : 0);
    const FirmwareId down = downloaded_.value_or(FirmwareId{});
    out.append(reinterpret_cast<const char*>(down.data()), down.size());
    out.push_back(static_cast<char>(trimmedOsc_));
    PutU32(out, counter_);
    PutU32(out, serialProgress_);
    PutBlob(out, flash_);
    PutBlob(out, options_);
    PutBlob(out, code_);
    PutBlob(out, info_);
    // Written aside and renamed, so a crash never leaves half a state behind.
    const std::string temp = statePath_ + ".tmp";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        f.write(out.data(), static_cast<std::streamsize>(out.size()));
        if (!f) return;
    }
    std::error_code ec;
    std::filesystem::rename(temp, statePath_, ec);
    if (!ec) dirty_ = false;
}

void Device::Commit() {
    std::lock_guard lock(mutex_);
    if (dirty_) SaveLocked();
}

std::string Device::Report() const {
    std::lock_guard lock(mutex_);
    const cat::Part part(part_);
    std::ostringstream s;
    char buf[64];
    std::snprintf(buf, sizeof buf, "0x%04X", deviceCode_);
    s << "part=" << part_ << " name=" << part.Name() << " device_code=" << buf
      << " code_size=" << flash_.size() << "\n";
    s << "mode=" << (mode_ == Mode::kLoader ? "loader" : "application") << "\n";
    s << "firmware=" << HexBytes(firmware_) << "\n";
    s << "options=" << HexBytes(options_) << "\n";
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(Fnv1a(flash_)));
    s << "flash_fnv1a=" << buf << "\n";
    s << "flash_programmed=" << std::count_if(flash_.begin(), flash_.end(), [](std::uint8_t b) {
        return b != 0xFF;
    }) << "\n";
    std::uint32_t sum = 0;
    for (std::uint8_t b : code_) sum += b;
    std::snprintf(buf, sizeof buf, "0x%08X", sum);
    s << "offline_code=" << code_.size() << " sum=" << buf << "\n";
    s << "offline_info=" << info_.size() << "\n";
    s << "offline_record=" << HexBytes(info_) << "\n";
    s << "counter=" << counter_ << "\n";
    s << "serial_progress=" << serialProgress_ << "\n";
    s << "trimmed_osc=" << static_cast<unsigned>(trimmedOsc_) << "\n";
    s << "faults=";
    for (std::size_t i = 0; i < faults_.size(); ++i) s << (i ? "," : "") << FormatFault(faults_[i]);
    s << "\n";
    return s.str();
}

}  // namespace vw
