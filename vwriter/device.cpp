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
#include "vwriter/numbers.h"

namespace vw {

namespace {

constexpr std::uint16_t kTrimFlagKey = 0x000D;
constexpr std::uint16_t kDfuImageBase = 0x0100;
constexpr std::uint16_t kCommandImageBase = 0x0200;
constexpr char kStateMagic[8] = {'V', 'W', 'S', 'T', 'A', 'T', 'E', '1'};
constexpr std::uint32_t kMaxFlash = 16u << 20;

// What a command answers, which decides the faults it can show.
enum Shape : unsigned {
    kUnknown = 1,     // answers status 0
    kFirmware = 2,    // 0/0: six bytes, no status byte
    kStatusOnly = 4,  // a status byte and nothing more
    kWrite = 8,       // a status byte, then acknowledged chunks from the host
    kRead = 16,       // a status byte, then pieces to the host
    kTrim = 32,       // a status byte, then the one-byte result
};
constexpr unsigned kAnyCommand = kUnknown | kFirmware | kStatusOnly | kWrite | kRead | kTrim;
constexpr unsigned kWithStatus = kStatusOnly | kWrite | kRead | kTrim;

unsigned ShapeOf(std::uint8_t cmd, std::uint8_t sub) {
    switch (cmd << 8 | sub) {
        case 0x0000:
            return kFirmware;
        case 0x0001:
        case 0x0100:
        case 0x0101:
            return kStatusOnly;
        case 0x0200:
        case 0x0201:
        case 0x0202:
        case 0x0203:
        case 0x0400:
            return kWrite;
        case 0x0300:
        case 0x0301:
        case 0x0302:
            return kRead;
        case 0x0304:
            return kTrim;
        default:
            return kUnknown;
    }
}

struct KindName {
    FaultKind kind;
    const char* name;
    bool chunked;
    unsigned shapes;                           // the commands it can apply to
    std::uint32_t minValue = 0, maxValue = 0;  // "=V" is required when maxValue > 0
};
constexpr KindName kKinds[] = {
    {FaultKind::kStatus0, "status0", false, kFirmware | kWithStatus},
    {FaultKind::kNoReply, "noreply", false, kAnyCommand},
    {FaultKind::kShortReply, "shortreply", false, kAnyCommand},
    {FaultKind::kAck0, "ack0", true, kWrite},
    {FaultKind::kNoAck, "noack", true, kWrite},
    {FaultKind::kShortRead, "shortread", true, kRead | kTrim},
    {FaultKind::kResult0, "result0", false, kTrim},
    {FaultKind::kLie, "lie", false, kWrite},
    {FaultKind::kDrop, "drop", true, kAnyCommand},
    {FaultKind::kStatus, "status", false, kWithStatus, 2, 255},
    {FaultKind::kDelay, "delay", false, kAnyCommand, 0, 60'000},
    {FaultKind::kExtra, "extra", false, kWithStatus},
    {FaultKind::kDeaf, "deaf", false, kWithStatus},
    {FaultKind::kShortReport, "shortreport", true, kAnyCommand},
    {FaultKind::kReportId, "reportid", true, kAnyCommand},
    {FaultKind::kWriteFail, "writefail", true, kWrite},
};

struct LoaderName {
    FaultKind kind;
    const char* what;
    std::uint8_t request;
};
constexpr LoaderName kLoaderKinds[] = {
    {FaultKind::kLoaderDownload, "download", 'D'},
    {FaultKind::kLoaderChecksum, "checksum", 'D'},
    {FaultKind::kLoaderRestart, "restart", 'A'},
};

bool IsLoaderKind(FaultKind kind) {
    return kind == FaultKind::kLoaderDownload || kind == FaultKind::kLoaderChecksum ||
           kind == FaultKind::kLoaderRestart;
}

std::optional<Fault> Refuse(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return std::nullopt;
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

std::optional<Fault> ParseFault(std::string_view text, std::string* why) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return Refuse(why, "expected KIND:CMD/SUB");
    const std::string_view kind = text.substr(0, colon);
    const std::string_view rest = text.substr(colon + 1);
    // The suffixes #K, @N and =V, each at most once, in any order.
    std::optional<std::string_view> nthText, chunkText, valueText;
    auto end = rest.find_first_of("#@=");
    const std::string_view body = rest.substr(0, end);
    while (end != std::string_view::npos) {
        const auto next = rest.find_first_of("#@=", end + 1);
        const std::string_view piece =
            rest.substr(end + 1, next == std::string_view::npos ? next : next - end - 1);
        auto& slot = rest[end] == '#' ? nthText : rest[end] == '@' ? chunkText : valueText;
        if (slot) return Refuse(why, std::string("'") + rest[end] + "' given twice");
        slot = piece;
        end = next;
    }
    Fault f;
    if (nthText) {
        const auto n = ParseNumber(*nthText, 1);
        if (!n) return Refuse(why, "#K counts matching frames from 1");
        f.nth = *n;
    }

    if (kind == "loader") {
        for (const auto& k : kLoaderKinds) {
            if (body != k.what) continue;
            if (chunkText || valueText) return Refuse(why, "loader faults take no @N or =V");
            f.kind = k.kind;
            f.cmd = k.request;
            return f;
        }
        return Refuse(why, "loader faults are download, checksum and restart");
    }

    const auto slash = body.find('/');
    if (slash == std::string_view::npos) return Refuse(why, "expected KIND:CMD/SUB");
    const auto cmd = ParseNumber(body.substr(0, slash), 0, 0xFF);
    const auto sub = ParseNumber(body.substr(slash + 1), 0, 0xFF);
    if (!cmd || !sub) return Refuse(why, "CMD and SUB are numbers from 0 to 255");
    f.cmd = static_cast<std::uint8_t>(*cmd);
    f.sub = static_cast<std::uint8_t>(*sub);
    const unsigned shape = ShapeOf(f.cmd, f.sub);
    const std::string command = std::to_string(*cmd) + "/" + std::to_string(*sub);
    for (const auto& k : kKinds) {
        if (kind != k.name) continue;
        f.kind = k.kind;
        if (!(k.shapes & shape)) {
            return Refuse(why, std::string(k.name) + " cannot apply to command " + command);
        }
        if (chunkText) {
            const auto n = ParseNumber(*chunkText, 1);
            if (!k.chunked || !n) return Refuse(why, std::string(k.name) + " takes no @N");
            // Only a data phase has more than one chunk.
            if (*n > 1 && !(shape & (kWrite | kRead))) {
                return Refuse(why, "command " + command + " has no chunk " + std::to_string(*n));
            }
            f.chunk = *n;
        }
        if (k.maxValue > 0) {
            const auto v =
                valueText ? ParseNumber(*valueText, k.minValue, k.maxValue) : std::nullopt;
            if (!v) {
                return Refuse(why, std::string(k.name) + " needs =V from " +
                                       std::to_string(k.minValue) + " to " +
                                       std::to_string(k.maxValue));
            }
            f.value = *v;
        } else if (valueText) {
            return Refuse(why, std::string(k.name) + " takes no =V");
        }
        return f;
    }
    return Refuse(why, "unknown fault kind '" + std::string(kind) + "'");
}

std::string FormatFault(const Fault& fault) {
    const std::string nth = fault.nth ? "#" + std::to_string(fault.nth) : "";
    for (const auto& k : kLoaderKinds) {
        if (k.kind == fault.kind) return std::string("loader:") + k.what + nth;
    }
    for (const auto& k : kKinds) {
        if (k.kind != fault.kind) continue;
        std::string s(k.name);
        s += ':';
        s += std::to_string(fault.cmd);
        s += '/';
        s += std::to_string(fault.sub);
        s += nth;
        if (k.chunked) {
            s += '@';
            s += std::to_string(fault.chunk);
        }
        if (k.maxValue > 0) {
            s += '=';
            s += std::to_string(fault.value);
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

namespace {

std::uint32_t GetLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
           static_cast<std::uint32_t>(p[3]) << 24;
}

// ANDs code[src, src + n) into chip[dest, ...), both clipped: the record is the host's and
// may name anything.
void ProgramClipped(std::vector<std::uint8_t>& chip, std::uint64_t dest,
                    const std::vector<std::uint8_t>& code, std::uint64_t src, std::uint64_t n) {
    if (src >= code.size() || dest >= chip.size()) return;
    n = std::min({n, code.size() - src, chip.size() - dest});
    for (std::uint64_t i = 0; i < n; ++i) chip[dest + i] &= code[src + i];
}

}  // namespace

std::string Device::RunStandalone(std::uint32_t chips) {
    std::lock_guard lock(mutex_);
    if (info_.size() < 62) return "error: no off-line record stored";
    const std::uint8_t* r = info_.data();
    const std::uint32_t maxCounter = GetLE16(r + 23);
    const bool serial = r[25] != 0;
    const bool autoIncrement = r[26] != 0;
    const std::uint32_t room = maxCounter > counter_ ? maxCounter - counter_ : 0;
    const std::uint32_t done = std::min(chips, room);
    std::string notes;
    if (done > 0) {
        // Chips of the part the record was made for when it names one, else of the socket's.
        int part = part_;
        const std::size_t m = r[59];
        if (GetLE16(r + 2) == 62 + m && info_.size() >= 62 + m) {
            const int index = GetLE16(r + 60 + m);
            if (index > 0 && index <= cat::kMaxPartIndex && cat::Part(index).Exists()) {
                part = index;
            }
        }
        // Every chip is a fresh one given the same code; only the last is kept, so a long
        // run costs no more than one chip.
        std::vector<std::uint8_t> chip(std::min(cat::Part(part).CodeSize(), kMaxFlash), 0xFF);
        const std::uint32_t apLength = GetLE32(r + 16);
        ProgramClipped(chip, 0, code_, 0, apLength);
        ProgramClipped(chip, GetLE32(r + 47), code_, apLength, GetLE32(r + 51));
        if (serial) {
            // Our serial field: the 12 string bytes, then the number high byte first.
            const std::uint32_t first = GetLE32(r + 43);
            const std::uint32_t number = autoIncrement ? first + serialProgress_ + done - 1 : first;
            std::vector<std::uint8_t> field(r + 31, r + 43);
            for (int i = 3; i >= 0; --i)
                field.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
            const std::uint32_t address = GetLE32(r + 27);
            if (static_cast<std::uint64_t>(address) + field.size() <= chip.size()) {
                ProgramClipped(chip, address, field, 0, field.size());
            } else {
                notes += " (serial field outside the chip)";
            }
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%08X", number);
            notes = std::string(" last_serial=") + buf + notes;
            serialProgress_ =
                autoIncrement ? serialProgress_ + done : std::max(serialProgress_, 1u);
        }
        notes = " part=" + std::to_string(part) + notes;
        counter_ += done;
        lastChip_ = std::move(chip);
        dirty_ = true;
    }
    return "ok programmed=" + std::to_string(done) + " counter=" + std::to_string(counter_) +
           " serial_progress=" + std::to_string(serialProgress_) + notes +
           (done < chips ? " (max counter reached)" : "");
}

std::vector<std::uint8_t> Device::LastChip() const {
    std::lock_guard lock(mutex_);
    return lastChip_;
}

void Device::AddFault(const Fault& fault) {
    std::lock_guard lock(mutex_);
    if (std::find(faults_.begin(), faults_.end(), fault) == faults_.end()) {
        faults_.push_back(fault);
        faultSeen_.push_back(0);
    }
}

void Device::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    faultSeen_.clear();
}

std::vector<Fault> Device::BeginFrame(std::uint8_t cmd, std::uint8_t sub, bool loader) {
    std::lock_guard lock(mutex_);
    std::vector<Fault> active;
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        const Fault& f = faults_[i];
        if (f.cmd != cmd || f.sub != sub || IsLoaderKind(f.kind) != loader) continue;
        ++faultSeen_[i];
        if (f.nth == 0 || faultSeen_[i] == f.nth) active.push_back(f);
    }
    return active;
}

void Device::NoteProtocolError() {
    std::lock_guard lock(mutex_);
    ++protocolErrors_;
}

std::uint32_t Device::ProtocolErrors() const {
    std::lock_guard lock(mutex_);
    return protocolErrors_;
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
    s << "protocol_errors=" << protocolErrors_ << "\n";
    return s.str();
}

}  // namespace vw
