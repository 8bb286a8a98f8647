// The QRX project file: the buffer bytes followed by a big-endian trailer that carries the
// project record. The trailer is found from the end of the file: its last two bytes hold its
// length.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "project/project_info.h"

namespace core {
class Questions;
}

namespace proj {

// Language keys of the reader's messages.
inline constexpr std::uint16_t kMsgNotProject = 2000;      // 0x07D0
inline constexpr std::uint16_t kMsgContentDiffers = 2001;  // 0x07D1
inline constexpr std::uint16_t kMsgIncompatible = 2002;    // 0x07D2
inline constexpr std::uint16_t kMsgNewerVersion = 2003;    // 0x07D3
inline constexpr std::uint16_t kMsgAskOldFile = 2004;      // 0x07D4
inline constexpr std::uint16_t kMsgAskOldKind = 2011;      // 0x07DB
inline constexpr std::uint16_t kMsgTargetUnsupported = 2012;
inline constexpr std::uint16_t kMsgError = 2013;

// The English text of a reader message, used when the language table lacks the key.
std::string_view EnglishMessage(std::uint16_t key);
// The text of `key` in the current language, else its English text.
std::string MessageText(std::uint16_t key);

inline constexpr std::size_t kTrailerTail = 17;         // saveStamp .. trailerLength
inline constexpr std::size_t kTrailerFixedLength = 77;  // trailer length without names and options
inline constexpr std::uint8_t kKindCurrent = 5;
inline constexpr std::uint8_t kKindOld = 2;
inline constexpr std::uint16_t kVersionOscillator = 0x0110;  // oscIndex and maxCounter stored
inline constexpr std::uint16_t kVersionOffline = 0x0117;     // the other off-line fields stored

// Local date and time and two random bytes for saveStamp.
struct SaveMoment {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::uint8_t random0 = 0;
    std::uint8_t random1 = 0;
};
SaveMoment CurrentSaveMoment();

// 77 + N + O + S; also stored in info.trailerLength.
std::uint16_t ProjectTrailerLength(ProjectInfo& info);

// Fills `out` (at least ProjectTrailerLength bytes) with the trailer, stamping saveStamp and
// trailerChecksum into the record as well. Returns the trailer length, or 0 when `out` is too
// small (nothing is written then).
std::uint16_t WriteProjectTrailer(ProjectInfo& info, std::span<std::uint8_t> out,
                                  const SaveMoment& moment);

struct TrailerReadResult {
    bool accepted = false;         // false: rejected, or a question was declined
    std::uint32_t dataLength = 0;  // D: the bytes before the trailer
    std::uint16_t errorKey = 0;    // the message shown for a rejection; 0 when none
};

// Resets `info`, then fills it from the file's bytes. Rejections show their message through
// `questions` (when given) with OK and Cancel; the answer is ignored. With `interactive`, an
// old-kind or older-version file is offered with a Yes/No question first; without it such a
// file is accepted. Never reads outside `file`.
TrailerReadResult ReadProjectTrailer(ProjectInfo& info, std::span<const std::uint8_t> file,
                                     bool interactive, core::Questions* questions,
                                     std::uint16_t projectVersion);
TrailerReadResult ReadProjectTrailer(ProjectInfo& info, std::span<const std::uint8_t> file,
                                     bool interactive, core::Questions* questions);

// Entry of the old-part table for the low five bits of an old part code; -1 when invalid.
int OldPartIndex(std::uint16_t oldCode);
std::uint8_t OldLayout(std::uint8_t oldLayout);
std::uint8_t OldAutoSteps(std::uint8_t oldMask);

}  // namespace proj
