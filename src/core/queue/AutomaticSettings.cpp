#include "core/queue/AutomaticSettings.h"

AutomaticSettings AutomaticSettings::from(const SettingsRecord &record) {
    AutomaticSettings settings;
    settings.folders = record.autoFolders;
    bool number = false;
    const int seconds = record.settleSeconds.trimmed().toInt(&number);
    if (number && seconds >= 0) {
        settings.settleSeconds = seconds;
    }
    settings.startUploading = record.startUploading.trimmed() == u'1';
    return settings;
}

void AutomaticSettings::applyTo(SettingsRecord &record) const {
    record.autoFolders = folders;
    record.settleSeconds =
        settleSeconds == kDefaultSettleSeconds ? QString() : QString::number(settleSeconds);
    record.startUploading = startUploading ? QStringLiteral("1") : QString();
}
