// writer-cli hex2bin IN.hex OUT.bin
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "cli/session.h"
#include "project/file_io.h"
#include "project/intel_hex.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli hex2bin IN.hex OUT.bin\n\n"
    "Converts an Intel HEX file as the loader does and writes the image from address 0 to the\n"
    "highest end address, gaps filled with 0xFF (an empty file when there is no data record).\n"
    "A damaged file (a bad checksum, a record cut short, a character that is not a hex digit)\n"
    "is refused with its line number: exit status 1 and nothing written.\n";

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.size() != 2) {
        return cli::UsageError(kHelp, "");
    }
    const proj::FileContent in = proj::ReadWholeFile(args[0]);
    if (in.status != proj::ReadStatus::Ok) {
        std::fprintf(stderr, "writer-cli: cannot read %s\n", args[0].c_str());
        return 1;
    }
    const proj::HexImage image =
        proj::ParseIntelHex({reinterpret_cast<const char*>(in.bytes.data()), in.bytes.size()});
    if (image.damage) {
        std::fprintf(stderr, "writer-cli: %s: line %zu: %s; nothing written\n", args[0].c_str(),
                     image.damage->line, image.damage->what);
        return 1;
    }
    if (!image.Complete()) {
        std::fprintf(stderr, "writer-cli: %s: image ends at 0x%llX, too large to write\n",
                     args[0].c_str(), static_cast<unsigned long long>(image.length));
        return 1;
    }
    if (!proj::WriteFileReplacing(args[1], {image.bytes}, /*durable=*/false)) {
        std::fprintf(stderr, "writer-cli: cannot write %s\n", args[1].c_str());
        return 1;
    }
    return 0;
}

const cli::Register kRegister{{"hex2bin", "convert an Intel HEX file to a binary image", Run}};

}  // namespace
