// Identifiers of the main window's controls. They double as language-table keys. Those the
// core acts on by number (the writer's buttons, the workbench's lists and fields) are its own.
#pragma once

#include "workbench/workbench.h"
#include "writer/writer.h"

namespace app::id {

inline constexpr int kExit = 2;
inline constexpr int kLoadFile = 1000;
inline constexpr int kSaveBuffer = 1001;
inline constexpr int kSaveQrx = 1002;
inline constexpr int kDumpTarget = writer::button::kDumpTarget;
inline constexpr int kInsertIsp = 1004;
inline constexpr int kOffLine = writer::button::kOffline;
inline constexpr int kCheckId = writer::button::kCheckId;
inline constexpr int kErase = writer::button::kErase;
inline constexpr int kBlankCheck = writer::button::kBlankCheck;
inline constexpr int kProgram = writer::button::kProgram;
inline constexpr int kVerify = writer::button::kVerify;
inline constexpr int kAuto = writer::button::kAuto;
inline constexpr int kWholeChipErase = writer::button::kWholeChipErase;
inline constexpr int kWriteOption = writer::button::kWriteOption;
inline constexpr int kReadOption = writer::button::kReadOption;
inline constexpr int kClearMessage = 1015;
inline constexpr int kFirstButton = 1000;
inline constexpr int kLastButton = 1015;

inline constexpr int kCodeBufferGroup = 1025;
inline constexpr int kOptionGroup = 1026;
inline constexpr int kIspLabel = 1027;
inline constexpr int kIapLabel = 1028;
inline constexpr int kOscLabel = 1029;
inline constexpr int kHwenwGroup = 1030;
inline constexpr int kHwwidlLabel = 1031;
inline constexpr int kHwpsxLabel = 1032;
inline constexpr int kMessageGroup = 1033;
inline constexpr int kPartLabel = 1034;
inline constexpr int kFilepathLabel = 1038;
inline constexpr int kFilesizeLabel = 1039;
inline constexpr int kChecksumLabel = 1040;

inline constexpr int kSeriesList = model::id::kSeriesList;
inline constexpr int kPartList = model::id::kPartList;
inline constexpr int kCodeBuffer = 1506;
inline constexpr int kMessageLog = 1507;
inline constexpr int kBanner = 1520;
inline constexpr int kFilepath = model::id::kFilepath;
inline constexpr int kFilesize = model::id::kFilesize;
inline constexpr int kChecksum = model::id::kChecksum;
inline constexpr int kProgressBar = 1622;

// Language texts applied to labels.
inline constexpr int kSetText = 2005;
inline constexpr int kNowText = 2006;

// System commands 256 + language id switch the language.
inline constexpr int kLanguageCommandFirst = 256;
inline constexpr int kLanguageCommandLast = 383;

}  // namespace app::id
