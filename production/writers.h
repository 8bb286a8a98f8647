// The writers attached to this computer, and a writer chosen by name: a device node, a USB
// serial string, or a virtual writer's socket. A choice is a TUNNIX_DEVICE value, so a process
// started with it reaches that writer and no other.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace production {

struct AttachedWriter {
    enum class Kind { kHid, kVirtual };
    Kind kind = Kind::kHid;
    std::string path;    // the device node, or the virtual writer's socket
    std::string serial;  // the USB serial string (printable ASCII); empty when it has none
    bool inLoader = false;

    // The TUNNIX_DEVICE value that reaches this writer: "vwriter:PATH", "hid:serial=S" when
    // `serialUnique` (the serial string survives the restart into the loader; a node may not),
    // else "hid:PATH".
    std::string Selection(bool serialUnique) const;
};

// Real writers (every device with the writer's vendor id) in the system's order, then the
// virtual writers that answer on a socket named vwriter*.sock in the folder of the default
// socket, and on the socket TUNNIX_DEVICE=vwriter:PATH names, by path.
std::vector<AttachedWriter> ListWriters();

struct WriterChoice {
    std::string name;       // as asked for
    std::string selection;  // the TUNNIX_DEVICE value; empty when `problem` says why not
    std::string serial;     // the chosen writer's USB serial string
    std::string problem;    // the name matches none or several, with what is attached
};

// The one writer in `attached` whose path or serial string is `name`. A name that matches none
// but is a socket where a virtual writer answers is that writer.
WriterChoice ResolveWriter(std::string_view name, const std::vector<AttachedWriter>& attached);
inline WriterChoice ResolveWriter(std::string_view name) {
    return ResolveWriter(name, ListWriters());
}

// "  PATH  SERIAL  (virtual)" lines, one a writer, for messages.
std::string DescribeWriters(const std::vector<AttachedWriter>& attached);

}  // namespace production
