#pragma once

#include "core/config/SettingsRecord.h"

#include <QStringList>
#include <chrono>

// How the station queues by itself, as the settings file's [Automatic] and [AutoFolders] sections say.
struct AutomaticSettings {
    static constexpr int kDefaultSettleSeconds = 5;

    QStringList folders;                       // the transit subfolders whose files queue by themselves
    int settleSeconds = kDefaultSettleSeconds; // a file must stay unchanged this long first
    bool startUploading = false;               // the station starts with uploading on

    std::chrono::milliseconds settleTime() const { return std::chrono::seconds(settleSeconds); }

    // Reads record: SettleSeconds a whole number from 0 (anything else: the default), StartUploading 1
    // on, anything else off.
    static AutomaticSettings from(const SettingsRecord &record);

    // Writes these settings into record; the default settle time and uploading off leave their keys
    // empty (not written to a file that lacks them).
    void applyTo(SettingsRecord &record) const;

    bool operator==(const AutomaticSettings &) const = default;
};
