#include "core/inspection/InspectionSettings.h"

namespace {

// True unless the value says off; *problem names a value that is neither.
bool switchedOn(const SettingDefinition &setting, const QString &value, QString *problem) {
    const QString text = value.trimmed();
    if (text.isEmpty() || text == u'0') {
        return false;
    }
    if (text != u'1' && problem->isEmpty()) {
        *problem = QStringLiteral("%1=%2 应为 1 或 0，已按 1 处理").arg(setting.key, text);
    }
    return true;
}

} // namespace

InspectionSettings InspectionSettings::from(const SettingsRecord &record) {
    InspectionSettings settings;
    settings.checkContent =
        switchedOn(settingOf(SettingsField::CheckContent), record.checkContent, &settings.problem);
    settings.openArchives =
        switchedOn(settingOf(SettingsField::OpenArchives), record.openArchives, &settings.problem);
    const QString scanner = record.scanner.trimmed();
    if (scanner.isEmpty()) {
        return settings;
    }
    settings.scanner = Scanner::Clamd;
    if (scanner.compare(u"clamd", Qt::CaseInsensitive) != 0) {
        settings.clamd.problem = QStringLiteral("未知的扫描程序“%1”（可用：clamd）").arg(scanner);
    } else {
        settings.clamd = ClamdEndpoint::fromSettings(record.clamdSocket, record.clamdAddress);
    }
    if (settings.problem.isEmpty()) {
        settings.problem = settings.clamd.problem;
    }
    return settings;
}

void InspectionSettings::applyTo(SettingsRecord &record) const {
    record.checkContent = checkContent ? QStringLiteral("1") : QString();
    record.openArchives = openArchives ? QStringLiteral("1") : QString();
    record.scanner = scanner == Scanner::Clamd ? QStringLiteral("clamd") : QString();
    record.clamdSocket.clear();
    record.clamdAddress.clear();
    if (scanner == Scanner::None) {
        return;
    }
    // Debian's socket is what an empty setting means; only another one is written.
    if (clamd.kind == ClamdEndpoint::Kind::LocalSocket && clamd.socketPath != ClamdEndpoint::kDefaultSocket) {
        record.clamdSocket = clamd.socketPath;
    } else if (clamd.kind == ClamdEndpoint::Kind::Tcp) {
        record.clamdAddress = clamd.text();
    }
}
