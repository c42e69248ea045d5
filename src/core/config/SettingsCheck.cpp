#include "core/config/SettingsCheck.h"

#include "core/common/Paths.h"
#include "core/common/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <cerrno>
#include <utility>

namespace SettingsCheck {
namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

// The folder as it resolves: the real path where it exists, the cleaned absolute path where not.
QString resolved(const QString &folder) {
    const QFileInfo info(folder);
    const QString real = info.exists() ? info.canonicalFilePath() : QString();
    return real.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : real;
}

bool liesInside(const QString &inner, const QString &outer) {
    const QString prefix = outer.endsWith(u'/') ? outer : outer + u'/';
    return inner.startsWith(prefix, kPathCase);
}

Problem problem(Field field, const QString &text) {
    return {field, text};
}

// What is wrong with the form of the setting's value, or nothing.
QString formatProblem(const SettingDefinition &setting, const QString &value) {
    switch (setting.check) {
    case SettingCheck::None:
    case SettingCheck::WorkFolder:
    case SettingCheck::Folder:
        break;
    case SettingCheck::Ipv4Address:
        if (!isDottedIpv4(value)) {
            return QStringLiteral("%1“%2”不是有效的IPv4地址，请按 192.168.1.20 的格式填写。")
                .arg(setting.label, value);
        }
        break;
    case SettingCheck::Port:
        if (!isPort(value)) {
            return QStringLiteral("%1“%2”无效，请填写 1 到 65535 之间的数字。").arg(setting.label, value);
        }
        break;
    case SettingCheck::BandwidthLimit:
        if (!isBandwidthLimit(value)) {
            return QStringLiteral("%1“%2”无效，请填写 KB/s 的整数（0 或不填为不限速）。")
                .arg(setting.label, value);
        }
        break;
    }
    return QString();
}

} // namespace

QString label(Field field) {
    return settingOf(field).label.toString();
}

QString SettingsRecord::*member(Field field) {
    return settingOf(field).member;
}

QList<Field> folderFields() {
    QList<Field> folders;
    for (const SettingDefinition *setting : kSettingsInFieldOrder) {
        if (isFolder(setting->check)) {
            folders.append(setting->field);
        }
    }
    return folders;
}

bool isDottedIpv4(const QString &text) {
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4) {
        return false;
    }
    for (const QString &part : parts) {
        // Decimal only: a leading zero reads as octal to some resolvers.
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.startsWith(u'0'))) {
            return false;
        }
        for (const QChar c : part) {
            if (c < u'0' || c > u'9') {
                return false;
            }
        }
        if (part.toInt() > 255) {
            return false;
        }
    }
    return true;
}

bool isPort(const QString &text) {
    if (text.isEmpty() || text.size() > 5) {
        return false;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    const int value = text.toInt();
    return value >= 1 && value <= 65535;
}

bool isBandwidthLimit(const QString &text) {
    if (text.isEmpty()) {
        return true;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return text.size() <= 8 && text.toLongLong() <= 10'000'000;
}

Problem firstProblem(const SettingsRecord &record) {
    for (const SettingDefinition *setting : kSettingsInFieldOrder) {
        if (isRequired(setting->check) && (record.*setting->member).trimmed().isEmpty()) {
            return problem(setting->field, QStringLiteral("请填写“%1”。").arg(setting->label));
        }
    }
    for (const SettingDefinition *setting : kSettingsInFieldOrder) {
        const QString text = formatProblem(*setting, record.*setting->member);
        if (!text.isEmpty()) {
            return problem(setting->field, text);
        }
    }
    const QList<Field> folders = folderFields();
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const QString first = resolved(record.*member(folders[i]));
        for (qsizetype j = i + 1; j < folders.size(); ++j) {
            const QString second = resolved(record.*member(folders[j]));
            if (first.compare(second, kPathCase) == 0) {
                return problem(folders[j],
                               QStringLiteral("%1与%2是同一个文件夹“%3”，请分别设置不同的文件夹。")
                                   .arg(label(folders[j]), label(folders[i]), record.*member(folders[j])));
            }
            // The later field of the two in the dialog's order takes the blame (as with the same folder
            // twice).
            for (const auto &[inner, outer] : {std::pair(j, i), std::pair(i, j)}) {
                const QString &innerFolder = record.*member(folders[inner]);
                const QString &outerFolder = record.*member(folders[outer]);
                if (liesInside(resolved(innerFolder), resolved(outerFolder))) {
                    return problem(
                        folders[j],
                        QStringLiteral("%1“%2”位于%3“%4”之内，请选择不在其中的文件夹。")
                            .arg(label(folders[inner]), innerFolder, label(folders[outer]), outerFolder));
                }
            }
        }
    }
    return {};
}

QList<Field> missingFolders(const SettingsRecord &record) {
    QList<Field> missing;
    for (const Field field : folderFields()) {
        if (!QFileInfo(record.*member(field)).isDir()) {
            missing.append(field);
        }
    }
    return missing;
}

QString probeWritable(const QString &folder) {
    // A name nobody else uses, created only if it does not exist: the probe never touches a file of
    // the operator's, and a folder that merely can be listed does not pass.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString name = QStringLiteral(".brelvantis-write-check-%1")
                                 .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
        QFile probe(Paths::join(folder, name));
        errno = 0;
        if (probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            probe.close();
            errno = 0;
            return probe.remove() ? QString() : fileErrorText(probe, errno);
        }
        if (errno != EEXIST) {
            return fileErrorText(probe, errno);
        }
    }
    return systemErrorText(EEXIST);
}

Problem unwritableFolder(const SettingsRecord &record, const WriteProbe &probe) {
    // The transit folder is only read from and moved out of; these three are written to.
    for (const Field field : folderFields()) {
        if (field == Field::TransitFolder) {
            continue;
        }
        const QString folder = record.*member(field);
        const QString reason = probe(folder);
        if (!reason.isEmpty()) {
            return problem(field, QStringLiteral("%1“%2”无法写入：%3。请选择可以写入的文件夹。")
                                      .arg(label(field), folder, reason));
        }
    }
    return {};
}

} // namespace SettingsCheck
