#pragma once
// The remembered choices in a settings file of the desktop program's own, in INI format:
// by default quarvent/quarvent-desktop.ini in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config). quarvent.ini is a different file and stays as it is.

#include <QSettings>
#include <QString>

#include "shell/preferences.hpp"

namespace quarvent {

class QtPreferences final : public PreferenceStore {
public:
    // The user's own file.
    QtPreferences();
    // A file of the caller's choosing (tests).
    explicit QtPreferences(const QString& file_name);

    std::optional<std::string> value(std::string_view key) const override;
    void set_value(std::string_view key, std::string_view value) override;
    void remove(std::string_view key) override;

    QString file_name() const { return settings_.fileName(); }

private:
    QSettings settings_;
};

}  // namespace quarvent
