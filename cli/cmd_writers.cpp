// writer-cli writers [--json]
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/console_host.h"
#include "cli/json.h"
#include "cli/session.h"
#include "platform/device/writer_ids.h"
#include "production/writers.h"
#include "writer/writer.h"
#include "writer/writer_link.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli writers [--json]\n\n"
    "Lists every attached writer: those on USB (device node, USB serial string, and the\n"
    "firmware bytes when the writer answers) and the virtual writers (their sockets named\n"
    "vwriter*.sock in $XDG_RUNTIME_DIR, and the one TUNNIX_DEVICE names). Any of a writer's\n"
    "path, serial string or socket is a NAME for --writer and gang --writers; a serial string\n"
    "two writers share names neither.\n"
    "--json prints a JSON array: path, serial, kind (usb or virtual), loader (whether it\n"
    "  is in its loader), device (the TUNNIX_DEVICE value that reaches it), firmware (the\n"
    "  six bytes, or null).\n"
    "Exit status: 0 listed (no writer attached is an empty list), 2 bad arguments.\n";

using production::AttachedWriter;

// The writer's answer to the firmware version command, with TUNNIX_DEVICE reaching it alone.
std::optional<writer::FirmwareReply> AskFirmware(writer::WriterLink& link,
                                                 const std::string& selection) {
    const char* before = std::getenv(writer_ids::kDeviceEnv);
    const std::string saved = before ? before : "";
    ::setenv(writer_ids::kDeviceEnv, selection.c_str(), 1);
    std::optional<writer::FirmwareReply> reply;
    if (link.Connect()) {
        writer::FirmwareReply bytes{};
        if (link.Exchange(0, 0, 0, 0, 0, bytes.size(), bytes.data(), 0) != 0) reply = bytes;
        link.Disconnect();
    }
    if (before) {
        ::setenv(writer_ids::kDeviceEnv, saved.c_str(), 1);
    } else {
        ::unsetenv(writer_ids::kDeviceEnv);
    }
    return reply;
}

std::string FirmwareText(const std::optional<writer::FirmwareReply>& reply, bool json) {
    if (!reply) return json ? "null" : "-";
    std::string text = json ? "[" : "";
    for (std::size_t i = 0; i < reply->size(); ++i) {
        char byte[8];
        std::snprintf(byte, sizeof byte, json ? "%s%u" : "%s%02X", i ? (json ? "," : " ") : "",
                      (*reply)[i]);
        text += byte;
    }
    return json ? text + "]" : text;
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    bool json = false;
    for (const std::string& a : args) {
        if (a != "--json") return cli::UsageError(kHelp, "unexpected argument '" + a + "'");
        json = true;
    }
    const std::vector<AttachedWriter> writers = production::ListWriters();
    cli::ConsoleHost host;
    cli::StderrQuestions questions;
    writer::WriterLink link(host);
    const bool loaded = link.Load(questions);

    std::string out = json ? "[" : "";
    std::size_t pathWidth = 4, serialWidth = 6;
    for (const AttachedWriter& w : writers) {
        pathWidth = std::max(pathWidth, w.path.size());
        serialWidth = std::max(serialWidth, w.serial.size());
    }
    if (!json && !writers.empty()) {
        char head[256];
        std::snprintf(head, sizeof head, "%-*s  %-*s  %-7s  %s\n", static_cast<int>(pathWidth),
                      "path", static_cast<int>(serialWidth), "serial", "kind", "firmware");
        out += head;
    }
    for (std::size_t i = 0; i < writers.size(); ++i) {
        const AttachedWriter& w = writers[i];
        const std::string selection = production::ResolveWriter(w.path, writers).selection;
        const auto firmware = loaded && !w.inLoader ? AskFirmware(link, selection) : std::nullopt;
        const bool usb = w.kind == AttachedWriter::Kind::kHid;
        if (json) {
            out += std::string(i ? "," : "") + "{\"path\":" + cli::JsonString(w.path) +
                   ",\"serial\":" + cli::JsonString(w.serial) + ",\"kind\":\"" +
                   (usb ? "usb" : "virtual") + "\",\"loader\":" + (w.inLoader ? "true" : "false") +
                   ",\"device\":" + cli::JsonString(selection) +
                   ",\"firmware\":" + FirmwareText(firmware, true) + "}";
            continue;
        }
        out += w.path + std::string(pathWidth - w.path.size() + 2, ' ');
        const std::string serial = w.serial.empty() ? "-" : w.serial;
        out += serial + std::string(serialWidth - serial.size() + 2, ' ');
        out += std::string(usb ? "usb    " : "virtual") + "  ";
        out += w.inLoader ? "(in its loader)" : FirmwareText(firmware, false);
        out += "\n";
    }
    if (json) out += "]\n";
    std::fputs(out.c_str(), stdout);
    if (!json && writers.empty()) std::fputs("writer-cli: no writer is attached\n", stderr);
    return 0;
}

const cli::Register kRegister{{"writers", "list the attached writers and their names", Run}};

}  // namespace
