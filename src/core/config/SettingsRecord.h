#pragma once

#include <QString>

// The operator settings, as the settings dialog edits them and every other part reads them.
// All values are empty until the settings file is loaded; there are no other defaults.
struct SettingsRecord {
    QString completionFolder;
    QString uploadFolder;
    QString transitFolder;
    QString fileTypes;
    QString recordFolder;
    QString isolatorAddress;
    QString isolatorPort;
    // Newer settings, in a section of their own that older copies of the station ignore.
    QString bandwidthLimit = {}; // KB/s (1 KB = 1000 bytes) the sender may use; empty or 0: no limit

    bool operator==(const SettingsRecord &) const = default;
};
