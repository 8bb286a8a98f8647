// The writer's USB identity, and where the virtual writer listens. One place for every side
// (libtunnix, libdfu, the device watcher, the program and vwriter --ids) so they cannot drift.
#pragma once

#include <cstdint>
#include <string>

namespace writer_ids {

inline constexpr std::uint16_t WRITER_VID = 0x2F17;
inline constexpr std::uint16_t WRITER_PID = 0x7A51;
// The product id under which the HID class lists the writer (device names, enumeration).
inline constexpr std::uint16_t WRITER_ENUM_PID = 0x7A50;
// The product id the writer's loader enumerates under over USB while it takes an image.
inline constexpr std::uint16_t WRITER_LOADER_PID = WRITER_ENUM_PID;
// Device-interface GUID; part of the upgrade's Go event name.
inline constexpr const char* kWriterInterfaceGuid = "{6C1D8A3E-4B2F-4E57-9A1C-3F0B5D27E4C8}";

// The firmware upgrade's Go event: "K7v190", two spaces, the interface GUID in braces.
inline std::string GoEventName() {
    return std::string("K7v190  ") + kWriterInterfaceGuid;
}

// Environment variable choosing the transport: "hid" (the first writer on USB), "hid:PATH"
// (the one at that device node), "hid:serial=S" (the one with that USB serial string), or
// "vwriter:PATH".
inline constexpr const char* kDeviceEnv = "TUNNIX_DEVICE";

// What TUNNIX_DEVICE asks for; kNotUnderstood for a value that is none of its forms (a typo),
// which must not quietly fall back to detection.
enum class DeviceChoice { kDetect, kHid, kHidPath, kHidSerial, kVwriter, kNotUnderstood };
DeviceChoice ConfiguredDeviceChoice();
// For kHidPath the device node, for kHidSerial the USB serial string; empty otherwise.
std::string ConfiguredHidTarget();
// For kNotUnderstood: what was given and the forms that are accepted.
std::string DeviceChoiceProblem();

// The virtual writer's socket when none is named: $XDG_RUNTIME_DIR/vwriter.sock, or
// /tmp/vwriter-UID.sock without a runtime directory.
std::string DefaultVwriterSocket();

// The socket the transports use: the path of TUNNIX_DEVICE=vwriter:PATH, else the default.
std::string ConfiguredVwriterSocket();

// The virtual writer's control socket sits next to its device socket.
inline std::string ControlSocketFor(const std::string& deviceSocket) {
    return deviceSocket + ".ctl";
}

}  // namespace writer_ids
