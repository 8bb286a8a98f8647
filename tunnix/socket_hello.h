// Opening a session on the virtual writer's socket: the client names the USB function it
// wants (the writer's application or its loader) and the ids it expects, as opening a USB
// device by vendor and product id would. 16 bytes: "VWR1", channel, vendor id, product id
// (little-endian 32-bit each); the device answers one byte, 1 accepted or 0 refused (and
// closes the connection).
#pragma once

#include <cstdint>

namespace tnx {

inline constexpr char kHelloMagic[4] = {'V', 'W', 'R', '1'};
inline constexpr std::uint32_t kChannelWriter = 1;    // the command protocol
inline constexpr std::uint32_t kChannelLoader = 2;    // firmware download (libdfu)
inline constexpr std::uint32_t kChannelReports = 3;   // HID reports, as hidraw carries them
inline constexpr std::uint32_t kChannelDescribe = 4;  // the USB identity, as enumeration shows it
inline constexpr std::size_t kHelloSize = 16;

// Report channel: what the HID double (tests) exchanges with the device. The hello names the
// ids of the function it opens (the application's or the loader's product id). Then messages
// of a type byte, a little-endian 16-bit length (at most kMaxReportMessage) and that many bytes:
//  'O' host: an output report as written to hidraw (report id, then the report); the device
//      answers 'o' with one byte, 1 taken or 0 refused (the host's write fails)
//  'F' host: a feature report (report id first); answered 'f' with one byte likewise
//  'I' device: an input report as hidraw reads it
inline constexpr std::uint8_t kOutputReport = 'O', kOutputTaken = 'o';
inline constexpr std::uint8_t kFeatureReport = 'F', kFeatureTaken = 'f';
inline constexpr std::uint8_t kInputReport = 'I';
inline constexpr std::size_t kMaxReportMessage = 1024;

// Describe channel: after the accept byte, kDescriptorSize bytes and the device closes:
// vendor id, product id, release (little-endian 16-bit each), the serial string and the
// product string, NUL-padded.
inline constexpr std::size_t kSerialField = 26;
inline constexpr std::size_t kProductField = 32;
inline constexpr std::size_t kDescriptorSize = 6 + kSerialField + kProductField;

// Loader channel requests (one byte, then as below), answered with one status byte:
//  'I'                         restart into the loader (the device re-enumerates)
//  'D' length:LE32 sum:LE32    then the image in blocks of kLoaderBlock, each acknowledged
//                              with one byte; a final byte 1 when the image was taken
//  'A'                         restart into the application (the device re-enumerates)
inline constexpr std::uint32_t kLoaderBlock = 1024;

}  // namespace tnx
