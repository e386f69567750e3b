#include "qt/qt_preferences.hpp"

#include <QByteArray>

namespace quarvent {

namespace {

QString key_text(std::string_view key) {
    return QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace

QtPreferences::QtPreferences()
    : settings_(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("quarvent"),
                QStringLiteral("quarvent-desktop")) {}

QtPreferences::QtPreferences(const QString& file_name)
    : settings_(file_name, QSettings::IniFormat) {}

// Values are kept as bytes, so that a path is read back exactly as it was written.
std::optional<std::string> QtPreferences::value(std::string_view key) const {
    const QVariant stored = settings_.value(key_text(key));
    if (!stored.isValid()) return std::nullopt;
    return stored.toByteArray().toStdString();
}

void QtPreferences::set_value(std::string_view key, std::string_view value) {
    settings_.setValue(key_text(key),
                       QByteArray(value.data(), static_cast<qsizetype>(value.size())));
    settings_.sync();
}

void QtPreferences::remove(std::string_view key) {
    settings_.remove(key_text(key));
    settings_.sync();
}

}  // namespace quarvent
