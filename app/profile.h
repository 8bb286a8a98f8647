// The per-user profile: section "Settings" of the program's settings store.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace app {

inline constexpr const char* kProfileOrganisation = "Local AppWizard-Generated Applications";

class Profile {
  public:
    // `application` is the running program's base name when empty.
    explicit Profile(const QString& application = {});

    int ReadInt(const QString& key, int fallback) const;
    void WriteInt(const QString& key, int value);
    QString ReadText(const QString& key, const QString& fallback = {}) const;
    void WriteText(const QString& key, const QString& value);
    void Sync();

  private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace app
