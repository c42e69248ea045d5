#pragma once

#include <QString>

// The seven operator settings, as the settings dialog edits them and every other part reads them.
// All values are empty until the settings file is loaded; there are no other defaults.
struct SettingsRecord {
    QString completionFolder;
    QString uploadFolder;
    QString transitFolder;
    QString fileTypes;
    QString recordFolder;
    QString isolatorAddress;
    QString isolatorPort;

    bool operator==(const SettingsRecord &) const = default;
};
