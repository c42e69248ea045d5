#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <algorithm>
#include <array>

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
    // What is checked before a file crosses (InspectionSettings reads them); empty: not checked.
    QString checkContent = {}; // 1: the true type by content must fit the extension
    QString openArchives = {}; // 1: the members of archives are checked too
    QString scanner = {};      // clamd: every file is scanned for malware
    QString clamdSocket = {};  // clamd's Unix socket, or
    QString clamdAddress = {}; // clamd's numeric IPv4:port
    // Automatic queueing (AutomaticSettings reads them); empty: the defaults.
    QString settleSeconds = {};  // how long a file of an automatic subfolder must stay unchanged
    QString startUploading = {}; // 1: the station starts with uploading on
    // The transit subfolders whose files queue by themselves ([AutoFolders], a key per subfolder).
    QStringList autoFolders = {};

    bool operator==(const SettingsRecord &) const = default;
};

// Names a setting. The values go in the order of the settings dialog's fields, which is also the order
// OK checks them in; the settings file has an order of its own (kSettings).
enum class SettingsField {
    TransitFolder,
    UploadFolder,
    CompletionFolder,
    FileTypes,
    RecordFolder,
    IsolatorAddress,
    IsolatorPort,
    BandwidthLimit,
    CheckContent,
    OpenArchives,
    Scanner,
    ClamdSocket,
    ClamdAddress,
    SettleSeconds,
    StartUploading,
};

// What a setting must hold for the settings dialog's OK (SettingsCheck), and what that means for
// the settings store and the dialog.
enum class SettingCheck {
    None,           // passed through as it is
    WorkFolder,     // a folder the station cannot work without: filled (else the store saves nothing),
                    // apart from the other folders, created on OK when missing
    Folder,         // filled, apart from the other folders, created on OK when missing
    Ipv4Address,    // filled, a dotted IPv4 address; blanks around it are dropped
    Port,           // filled, 1 to 65535; blanks around it are dropped
    BandwidthLimit, // empty, or a whole number of KB/s from 0 (no limit) to 10,000,000
};

// One setting: where the record holds it, where the settings file keeps it, what the settings
// dialog calls it and how OK checks it.
struct SettingDefinition {
    SettingsField field;
    QString SettingsRecord::*member;
    QStringView section; // in the settings file
    QStringView key;
    QStringView label; // in the settings dialog and in every message about the setting
    SettingCheck check;
    bool newer = false; // the first settings files did not have it: not written while empty
};

// Every setting, in the order the settings file is read and written (a new file's order). The
// sections, keys and this order are what older installations read: they never change.
inline constexpr auto kSettings = std::to_array<SettingDefinition>({
    {SettingsField::CompletionFolder, &SettingsRecord::completionFolder, u"Path Parameters", u"完成路径",
     u"回收目录", SettingCheck::WorkFolder},
    {SettingsField::TransitFolder, &SettingsRecord::transitFolder, u"Path Parameters", u"中转路径",
     u"中转目录", SettingCheck::WorkFolder},
    {SettingsField::UploadFolder, &SettingsRecord::uploadFolder, u"Path Parameters", u"上传路径", u"上传目录",
     SettingCheck::WorkFolder},
    {SettingsField::RecordFolder, &SettingsRecord::recordFolder, u"Path Parameters", u"记录路径", u"记录目录",
     SettingCheck::Folder},
    {SettingsField::FileTypes, &SettingsRecord::fileTypes, u"File Filters", u"文件类型", u"文件类型",
     SettingCheck::None},
    {SettingsField::IsolatorAddress, &SettingsRecord::isolatorAddress, u"File Filters", u"隔离器地址",
     u"隔离器地址", SettingCheck::Ipv4Address},
    {SettingsField::IsolatorPort, &SettingsRecord::isolatorPort, u"File Filters", u"隔离器端口",
     u"隔离器端口", SettingCheck::Port},
    {SettingsField::BandwidthLimit, &SettingsRecord::bandwidthLimit, u"Transfer", u"BandwidthLimitKBps",
     u"传输限速", SettingCheck::BandwidthLimit, true},
    {SettingsField::CheckContent, &SettingsRecord::checkContent, u"Inspection", u"CheckContent",
     u"检查文件内容", SettingCheck::None, true},
    {SettingsField::OpenArchives, &SettingsRecord::openArchives, u"Inspection", u"OpenArchives",
     u"检查压缩包内的文件", SettingCheck::None, true},
    {SettingsField::Scanner, &SettingsRecord::scanner, u"Inspection", u"Scanner", u"病毒扫描",
     SettingCheck::None, true},
    {SettingsField::ClamdSocket, &SettingsRecord::clamdSocket, u"Inspection", u"ClamdSocket", u"clamd 套接字",
     SettingCheck::None, true},
    {SettingsField::ClamdAddress, &SettingsRecord::clamdAddress, u"Inspection", u"ClamdAddress",
     u"clamd 地址", SettingCheck::None, true},
    {SettingsField::SettleSeconds, &SettingsRecord::settleSeconds, u"Automatic", u"SettleSeconds",
     u"稳定时间（秒）", SettingCheck::None, true},
    {SettingsField::StartUploading, &SettingsRecord::startUploading, u"Automatic", u"StartUploading",
     u"启动时开始上传", SettingCheck::None, true},
});

// The section that lists the automatic subfolders: each key a subfolder's name, 1 for automatic.
inline constexpr QStringView kAutoFoldersSection = u"AutoFolders";

// The settings in the settings dialog's order (the order of SettingsField).
inline constexpr std::array<const SettingDefinition *, kSettings.size()> kSettingsInFieldOrder = [] {
    std::array<const SettingDefinition *, kSettings.size()> ordered{};
    for (const SettingDefinition &setting : kSettings) {
        ordered[static_cast<std::size_t>(setting.field)] = &setting;
    }
    return ordered;
}();

// Each field names exactly one setting (counted by value: comparing addresses is not constant in every
// build).
static_assert(
    [] {
        std::array<int, kSettings.size()> seen{};
        for (const SettingDefinition &setting : kSettings) {
            const auto index = static_cast<std::size_t>(setting.field);
            if (index >= seen.size() || seen[index]++ != 0) {
                return false;
            }
        }
        return true;
    }(),
    "each field names exactly one setting");

constexpr const SettingDefinition &settingOf(SettingsField field) {
    return *kSettingsInFieldOrder[static_cast<std::size_t>(field)];
}

constexpr bool isFolder(SettingCheck check) {
    return check == SettingCheck::WorkFolder || check == SettingCheck::Folder;
}

// True for a setting OK refuses while it is empty.
constexpr bool isRequired(SettingCheck check) {
    return check != SettingCheck::None && check != SettingCheck::BandwidthLimit;
}

// True for a setting whose blanks at either end are dropped when it is read or taken from the dialog:
// a blank typed around the address or the port would make every connection fail.
constexpr bool dropsBlanks(SettingCheck check) {
    return check == SettingCheck::Ipv4Address || check == SettingCheck::Port;
}
