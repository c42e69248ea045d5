#include "core/config/SettingsStore.h"

#include "core/common/Cp936.h"
#include "core/config/ProfileFile.h"

#include <QFileInfo>
#include <array>
#include <optional>

namespace {

SettingsStore::SaveResult failure(const QString &text) {
    return {SettingsStore::SaveResult::Outcome::Failed, Notice{NoticeCaption::kError, text}};
}

// A subfolder's name is a key of the settings file: it must have a CP936 form and read back as itself
// (no blanks at its ends, no "=", not taken for a comment or a section).
bool canBeKey(const QString &name) {
    const std::optional<QByteArray> bytes = Cp936::encode(name);
    return bytes && !bytes->isEmpty() && ProfileFile::canHoldValue(*bytes) && name == name.trimmed() &&
           !name.contains(u'=') && !name.startsWith(u';') && !name.startsWith(u'[');
}

} // namespace

SettingsStore::SettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

bool SettingsStore::load(SettingsRecord &record, Failure *failure) const {
    if (!QFileInfo::exists(m_filePath)) {
        return false;
    }
    // A settings file that is there but cannot be read gives empty values, as the profile functions do.
    const ProfileFile file = ProfileFile::read(m_filePath, failure).value_or(ProfileFile());
    for (const SettingDefinition &setting : kSettings) {
        const QByteArray bytes =
            file.value(setting.section.toString(), setting.key.toString()).value_or(QByteArray());
        const QString value = Cp936::decode(Cp936::truncateBytes(bytes, kValueReadLimit));
        record.*setting.member = dropsBlanks(setting.check) ? value.trimmed() : value;
    }
    record.autoFolders.clear();
    const QString autoSection = kAutoFoldersSection.toString();
    for (const QString &folder : file.keys(autoSection)) {
        if (file.value(autoSection, folder).value_or(QByteArray()).trimmed() == "1") {
            record.autoFolders << folder;
        }
    }
    return true;
}

SettingsStore::SaveResult SettingsStore::save(const SettingsRecord &record) const {
    for (const SettingDefinition &setting : kSettings) {
        if (setting.check == SettingCheck::WorkFolder && (record.*setting.member).isEmpty()) {
            return {SaveResult::Outcome::Refused, {}};
        }
    }

    std::array<QByteArray, kSettings.size()> values;
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        const SettingDefinition &setting = kSettings[i];
        const std::optional<QByteArray> bytes = Cp936::encode(record.*setting.member);
        if (!bytes || !ProfileFile::canHoldValue(*bytes)) {
            return failure(QStringLiteral("“%1”含有无法保存的字符，设置未保存。").arg(setting.label));
        }
        values[i] = *bytes;
    }
    for (const QString &folder : record.autoFolders) {
        if (!canBeKey(folder)) {
            return failure(
                QStringLiteral("子文件夹名“%1”无法作为自动上传设置保存，设置未保存。").arg(folder));
        }
    }

    ProfileFile file;
    if (QFileInfo::exists(m_filePath)) {
        Failure unread;
        std::optional<ProfileFile> existing = ProfileFile::read(m_filePath, &unread);
        if (!existing) {
            return failure(QStringLiteral("无法读取设置文件 %1：%2").arg(m_filePath, unread.reason));
        }
        file = std::move(*existing);
    }
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        const QString section = kSettings[i].section.toString();
        const QString key = kSettings[i].key.toString();
        if (kSettings[i].newer && values[i].isEmpty() && !file.value(section, key)) {
            continue;
        }
        file.setValue(section, key, values[i]);
    }
    // A subfolder no longer automatic keeps its line, set to 0: the file keeps every line it had.
    const QString autoSection = kAutoFoldersSection.toString();
    for (const QString &folder : file.keys(autoSection)) {
        if (!record.autoFolders.contains(folder)) {
            file.setValue(autoSection, folder, "0");
        }
    }
    for (const QString &folder : record.autoFolders) {
        file.setValue(autoSection, folder, "1");
    }
    QString error;
    if (!file.write(m_filePath, &error)) {
        return failure(QStringLiteral("无法写入设置文件 %1：%2").arg(m_filePath, error));
    }
    return {SaveResult::Outcome::Saved, {}};
}
