#include "core/queue/AutomaticSettings.h"

#include <algorithm>

AutomaticSettings AutomaticSettings::from(const SettingsRecord &record) {
    AutomaticSettings settings;
    settings.folders = record.autoFolders;
    const QString text = record.settleSeconds.trimmed();
    bool number = false;
    const qlonglong seconds = text.toLongLong(&number);
    if (number) {
        settings.settleSeconds =
            static_cast<int>(std::clamp<qlonglong>(seconds, kMinSettleSeconds, kMaxSettleSeconds));
    }
    if (!text.isEmpty() && (!number || settings.settleSeconds != seconds)) {
        settings.problem = QStringLiteral("稳定时间“%1”不是 %2 到 %3 之间的整秒数，按 %4 秒计")
                               .arg(record.settleSeconds)
                               .arg(kMinSettleSeconds)
                               .arg(kMaxSettleSeconds)
                               .arg(settings.settleSeconds);
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
