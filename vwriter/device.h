// The virtual writer's device model: the chip in its socket, the writer's firmware identity,
// the off-line store and its counters, and the faults injected for tests. Thread-safe: the
// protocol sessions and the control commands share one Device.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vw {

using ByteSpan = std::span<const std::uint8_t>;

// The 6-byte firmware reply: DFU family id and its two version bytes, then the command-4
// image id and its two version bytes.
using FirmwareId = std::array<std::uint8_t, 6>;

enum class Mode : std::uint8_t { kApplication = 0, kLoader = 1 };

enum class FaultKind {
    kStatus0,     // the status byte is 0
    kNoReply,     // nothing answers the frame
    kShortReply,  // the reply is one byte short
    kAck0,        // the acknowledgement of chunk N is 0
    kNoAck,       // the acknowledgement of chunk N never comes
    kShortRead,   // chunk N of a read is one byte short
    kResult0,     // the trim result byte is 0
    kLie,         // writes are acknowledged, nothing is stored
    kDrop,        // the connection is dropped at chunk N
    kStatus,      // every "yes" byte (status, acknowledgement, trim result) is `value`
    kDelay,       // the reply (for trim: the result) is held back `value` milliseconds
    kExtra,       // one unsolicited byte 1 follows the status byte
    kDeaf,        // the device takes nothing more from the host once it has the frame
    // HID reports (the report channel and uhid); `chunk` counts reports from the frame on.
    kShortReport,  // input report N is cut to half its size
    kReportId,     // input report N comes with a report id in front
    kWriteFail,    // output report N after the frame is refused: the host's write fails
    // The loader path; cmd holds the request letter.
    kLoaderDownload,  // a download request is refused
    kLoaderChecksum,  // a downloaded image is refused as if its sum were wrong
    kLoaderRestart,   // the restart into the application is never answered
};

struct Fault {
    FaultKind kind = FaultKind::kStatus0;
    std::uint8_t cmd = 0;
    std::uint8_t sub = 0;
    std::uint32_t chunk = 1;  // for the kinds that name a chunk
    std::uint32_t nth = 0;    // only the nth matching frame (from 1); 0: every one
    std::uint32_t value = 0;  // the status value or the delay in milliseconds
    bool operator==(const Fault&) const = default;
};

// "KIND:CMD/SUB[#K][@N][=V]" or "loader:download|checksum|restart[#K]"; numbers decimal or
// 0x hexadecimal, K and N counted from 1. Nullopt with `why` filled when the text is not a
// fault, or names a fault the command cannot show.
std::optional<Fault> ParseFault(std::string_view text, std::string* why = nullptr);
std::string FormatFault(const Fault& fault);

// Signature every carried firmware image holds at kSignatureOffset: "CVFW", image id (LE16),
// version byte 1, version byte 2.
inline constexpr std::size_t kSignatureOffset = 0x00F0;
struct ImageSignature {
    std::uint16_t id = 0;
    std::uint8_t version1 = 0;
    std::uint8_t version2 = 0;
};
std::optional<ImageSignature> ReadSignature(ByteSpan image);

// The identity that matches the images carried for a part's firmware family; `old` gives
// one that does not.
FirmwareId FirmwareFor(int partIndex, bool old);

inline constexpr std::size_t kInfoBlockSize = 512;
inline constexpr std::size_t kMaxInfoRecord = 504;  // the counters follow it
inline constexpr std::size_t kMaxOfflineCode = 1u << 20;
inline constexpr std::size_t kMaxImage = 256u * 1024;
inline constexpr std::uint32_t kPageSize = 512;

class Device {
  public:
    Device();

    // --- the chip in the socket
    void InsertPart(int partIndex);  // a fresh, erased chip
    int PartIndex() const;
    std::uint32_t CodeSize() const;
    bool CheckId(std::uint32_t deviceCode) const;
    bool WholeChipErase(std::uint32_t deviceCode);
    bool ErasePages(std::uint32_t start, std::uint32_t pages);
    bool InFlash(std::uint32_t start, std::uint32_t length) const;
    void Program(std::uint32_t address, ByteSpan bytes);  // clears bits only
    std::vector<std::uint8_t> ReadFlash(std::uint32_t start, std::uint32_t length) const;
    std::size_t OptionCount() const;
    void ProgramOptions(ByteSpan bytes);
    std::vector<std::uint8_t> ReadOptions(std::size_t count) const;
    // The trim result, or nullopt when the device code is not the chip's.
    std::optional<std::uint8_t> Trim(std::uint32_t deviceCode, std::uint32_t oscCode);

    // --- firmware
    FirmwareId Firmware() const;
    void SetFirmware(const FirmwareId& id);
    Mode CurrentMode() const;
    void SetMode(Mode mode);
    // Command-4 upgrade: adopts the image's identity when its signature is a command-4 one.
    bool AdoptCommandImage(ByteSpan image);
    // Loader download: keeps the identity for the restart into the application.
    bool AcceptLoaderImage(ByteSpan image);
    // Restart into the application, running a downloaded image when there is one.
    void StartApplication();

    // --- off-line store
    void StoreCode(ByteSpan code);
    void StoreInfo(ByteSpan record);
    std::array<std::uint8_t, kInfoBlockSize> InfoBlock() const;
    // Stand-alone programming of n chips; what happened, or an error text.
    std::string RunStandalone(std::uint32_t chips);
    // The flash of the last chip programmed stand-alone (empty before the first).
    std::vector<std::uint8_t> LastChip() const;

    // --- faults
    void AddFault(const Fault& fault);
    void ClearFaults();
    std::vector<Fault> Faults() const;
    bool HasFault(FaultKind kind, std::uint8_t cmd, std::uint8_t sub) const;
    bool HasChunkFault(FaultKind kind, std::uint8_t cmd, std::uint8_t sub,
                       std::uint32_t chunk) const;
    // Counts a frame (or a loader request, sub 0) against every fault that names it and
    // returns the faults that apply to this one.
    std::vector<Fault> BeginFrame(std::uint8_t cmd, std::uint8_t sub, bool loader = false);

    // --- host mistakes seen on the wire
    void NoteProtocolError();
    std::uint32_t ProtocolErrors() const;

    // --- persistence and inspection
    void SetStateFile(std::string path);
    bool LoadState(std::string* error);
    void Commit();  // writes the state file when something changed
    std::string Report() const;

  private:
    void ResizeForPart();
    void SaveLocked();

    mutable std::mutex mutex_;
    int part_ = 1;
    std::uint32_t deviceCode_ = 0;
    bool trimFlag_ = false;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> options_;
    std::uint8_t trimmedOsc_ = 0;
    FirmwareId firmware_{};
    std::optional<FirmwareId> downloaded_;
    Mode mode_ = Mode::kApplication;
    std::vector<std::uint8_t> code_;
    std::vector<std::uint8_t> info_;
    std::uint32_t counter_ = 0;
    std::uint32_t serialProgress_ = 0;
    std::vector<Fault> faults_;
    std::vector<std::uint32_t> faultSeen_;  // matching frames counted for each fault
    std::uint32_t protocolErrors_ = 0;
    std::vector<std::uint8_t> lastChip_;
    std::string statePath_;
    bool dirty_ = false;
};

}  // namespace vw
