// Opening a session on the virtual writer's socket: the client names the USB function it
// wants (the writer's application or its loader) and the ids it expects, as opening a USB
// device by vendor and product id would. 16 bytes: "VWR1", channel, vendor id, product id
// (little-endian 32-bit each); the device answers one byte, 1 accepted or 0 refused (and
// closes the connection).
#pragma once

#include <cstdint>

namespace tnx {

inline constexpr char kHelloMagic[4] = {'V', 'W', 'R', '1'};
inline constexpr std::uint32_t kChannelWriter = 1;  // the command protocol
inline constexpr std::uint32_t kChannelLoader = 2;  // firmware download (libdfu)
inline constexpr std::size_t kHelloSize = 16;

// Loader channel requests (one byte, then as below), answered with one status byte:
//  'I'                         restart into the loader (the device re-enumerates)
//  'D' length:LE32 sum:LE32    then the image in blocks of kLoaderBlock, each acknowledged
//                              with one byte; a final byte 1 when the image was taken
//  'A'                         restart into the application (the device re-enumerates)
inline constexpr std::uint32_t kLoaderBlock = 1024;

}  // namespace tnx
