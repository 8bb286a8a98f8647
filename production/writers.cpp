#include "production/writers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/device/writer_ids.h"
#include "tunnix/link.h"
#include "tunnix/socket_hello.h"

namespace production {

namespace {

constexpr int kDescribeMs = 1000;

// A serial string comes from the device and reaches terminals: only printable ASCII stays.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (c < 0x20 || c > 0x7E) c = '?';
    }
    return text;
}

bool IsOwnSocket(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid();
}

// Asks the virtual writer for the USB identity it shows; false when nothing answers there.
bool DescribeVirtual(const std::string& socket, AttachedWriter& writer) {
    const auto link = tnx::OpenSocketLink(socket, tnx::kChannelDescribe, 0, 0, kDescribeMs);
    std::uint8_t d[tnx::kDescriptorSize];
    if (!link || link->Read(d, sizeof d, kDescribeMs) != sizeof d) return false;
    const auto* serial = reinterpret_cast<const char*>(d + 6);
    writer.serial = Printable(std::string(serial, ::strnlen(serial, tnx::kSerialField)));
    writer.inLoader = (d[2] | d[3] << 8) == writer_ids::WRITER_LOADER_PID;
    return true;
}

std::vector<std::string> VirtualSockets() {
    namespace fs = std::filesystem;
    std::vector<std::string> sockets;
    std::error_code ec;
    const fs::path folder = fs::path(writer_ids::DefaultVwriterSocket()).parent_path();
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("vwriter") && name.ends_with(".sock") &&
            IsOwnSocket(entry.path().string()))
            sockets.push_back(entry.path().string());
    }
    if (writer_ids::ConfiguredDeviceChoice() == writer_ids::DeviceChoice::kVwriter)
        sockets.push_back(writer_ids::ConfiguredVwriterSocket());
    std::sort(sockets.begin(), sockets.end());
    sockets.erase(std::unique(sockets.begin(), sockets.end()), sockets.end());
    return sockets;
}

std::size_t CountSerial(const std::vector<AttachedWriter>& attached, const std::string& serial) {
    return static_cast<std::size_t>(
        std::count_if(attached.begin(), attached.end(), [&](const AttachedWriter& w) {
            return w.kind == AttachedWriter::Kind::kHid && w.serial == serial;
        }));
}

}  // namespace

std::string AttachedWriter::Selection(bool serialUnique) const {
    if (kind == Kind::kVirtual) return "vwriter:" + path;
    return serialUnique && !serial.empty() ? "hid:serial=" + serial : "hid:" + path;
}

std::vector<AttachedWriter> ListWriters() {
    std::vector<AttachedWriter> writers;
    for (const tnx::HidWriter& h : tnx::ListHidWriters(writer_ids::WRITER_VID, 0)) {
        writers.push_back({AttachedWriter::Kind::kHid, h.path, Printable(h.serial),
                           h.productId == writer_ids::WRITER_LOADER_PID});
    }
    for (const std::string& socket : VirtualSockets()) {
        AttachedWriter w{AttachedWriter::Kind::kVirtual, socket, {}, false};
        if (DescribeVirtual(socket, w)) writers.push_back(w);
    }
    return writers;
}

std::string DescribeWriters(const std::vector<AttachedWriter>& attached) {
    if (attached.empty()) return "  (no writer is attached)\n";
    std::string text;
    for (const AttachedWriter& w : attached) {
        text += "  " + w.path + "  " + (w.serial.empty() ? "-" : w.serial);
        if (w.kind == AttachedWriter::Kind::kVirtual) text += "  (virtual)";
        if (w.inLoader) text += "  (in its loader)";
        text += "\n";
    }
    return text;
}

WriterChoice ResolveWriter(std::string_view name, const std::vector<AttachedWriter>& attached) {
    WriterChoice choice;
    choice.name = name;
    std::vector<const AttachedWriter*> matches;
    for (const AttachedWriter& w : attached) {
        if (!name.empty() && (w.path == name || w.serial == name)) matches.push_back(&w);
    }
    if (matches.size() == 1) {
        const AttachedWriter& w = *matches.front();
        choice.selection = w.Selection(CountSerial(attached, w.serial) == 1);
        choice.serial = w.serial;
        return choice;
    }
    if (matches.empty() && !name.empty() && IsOwnSocket(choice.name)) {
        AttachedWriter w{AttachedWriter::Kind::kVirtual, choice.name, {}, false};
        if (DescribeVirtual(choice.name, w)) {
            choice.selection = w.Selection(false);
            choice.serial = w.serial;
            return choice;
        }
    }
    choice.problem = "'" + choice.name + "' " +
                     (matches.empty() ? "names no attached writer" : "names several writers") +
                     "; attached (path, USB serial string):\n" + DescribeWriters(attached);
    return choice;
}

}  // namespace production
