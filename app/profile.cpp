#include "app/profile.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace app {

namespace {
const QString kGroup = QStringLiteral("Settings");

QString ProgramBaseName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
}  // namespace

Profile::Profile(const QString& application)
    : settings_(std::make_unique<QSettings>(
          QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(kProfileOrganisation),
          application.isEmpty() ? ProgramBaseName() : application)) {}

int Profile::ReadInt(const QString& key, int fallback) const {
    bool ok = false;
    const int value = settings_->value(kGroup + u'/' + key).toInt(&ok);
    return ok ? value : fallback;
}

void Profile::WriteInt(const QString& key, int value) {
    settings_->setValue(kGroup + u'/' + key, value);
}

QString Profile::ReadText(const QString& key, const QString& fallback) const {
    return settings_->value(kGroup + u'/' + key, fallback).toString();
}

void Profile::WriteText(const QString& key, const QString& value) {
    settings_->setValue(kGroup + u'/' + key, value);
}

void Profile::Sync() {
    settings_->sync();
}

}  // namespace app
