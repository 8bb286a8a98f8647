#include "project/qrx_file.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <random>

#include "catalogue/lookup.h"
#include "core/operator_ports.h"
#include "project/program_image.h"

namespace proj {
namespace {

// Reads big-endian fields from a bounded window; a read past the window marks it failed and
// yields zeros, so callers check `ok` once at the end.
class FieldReader {
  public:
    FieldReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    std::uint8_t U8() {
        std::uint8_t b = 0;
        Copy(&b, 1);
        return b;
    }
    std::uint16_t U16() {
        std::uint8_t b[2] = {};
        Copy(b, 2);
        return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
    }
    std::uint32_t U32() {
        std::uint8_t b[4] = {};
        Copy(b, 4);
        return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
               (std::uint32_t{b[2]} << 8) | b[3];
    }
    void Copy(void* out, std::size_t n) {
        if (!ok_ || n > size_ - pos_) {
            ok_ = false;
            return;
        }
        if (n) std::memcpy(out, data_ + pos_, n);
        pos_ += n;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

class FieldWriter {
  public:
    explicit FieldWriter(std::uint8_t* out) : out_(out) {}
    void U8(std::uint8_t v) { out_[pos_++] = v; }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v >> 8));
        U8(static_cast<std::uint8_t>(v));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v >> 16));
        U16(static_cast<std::uint16_t>(v));
    }
    void Bytes(const void* data, std::size_t n) {
        if (n) std::memcpy(out_ + pos_, data, n);
        pos_ += n;
    }
    std::size_t pos() const { return pos_; }

  private:
    std::uint8_t* out_;
    std::size_t pos_ = 0;
};

std::uint16_t Sum16(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint16_t>(ByteSum(bytes));
}

}  // namespace

std::string_view EnglishMessage(std::uint16_t key) {
    switch (key) {
        case kMsgNotProject:
            return "This is not the Corvane project file, please inspect !";
        case kMsgContentDiffers:
            return "The file and the file content information is different, please inspect or "
                   "contacts "
                   "Corvane !";
        case kMsgIncompatible:
            return "This file is incompatible format and unable to open !";
        case kMsgNewerVersion:
            return "This AP is not the newest edition, is unable to open the new edition the file, "
                   "please "
                   "contact Corvane !";
        case kMsgAskOldFile:
            return "This file is old, opening possibly can have information losing, whether has to "
                   "open ?";
        case 2007:
            return "Please load the ISP code file !";
        case kMsgAskOldKind:
            return "This file is incompatible format, whether has to open ?";
        case kMsgTargetUnsupported:
            return "The target is not supported!";
        case kMsgError:
            return "Error!";
        default:
            return {};
    }
}

std::string MessageText(std::uint16_t key) {
    return cat::LanguageTextOr(key, EnglishMessage(key));
}

SaveMoment CurrentSaveMoment() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    SaveMoment m;
    m.year = local.tm_year + 1900;
    m.month = local.tm_mon + 1;
    m.day = local.tm_mday;
    m.hour = local.tm_hour;
    m.minute = local.tm_min;
    m.second = local.tm_sec;
    // Nothing reads these back; they only make two saves of the same project differ.
    std::minstd_rand generator(
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                   static_cast<std::uint64_t>(now)));
    m.random0 = static_cast<std::uint8_t>(generator());
    m.random1 = static_cast<std::uint8_t>(generator());
    return m;
}

std::uint16_t ProjectTrailerLength(ProjectInfo& info) {
    info.trailerLength = static_cast<std::uint16_t>(kTrailerFixedLength + info.sourceNameLength +
                                                    info.optionCount + info.ispNameLength);
    return info.trailerLength;
}

std::uint16_t WriteProjectTrailer(ProjectInfo& info, std::span<std::uint8_t> out,
                                  const SaveMoment& moment) {
    const std::uint16_t length = ProjectTrailerLength(info);
    if (out.size() < length) return 0;

    info.saveStamp[0] = moment.random0;
    info.saveStamp[1] = moment.random1;
    info.saveStamp[2] = static_cast<std::uint8_t>(moment.year + 48);  // same byte as year - 2000
    info.saveStamp[3] = static_cast<std::uint8_t>(moment.month);
    info.saveStamp[4] = static_cast<std::uint8_t>(moment.day);
    info.saveStamp[5] = static_cast<std::uint8_t>(moment.hour);
    info.saveStamp[6] = static_cast<std::uint8_t>(moment.minute);
    info.saveStamp[7] = static_cast<std::uint8_t>(moment.second);
    info.trailerChecksum = 0;

    const std::size_t n = info.sourceNameLength;
    const std::size_t o = info.optionCount;
    const std::size_t s = info.ispNameLength;
    FieldWriter w(out.data());
    w.Bytes(kProjectMagic.data(), kProjectMagic.size());
    w.U8(info.sourceNameLength);
    w.Bytes(info.sourceName.data(), n);
    w.U32(info.dataLength);
    w.U16(info.dataChecksum);
    w.U16(info.partIndex);
    w.U8(info.layout);
    w.U8(info.optionCount);
    w.Bytes(info.optionBytes.data(), o);
    w.U8(info.autoSteps);
    w.U8(info.ispSource);
    w.U32(info.apLength);
    w.U16(info.ispLength);
    w.U8(info.ispNameLength);
    w.Bytes(info.ispName.data(), s);
    w.U8(info.oscIndex);
    w.U16(info.maxCounter);
    w.U8(info.serialEnabled);
    w.U8(info.autoIncrement);
    w.U32(info.serialAddress);
    w.Bytes(info.serialString.data(), info.serialString.size());
    w.U32(info.serialNumber);
    w.Bytes(info.saveStamp.data(), info.saveStamp.size());
    w.U16(info.customFlag);
    w.U16(info.formatVersion);
    w.U8(info.formatKind);
    const std::size_t checksumAt = w.pos();
    w.U16(0);
    w.U16(length);

    info.trailerChecksum = Sum16(out.first(length));
    out[checksumAt] = static_cast<std::uint8_t>(info.trailerChecksum >> 8);
    out[checksumAt + 1] = static_cast<std::uint8_t>(info.trailerChecksum);
    return length;
}

int OldPartIndex(std::uint16_t oldCode) {
    static constexpr int kTable[32] = {-1,   1,    2,  3,  4,    5,    6,  0x81, 0x82, 0x83, 0x84,
                                       0x85, 0x86, 7,  8,  0x87, 0x88, 9,  10,   11,   -1,   -1,
                                       -1,   -1,   -1, -1, -1,   -1,   -1, -1,   -1,   -1};
    return kTable[oldCode & 0x1F];
}

std::uint8_t OldLayout(std::uint8_t oldLayout) {
    static constexpr std::uint8_t kMap[4] = {LAYOUT_NONE, LAYOUT_AP_ONLY, LAYOUT_ISP_ONLY,
                                             LAYOUT_AP_ISP};
    return kMap[oldLayout & 3];
}

std::uint8_t OldAutoSteps(std::uint8_t m) {
    std::uint8_t steps = 0;
    if (m & 0x40) steps |= 0x01;
    if (m & 0x08) steps |= 0x02;
    if (m & 0x10) steps |= 0x04;
    if (m & 0x20) steps |= 0x08;
    if (m & 0x02) steps |= 0x10;
    if (m & 0x04) steps |= 0x20;
    return steps;
}

TrailerReadResult ReadProjectTrailer(ProjectInfo& info, std::span<const std::uint8_t> file,
                                     bool interactive, core::Questions* questions) {
    return ReadProjectTrailer(info, file, interactive, questions, cat::ProjectVersion());
}

TrailerReadResult ReadProjectTrailer(ProjectInfo& info, std::span<const std::uint8_t> file,
                                     bool interactive, core::Questions* questions,
                                     std::uint16_t projectVersion) {
    ResetProjectInfo(info);
    info.formatVersion = projectVersion;
    TrailerReadResult result;
    auto reject = [&](std::uint16_t key) {
        result.errorKey = key;
        if (questions) questions->AskOkCancel({}, MessageText(key));
        return result;
    };
    auto ask = [&](std::uint16_t key) {
        return questions && questions->AskYesNo({}, MessageText(key));
    };

    const std::size_t size = file.size();
    if (size < kTrailerTail) return reject(kMsgIncompatible);
    FieldReader tail(file.data() + size - kTrailerTail, kTrailerTail);
    tail.Copy(info.saveStamp.data(), info.saveStamp.size());
    info.customFlag = tail.U16();
    info.formatVersion = tail.U16();
    info.formatKind = tail.U8();
    info.trailerChecksum = tail.U16();
    info.trailerLength = tail.U16();
    const std::size_t trailer = info.trailerLength;
    if (info.formatKind != kKindOld && info.formatKind != kKindCurrent)
        return reject(kMsgIncompatible);
    if (trailer < kTrailerTail || trailer > size) return reject(kMsgIncompatible);
    const std::size_t dataLength = size - trailer;
    const std::uint8_t* start = file.data() + dataLength;

    // Every field lies between the trailer's start and its fixed tail.
    FieldReader r(start, trailer - kTrailerTail);
    r.Copy(info.magic.data(), info.magic.size());
    info.sourceNameLength = r.U8();
    r.Copy(info.sourceName.data(), info.sourceNameLength);
    info.dataLength = r.U32();
    info.dataChecksum = r.U16();
    if (info.formatKind == kKindOld) {
        const std::uint16_t oldPart = r.U16();
        info.layout = OldLayout(r.U8());
        info.optionCount = r.U8();
        r.Copy(info.optionBytes.data(), info.optionCount);
        info.autoSteps = OldAutoSteps(r.U8());
        info.ispSource = r.U8();
        info.apLength = r.U16();
        info.ispLength = r.U16();
        info.ispNameLength = r.U8();
        r.Copy(info.ispName.data(), info.ispNameLength);
        if (!r.ok()) return reject(kMsgIncompatible);
        const int part = OldPartIndex(oldPart);
        if (part < 0) return reject(kMsgIncompatible);
        info.partIndex = static_cast<std::uint16_t>(part);
        if (interactive && !ask(kMsgAskOldKind)) return result;
        info.formatKind = kKindCurrent;
        info.formatVersion = projectVersion;
    } else {
        info.partIndex = r.U16();
        info.layout = r.U8();
        info.optionCount = r.U8();
        r.Copy(info.optionBytes.data(), info.optionCount);
        info.autoSteps = r.U8();
        info.ispSource = r.U8();
        info.apLength = r.U32();
        info.ispLength = r.U16();
        info.ispNameLength = r.U8();
        r.Copy(info.ispName.data(), info.ispNameLength);
        if (info.formatVersion >= kVersionOscillator) {
            info.oscIndex = r.U8();
            info.maxCounter = r.U16();
        }
        if (info.formatVersion >= kVersionOffline) {
            info.serialEnabled = r.U8();
            info.autoIncrement = r.U8();
            info.serialAddress = r.U32();
            r.Copy(info.serialString.data(), info.serialString.size());
            info.serialNumber = r.U32();
        }
        if (!r.ok()) return reject(kMsgIncompatible);
        if (info.formatVersion > projectVersion) return reject(kMsgNewerVersion);
        if (info.formatVersion < projectVersion) {
            if (interactive && !ask(kMsgAskOldFile)) return result;
            info.formatVersion = projectVersion;
        }
    }

    if (!std::equal(kProjectMagic.begin(), kProjectMagic.end(), start))
        return reject(kMsgNotProject);
    const std::uint16_t stored =
        static_cast<std::uint16_t>(Sum16({start, trailer}) - file[size - 4] - file[size - 3]);
    if (stored != info.trailerChecksum || dataLength != info.dataLength ||
        Sum16(file.first(dataLength)) != info.dataChecksum) {
        return reject(kMsgContentDiffers);
    }
    result.accepted = true;
    result.dataLength = static_cast<std::uint32_t>(dataLength);
    return result;
}

}  // namespace proj
