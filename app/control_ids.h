// Identifiers of the main window's controls. They double as language-table keys.
#pragma once

namespace app::id {

inline constexpr int kExit = 2;
inline constexpr int kLoadFile = 1000;
inline constexpr int kSaveBuffer = 1001;
inline constexpr int kSaveQrx = 1002;
inline constexpr int kDumpTarget = 1003;
inline constexpr int kInsertIsp = 1004;
inline constexpr int kOffLine = 1005;
inline constexpr int kCheckId = 1006;
inline constexpr int kErase = 1007;
inline constexpr int kBlankCheck = 1008;
inline constexpr int kProgram = 1009;
inline constexpr int kVerify = 1010;
inline constexpr int kAuto = 1011;
inline constexpr int kWholeChipErase = 1012;
inline constexpr int kWriteOption = 1013;
inline constexpr int kReadOption = 1014;
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

inline constexpr int kSeriesList = 1500;
inline constexpr int kPartList = 1501;
inline constexpr int kCodeBuffer = 1506;
inline constexpr int kMessageLog = 1507;
inline constexpr int kBanner = 1520;
inline constexpr int kFilepath = 1524;
inline constexpr int kFilesize = 1525;
inline constexpr int kChecksum = 1526;
inline constexpr int kProgressBar = 1622;

// Language texts applied to labels.
inline constexpr int kSetText = 2005;
inline constexpr int kNowText = 2006;

// System commands 256 + language id switch the language.
inline constexpr int kLanguageCommandFirst = 256;
inline constexpr int kLanguageCommandLast = 383;

}  // namespace app::id
