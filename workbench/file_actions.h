// The file buttons of the main window as plain operations on the workbench: Load File (and the
// load of a file named at start-up), Save Buffer, Save *.QRX and Insert ISP-code. The window
// and writer-cli supply the operator's choices through FileDialogs and Questions; every outcome
// is a line in the workbench's log.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/operator_ports.h"
#include "core/outcome.h"
#include "project/qrx_file.h"
#include "workbench/workbench.h"

namespace model {

// Log texts.
inline constexpr const char* kLogLoadFile = "Load file ... => ";
inline constexpr const char* kLogLoadQrx = "Load QRX file ... => ";
inline constexpr const char* kLogSaveBuffer = "Save buffer ... => ";
inline constexpr const char* kLogSaveQrx = "Save *.QRX ... => ";
inline constexpr const char* kLogInsertIsp = "Insert ISP-code ... => ";
inline constexpr const char* kLogOk = "OK !\r\n";
inline constexpr const char* kLogFail = "Fail !\r\n";
inline constexpr const char* kLogCancelled = "Cancelled !\r\n";
inline constexpr const char* kLogTooLarge = "File size is too large !\r\n";
// The reason a load too large for the part fails with (its log line without the line end).
inline constexpr const char* kWhyTooLarge = "File size is too large !";
inline constexpr const char* kLogBufferEmpty = "Code Buffer is empty !";

struct IspChoice {
    std::uint8_t source = proj::ISP_SRC_BUILTIN;  // ISP_SRC_BUILTIN or ISP_SRC_USER
    std::string path;                             // the user file; empty for built-in code
};

// The operator's answers to the dialogs of the file buttons. Every "none" is a Cancel.
class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // Load File's Open dialog.
    virtual std::optional<std::string> OpenProgramFile() = 0;
    // "Select AP/IAP area": the address where the image's byte 0 lands.
    virtual std::optional<std::uint32_t> SelectArea(std::uint32_t defaultAddress) = 0;
    virtual std::optional<std::string> SaveBufferFile() = 0;
    virtual std::optional<std::string> SaveProjectFile() = 0;
    // "Custom Setting": edits both values in place; whichever button closes it, what the
    // values hold afterwards is stored.
    virtual void CustomSetting(std::uint8_t& customId, std::string& stringId) = 0;
    // "Insert ISP Code".
    virtual std::optional<IspChoice> InsertIsp() = 0;
};

// Where a project save takes its time stamp and random bytes from.
struct SaveEntropy {
    proj::SaveMoment moment;
    std::array<std::uint8_t, 4> key{};  // option bytes 48-51
};
SaveEntropy CurrentSaveEntropy();

// The shared loader. A ".qrx" file is read as a project. A failure's why, when it has one, is
// the reason line the log shows under "Fail !": a file too large for the part, or where and how
// a HEX file is damaged (such a file loads nothing: its first part is not the program).
core::Outcome LoadProgramFile(model::Workbench& bench, const std::string& path,
                              FileDialogs& dialogs, core::Questions& questions);
// The result line of a load: "OK !", or "Fail !" and the reason line when there is one.
void LogLoadResult(model::Workbench& bench, const core::Outcome& loaded);

// Load File button: Open dialog, then "Load file ... => " and the load.
void LoadFileButton(model::Workbench& bench, FileDialogs& dialogs, core::Questions& questions);
// The file named on the command line: the same lines without the Open dialog.
core::Outcome LoadFileAtStartup(model::Workbench& bench, const std::string& path,
                                FileDialogs& dialogs, core::Questions& questions);

// Save Buffer button: passed when a file was written; not started for an empty buffer or a
// cancel.
core::Outcome SaveBufferButton(model::Workbench& bench, FileDialogs& dialogs);

// Save *.QRX button (without its Ctrl variant). Returns the path written, none otherwise.
std::optional<std::string> SaveProjectButton(model::Workbench& bench, FileDialogs& dialogs,
                                             const SaveEntropy& entropy);
// Steps 7-11 of a save once the path is chosen: compose the options, write buffer and trailer.
bool WriteProjectFile(model::Workbench& bench, const std::string& path,
                      const proj::SaveMoment& moment);

// Insert ISP-code button: passed when code was inserted, not started on a cancel, else failed
// with the reason the log shows.
core::Outcome InsertIspButton(model::Workbench& bench, FileDialogs& dialogs);

}  // namespace model
