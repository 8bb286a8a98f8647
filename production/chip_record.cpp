#include "production/chip_record.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSysInfo>
#include <QTimeZone>

#include "project/program_image.h"

namespace production {

namespace {

std::string RecordForm(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")).toStdString();
}

}  // namespace

std::string_view ProgramVersion() {
    return WRITER_VERSION;
}

std::string StationName() {
    return QSysInfo::machineHostName().toStdString();
}

std::string NowUtc() {
    return RecordForm(QDateTime::currentDateTimeUtc());
}

ChipRecord NewChip() {
    ChipRecord chip;
    chip.timeUtc = NowUtc();
    chip.station = StationName();
    chip.version = std::string(ProgramVersion());
    return chip;
}

void SetImage(ChipRecord& chip, std::span<const std::uint8_t> image) {
    chip.checksum = static_cast<std::uint16_t>(proj::ByteSum(image));
    const QByteArray digest =
        QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(image.data()),
                                                static_cast<qsizetype>(image.size())),
                                 QCryptographicHash::Sha256);
    chip.sha256 = digest.toHex().toStdString();
}

std::optional<std::string> UtcText(std::string_view text) {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (s.size() == 10) {
        const QDate day = QDate::fromString(s, Qt::ISODate);
        if (!day.isValid()) return std::nullopt;
        return RecordForm(day.startOfDay(QTimeZone::utc()));
    }
    // The ISO reader also takes a bare date or forms such as "2024-05-01T8:30"; only the
    // forms described are meant.
    if (s.size() < 16 || s[10] != u'T') return std::nullopt;
    QDateTime time = QDateTime::fromString(s, Qt::ISODateWithMs);
    if (!time.isValid()) return std::nullopt;
    if (time.timeSpec() == Qt::LocalTime) time.setTimeZone(QTimeZone::utc());
    return RecordForm(time);
}

core::Ending EndingFromName(std::string_view name) {
    for (const auto ending :
         {core::Ending::kPassed, core::Ending::kFailed, core::Ending::kNotStarted}) {
        if (core::EndingName(ending) == name) return ending;
    }
    return core::Ending::kFailed;
}

}  // namespace production
