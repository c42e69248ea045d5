#include "core/config/SettingsStore.h"

#include "core/common/Cp936.h"
#include "core/config/ProfileFile.h"

#include <QFileInfo>
#include <array>
#include <optional>

namespace {

struct Setting {
    QString section;
    QString key;
    QString label; // as the settings dialog names it
    QString SettingsRecord::*field;
    bool newer = false; // a setting the first settings files did not have: not written while empty
};

// In the order the station reads and writes them, which is also the order of a new file.
const std::array<Setting, 8> &settings() {
    static const QString paths = QStringLiteral("Path Parameters");
    static const QString filters = QStringLiteral("File Filters");
    static const QString transfer = QStringLiteral("Transfer");
    static const std::array<Setting, 8> list = {{
        {paths, QStringLiteral("完成路径"), QStringLiteral("回收目录"), &SettingsRecord::completionFolder},
        {paths, QStringLiteral("中转路径"), QStringLiteral("中转目录"), &SettingsRecord::transitFolder},
        {paths, QStringLiteral("上传路径"), QStringLiteral("上传目录"), &SettingsRecord::uploadFolder},
        {paths, QStringLiteral("记录路径"), QStringLiteral("记录目录"), &SettingsRecord::recordFolder},
        {filters, QStringLiteral("文件类型"), QStringLiteral("文件类型"), &SettingsRecord::fileTypes},
        {filters, QStringLiteral("隔离器地址"), QStringLiteral("隔离器地址"),
         &SettingsRecord::isolatorAddress},
        {filters, QStringLiteral("隔离器端口"), QStringLiteral("隔离器端口"), &SettingsRecord::isolatorPort},
        {transfer, QStringLiteral("BandwidthLimitKBps"), QStringLiteral("带宽限制"),
         &SettingsRecord::bandwidthLimit, true},
    }};
    return list;
}

SettingsStore::SaveResult failure(const QString &text) {
    return {SettingsStore::SaveResult::Outcome::Failed, Notice{NoticeCaption::kError, text}};
}

} // namespace

SettingsStore::SettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

bool SettingsStore::load(SettingsRecord &record) const {
    if (!QFileInfo::exists(m_filePath)) {
        return false;
    }
    // A settings file that is there but cannot be read gives empty values, as the profile functions do.
    const ProfileFile file = ProfileFile::read(m_filePath).value_or(ProfileFile());
    for (const Setting &setting : settings()) {
        const QByteArray bytes = file.value(setting.section, setting.key).value_or(QByteArray());
        record.*setting.field = Cp936::decode(Cp936::truncateBytes(bytes, kValueReadLimit));
    }
    // A blank typed around the address or the port would make every connection fail.
    record.isolatorAddress = record.isolatorAddress.trimmed();
    record.isolatorPort = record.isolatorPort.trimmed();
    return true;
}

SettingsStore::SaveResult SettingsStore::save(const SettingsRecord &record) const {
    if (record.completionFolder.isEmpty() || record.transitFolder.isEmpty() ||
        record.uploadFolder.isEmpty()) {
        return {SaveResult::Outcome::Refused, {}};
    }

    std::array<QByteArray, 8> values;
    for (std::size_t i = 0; i < settings().size(); ++i) {
        const Setting &setting = settings()[i];
        const std::optional<QByteArray> bytes = Cp936::encode(record.*setting.field);
        if (!bytes || !ProfileFile::canHoldValue(*bytes)) {
            return failure(QStringLiteral("“%1”含有无法保存的字符，设置未保存。").arg(setting.label));
        }
        values[i] = *bytes;
    }

    ProfileFile file;
    if (QFileInfo::exists(m_filePath)) {
        QString error;
        std::optional<ProfileFile> existing = ProfileFile::read(m_filePath, &error);
        if (!existing) {
            return failure(QStringLiteral("无法读取设置文件 %1：%2").arg(m_filePath, error));
        }
        file = std::move(*existing);
    }
    for (std::size_t i = 0; i < settings().size(); ++i) {
        const Setting &setting = settings()[i];
        if (setting.newer && values[i].isEmpty() && !file.value(setting.section, setting.key)) {
            continue;
        }
        file.setValue(setting.section, setting.key, values[i]);
    }
    QString error;
    if (!file.write(m_filePath, &error)) {
        return failure(QStringLiteral("无法写入设置文件 %1：%2").arg(m_filePath, error));
    }
    return {SaveResult::Outcome::Saved, {}};
}
