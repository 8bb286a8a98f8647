// writer-cli form FILE.qrx [--text | --bmp OUT.bmp | --pdf OUT.pdf]
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/session.h"
#include "form/draw_module.h"
#include "form/project_form.h"
#include "platform/library_loader.h"
#include "project/file_io.h"
#include "project/qrx_file.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli form FILE.qrx [--text | --bmp OUT.bmp | --pdf OUT.pdf]\n\n"
    "The project form of a QRX file as the window shows it right after saving that project\n"
    "(its part selected, the file's option bytes applied):\n"
    "  --text          the form text on standard output, lines ending in CR LF (default)\n"
    "  --bmp OUT.bmp   the saved picture: a black-and-white BMP\n"
    "  --pdf OUT.pdf   the printed page as a one-page PDF\n"
    "A file the project reader refuses prints its message on standard error and exits with 1,\n"
    "as does a project without data bytes, one whose part is not supported, and an output\n"
    "that cannot be written (a file already there is then kept as it was; a FIFO or a device\n"
    "such as /dev/stdout is written as it is, never replaced).\n";

class SilentLog : public core::MessageSink {
  public:
    void Clear() override {}
    void Append(std::string_view) override {}
};

// The load's questions were answered when the file was first read; what the load reports (an
// unsupported part) goes to standard error as it is.
class MessagesOnly : public core::Questions {
  public:
    void Inform(std::string_view caption, std::string_view text) override {
        cli::StderrQuestions::Show(caption, text);
    }
    bool AskOkCancel(std::string_view, std::string_view) override { return true; }
    bool AskYesNo(std::string_view, std::string_view) override { return true; }
};

// The drawing library, loaded from the program's folder on first use and kept.
form::DrawFunction DrawFunction() {
    static form::DrawFunction draw = [] {
        std::string error;
        void* library = platform::LoadProgramLibrary(form::kDrawLibrary, &error);
        if (library == nullptr) {
            std::fprintf(stderr, "writer-cli: cannot load %s: %s\n", form::kDrawLibrary,
                         error.c_str());
            return form::DrawFunction{};
        }
        return reinterpret_cast<form::DrawFunction>(
            platform::LibrarySymbol(library, form::kDrawSymbol));
    }();
    return draw;
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::string mode = "--text";
    std::string output;
    if (args.size() == 3 && (args[1] == "--bmp" || args[1] == "--pdf")) {
        mode = args[1];
        output = args[2];
    } else if (!(args.size() == 1 || (args.size() == 2 && args[1] == "--text"))) {
        return cli::UsageError(kHelp, "");
    }
    const std::string& path = args[0];

    // The reader's refusal, as the form's own read would give it.
    const auto content = proj::ReadWholeFile(path);
    if (content.status != proj::ReadStatus::Ok) return cli::Fail("cannot read", path);
    cli::StderrQuestions boxes;
    proj::ProjectInfo probe;
    const auto read = proj::ReadProjectTrailer(probe, content.bytes, false, &boxes);
    if (!read.accepted) return 1;
    // The reader gives no data length for such a file, and so no form.
    if (read.dataLength == 0) return cli::Fail("the project holds no data bytes", path);

    // The window right after saving this project: the same as after loading it.
    cli::Session session;
    SilentLog quiet;
    MessagesOnly answers;
    session.bench.Attach(&session.buffer, &quiet);
    const core::Outcome loaded =
        proj::LoadProgramFile(session.bench, path, session.dialogs, answers);
    if (loaded.why() == proj::kWhyTooLarge) return cli::Fail("file size is too large", path);
    if (!loaded.passed()) return 1;  // its message is out
    const auto text = form::BuildProjectForm(session.bench, path, &boxes);
    if (!text) return 1;

    if (mode == "--text") {
        const bool whole = std::fwrite(text->data(), 1, text->size(), stdout) == text->size();
        if (std::fflush(stdout) == 0 && whole) return 0;
        const int error = errno;
        std::fprintf(stderr, "writer-cli: cannot write the form to standard output: %s\n",
                     std::strerror(error));
        return 1;
    }
    const form::DrawFunction draw = DrawFunction();
    if (draw == nullptr) return 1;
    const int kind = mode == "--bmp" ? form::kDrawPicture : form::kDrawPdfPage;
    return draw(text->data(), text->size(), kind, output.c_str())
               ? 0
               : cli::Fail("cannot write", output);
}

const cli::Register kRegister{
    {"form", "the project form of a QRX file as text, BMP picture or PDF page", Run}};

}  // namespace
