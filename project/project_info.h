// The project record: what the code buffer's bytes mean, and what a QRX file stores behind them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace proj {

inline constexpr std::string_view kProjectMagic = "Corvane. Writer";  // 15 bytes, no NUL
inline constexpr std::size_t kNameCapacity = 260;
inline constexpr std::size_t kOptionCapacity = 260;
inline constexpr std::size_t kSerialStringLength = 12;

enum BufferLayout : std::uint8_t {
    LAYOUT_NONE = 0,    // old projects only; loads treat it like LAYOUT_AP_ONLY
    LAYOUT_AP_ISP = 1,  // application from 0, ISP code at the top when ispLength != 0
    LAYOUT_AP_ONLY = 2,
    LAYOUT_ISP_ONLY = 3,  // only the ISP code, from offset 0
};

enum IspSource : std::uint8_t {
    ISP_SRC_BUILTIN = 0,
    ISP_SRC_USER = 1,
    ISP_SRC_NONE = 255,
};

// Bits of autoSteps, the Auto batch.
enum AutoStep : std::uint8_t {
    AUTO_WHOLE_CHIP_ERASE = 0x01,
    AUTO_BLANK_CHECK = 0x02,
    AUTO_PROGRAM = 0x04,
    AUTO_VERIFY = 0x08,
    AUTO_WRITE_OPTION = 0x10,
    AUTO_ERASE = 0x20,
};

struct ProjectInfo {
    std::array<char, 15> magic{};
    std::uint8_t sourceNameLength = 0;
    std::array<char, kNameCapacity> sourceName{};
    std::uint32_t dataLength = 0;
    std::uint16_t dataChecksum = 0;
    std::uint16_t partIndex = 0;  // part index in files; the device code while a part is selected
    std::uint8_t layout = LAYOUT_AP_ISP;
    std::uint8_t optionCount = 0;
    std::array<std::uint8_t, kOptionCapacity> optionBytes{};
    std::uint8_t autoSteps = 0;
    std::uint8_t ispSource = ISP_SRC_NONE;
    std::uint32_t apLength = 0;
    std::uint16_t ispLength = 0;
    std::uint8_t ispNameLength = 0;
    std::array<char, kNameCapacity> ispName{};
    std::uint8_t oscIndex = 0;
    std::uint16_t maxCounter = 0;
    std::uint8_t serialEnabled = 0;
    std::uint8_t autoIncrement = 0;
    std::uint32_t serialAddress = 0;
    std::array<char, kSerialStringLength> serialString{};
    std::uint32_t serialNumber = 0;
    std::array<std::uint8_t, 8> saveStamp{};
    std::uint16_t customFlag = 0;
    std::uint16_t formatVersion = 0;
    std::uint8_t formatKind = 0;
    std::uint16_t trailerChecksum = 0;
    std::uint16_t trailerLength = 0;

    std::string_view SourceName() const;
    void SetSourceName(std::string_view name);  // cut to the field's capacity
    std::string_view IspName() const;
    void SetIspName(std::string_view name);
    std::string_view SerialString() const { return {serialString.data(), serialString.size()}; }
};

// Every field to its reset value: zeros first, then the non-zero resets.
void ResetProjectInfo(ProjectInfo& info);

}  // namespace proj
