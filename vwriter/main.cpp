// vwriter: the virtual writer daemon and its control command.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "platform/device/writer_ids.h"
#include "vwriter/daemon.h"
#include "vwriter/device.h"
#include "vwriter/engine.h"
#include "vwriter/numbers.h"

namespace {

constexpr const char* kHelp =
    "usage: vwriter [--socket PATH] [--part INDEX] [--state FILE] [--trace FILE]\n"
    "               [--fault FAULT]... [--usb-timing] [--firmware current|old]\n"
    "               [--strict | --lenient] [--reenumerate-ms N] [--serial TEXT] [--uhid]\n"
    "       vwriter --ids\n"
    "       vwriter ctl [--socket PATH] COMMAND [ARG]\n"
    "\n"
    "A virtual writer: answers the writer's command protocol on a UNIX socket, as a writer\n"
    "attached over USB would, so the program and libtunnix/libdfu can be used without one.\n"
    "Numbers are decimal or 0x hexadecimal, the whole word; anything else is refused.\n"
    "\n"
    "  --socket PATH      where to listen (default: the socket libtunnix looks for,\n"
    "                     $XDG_RUNTIME_DIR/vwriter.sock or /tmp/vwriter-UID.sock)\n"
    "  --part INDEX       the chip in the socket (default 1)\n"
    "  --state FILE       keep the whole device (chip, options, firmware, off-line store,\n"
    "                     counters) in FILE across restarts\n"
    "  --trace FILE       append one JSON object a line for every frame, data phase,\n"
    "                     connection and protocol error\n"
    "  --fault FAULT      inject a fault, KIND:CMD/SUB[#K][@N][=V]; #K: only the K-th\n"
    "                     matching frame, @N: chunk N (from 1), =V: a value:\n"
    "                     status0 noreply shortreply ack0@N noack@N shortread@N result0\n"
    "                     lie drop@N status=V (2-255: every yes byte is V)\n"
    "                     delay=MS (the reply, or the trim result, is held back MS ms)\n"
    "                     extra (an unsolicited byte after the status) deaf (takes\n"
    "                     nothing more from the host);\n"
    "                     on the loader path: loader:download loader:checksum\n"
    "                     loader:restart (refused download, refused image, a restart\n"
    "                     into the application never answered)\n"
    "  --strict           drop the connection on the first protocol error (bytes where a\n"
    "                     frame is due, bytes before an acknowledgement or during a read)\n"
    "  --lenient          count and trace protocol errors, skip stray bytes (the default)\n"
    "  --usb-timing       pace transfers as full-speed HID: 63 payload bytes a report, one\n"
    "                     report a millisecond each way (a 128-byte chunk is 3 reports)\n"
    "  --firmware WHICH   current: the firmware carried for the part's family;\n"
    "                     old: an older one, so the program offers an upgrade\n"
    "                     (default: current, or what a --state file kept)\n"
    "  --reenumerate-ms N how long the device stays away when it restarts (default 300,\n"
    "                     at most 60000)\n"
    "  --serial TEXT      the USB serial string enumeration shows, the name writer-cli\n"
    "                     knows this writer by (default VW0001; 1 to 25 printable\n"
    "                     characters, no spaces); --usb-serial is the same option\n"
    "  --uhid             also appear as a kernel HID device through /dev/uhid, so the\n"
    "                     program reaches it through hidraw as it reaches a real writer\n"
    "                     (TUNNIX_DEVICE=hid); fails when /dev/uhid cannot be opened\n"
    "  --ids              print the writer's USB ids and interface GUID\n"
    "\n"
    "ctl commands: state | part INDEX | fault FAULT | clear-faults | run N (stand-alone\n"
    "programming of N chips, 1 to 65535) | dump-chip FILE (the last such chip's flash) |\n"
    "firmware current|old | unplug | plug | quit\n";

vw::Daemon* gDaemon = nullptr;

void OnSignal(int) {
    if (gDaemon) gDaemon->RequestQuit();
}

bool TakeValue(const std::vector<std::string>& args, std::size_t& i, std::string& out) {
    if (i + 1 >= args.size()) {
        std::fprintf(stderr, "vwriter: %s needs a value\n", args[i].c_str());
        return false;
    }
    out = args[++i];
    return true;
}

int RunControl(const std::vector<std::string>& args) {
    std::string socket = writer_ids::ConfiguredVwriterSocket();
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--socket") {
            if (!TakeValue(args, i, socket)) return 2;
        } else {
            line += (line.empty() ? "" : " ") + args[i];
        }
    }
    if (line.empty()) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    const auto answer = vw::SendControl(socket, line, 5000);
    if (!answer) {
        std::fprintf(stderr, "vwriter: no virtual writer answers at %s\n", socket.c_str());
        return 1;
    }
    std::fputs(answer->c_str(), stdout);
    return answer->rfind("error", 0) == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl") return RunControl({args.begin() + 1, args.end()});

    vw::DaemonOptions options;
    options.socketPath = writer_ids::DefaultVwriterSocket();
    std::string statePath, tracePath, firmware, partText;
    std::vector<vw::Fault> faults;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string value;
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--ids") {
            std::printf("vid=0x%04x pid=0x%04x enum_pid=0x%04x guid=%s\n", writer_ids::WRITER_VID,
                        writer_ids::WRITER_PID, writer_ids::WRITER_ENUM_PID,
                        writer_ids::kWriterInterfaceGuid);
            return 0;
        } else if (a == "--usb-timing") {
            options.usbTiming = true;
        } else if (a == "--socket") {
            if (!TakeValue(args, i, options.socketPath)) return 2;
        } else if (a == "--part") {
            if (!TakeValue(args, i, partText)) return 2;
        } else if (a == "--state") {
            if (!TakeValue(args, i, statePath)) return 2;
        } else if (a == "--trace") {
            if (!TakeValue(args, i, tracePath)) return 2;
        } else if (a == "--firmware") {
            if (!TakeValue(args, i, firmware)) return 2;
            if (firmware != "current" && firmware != "old") {
                std::fprintf(stderr, "vwriter: --firmware takes current or old\n");
                return 2;
            }
        } else if (a == "--uhid") {
            options.uhidPath = "/dev/uhid";
        } else if (a == "--serial" || a == "--usb-serial") {
            if (!TakeValue(args, i, options.usbSerial)) return 2;
            const bool printable = std::all_of(options.usbSerial.begin(), options.usbSerial.end(),
                                               [](char c) { return c > ' ' && c < 0x7F; });
            if (options.usbSerial.empty() || options.usbSerial.size() > 25 || !printable) {
                std::fprintf(stderr, "vwriter: %s takes 1 to 25 printable characters, no spaces\n",
                             a.c_str());
                return 2;
            }
        } else if (a == "--strict") {
            options.engine.strict = true;
        } else if (a == "--lenient") {
            options.engine.strict = false;
        } else if (a == "--reenumerate-ms") {
            if (!TakeValue(args, i, value)) return 2;
            const auto ms = vw::ParseNumber(value, 0, 60'000);
            if (!ms) {
                std::fprintf(stderr, "vwriter: --reenumerate-ms takes 0 to 60000, not '%s'\n",
                             value.c_str());
                return 2;
            }
            options.reenumerateMs = static_cast<int>(*ms);
        } else if (a == "--fault") {
            if (!TakeValue(args, i, value)) return 2;
            std::string why;
            const auto fault = vw::ParseFault(value, &why);
            if (!fault) {
                std::fprintf(stderr, "vwriter: bad fault '%s': %s\n", value.c_str(), why.c_str());
                return 2;
            }
            faults.push_back(*fault);
        } else {
            std::fprintf(stderr, "vwriter: unknown argument '%s'\n%s", a.c_str(), kHelp);
            return 2;
        }
    }

    vw::Device device;
    bool restored = false;
    if (!statePath.empty()) {
        device.SetStateFile(statePath);
        std::string why;
        restored = device.LoadState(&why);
        if (!restored && why != "no state file") {
            std::fprintf(stderr, "vwriter: %s: %s, starting afresh\n", statePath.c_str(),
                         why.c_str());
        }
    }
    if (!partText.empty()) {
        const auto number =
            vw::ParseNumber(partText, 1, static_cast<std::uint32_t>(cat::kMaxPartIndex));
        const int index = number ? static_cast<int>(*number) : 0;
        if (index == 0 || !cat::Part(index).Exists()) {
            std::fprintf(stderr, "vwriter: no part %s in the catalogue\n", partText.c_str());
            return 2;
        }
        if (index != device.PartIndex()) device.InsertPart(index);
    }
    // A new writer runs the firmware of its chip's family unless told otherwise; a restored
    // one keeps what it ran.
    if (!firmware.empty() || !restored)
        device.SetFirmware(vw::FirmwareFor(device.PartIndex(), firmware == "old"));
    for (const auto& f : faults) device.AddFault(f);
    device.Commit();

    vw::Trace trace;
    if (!tracePath.empty() && !trace.Open(tracePath)) {
        std::fprintf(stderr, "vwriter: cannot open trace file %s\n", tracePath.c_str());
        return 1;
    }

    vw::Daemon daemon(device, trace, options);
    gDaemon = &daemon;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::string error;
    const bool ok = daemon.Run(&error);
    gDaemon = nullptr;
    if (!ok) {
        std::fprintf(stderr, "vwriter: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
