#pragma once

#include "core/config/SettingsRecord.h"

#include <QString>
#include <QStringList>
#include <chrono>

// How the station queues by itself, as the settings file's [Automatic] and [AutoFolders] sections say.
struct AutomaticSettings {
    static constexpr int kDefaultSettleSeconds = 5;
    // A file is seen unchanged on two looks at least a second apart; an hour is as long as any copy
    // onto a share should pause.
    static constexpr int kMinSettleSeconds = 1;
    static constexpr int kMaxSettleSeconds = 3600;

    QStringList folders;                       // the transit subfolders whose files queue by themselves
    int settleSeconds = kDefaultSettleSeconds; // a file must stay unchanged this long first
    bool startUploading = false;               // the station starts with uploading on
    // A value the station cannot use as it stands, in the operator's words, and what it uses instead;
    // empty when every value is understood.
    QString problem{};

    std::chrono::milliseconds settleTime() const { return std::chrono::seconds(settleSeconds); }

    // Reads record: SettleSeconds a whole number from 1 to 3600 (one outside is taken as the nearer
    // bound, anything else as the default, and problem says so), StartUploading 1 on, anything else off.
    static AutomaticSettings from(const SettingsRecord &record);

    // Writes these settings into record; the default settle time and uploading off leave their keys
    // empty (not written to a file that lacks them).
    void applyTo(SettingsRecord &record) const;

    bool operator==(const AutomaticSettings &) const = default;
};
