#include "core/config/InnerPathMapping.h"

#include "core/common/Cp936.h"

#include <QFile>
#include <QSaveFile>

namespace {

const QChar kRecordEnd = QLatin1Char('|');
const QChar kNameEnd = QLatin1Char('*');
const QChar kPathEnd = QLatin1Char('>');

} // namespace

InnerPathMapping::InnerPathMapping(QString filePath) : m_filePath(std::move(filePath)) {}

bool InnerPathMapping::readText(QString *text, bool *complete) const {
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QByteArray bytes = file.read(kReadLimit + 1);
    if (complete) {
        *complete = bytes.size() <= kReadLimit;
    }
    bytes.truncate(kReadLimit);
    // The text ends at the first zero byte, as it always has.
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0) {
        bytes.truncate(zero);
    }
    *text = Cp936::decode(bytes);
    return true;
}

InnerPathMapping::Lookup InnerPathMapping::find(const QString &text, const QString &name) {
    Lookup result;
    result.fileOpened = true;
    const QString key = name + kNameEnd;
    qsizetype valueStart = -1;
    const qsizetype afterBar = text.indexOf(kRecordEnd + key);
    if (afterBar >= 0) {
        valueStart = afterBar + 1 + key.size();
    } else if (text.startsWith(key)) {
        result.keyAtTextStart = true;
        valueStart = key.size();
    }
    if (valueStart < 0 || name.isEmpty()) {
        return result;
    }
    result.keyFound = true;
    // A ">" belongs to this record only if no "|" comes first: a record damaged by hand must not
    // borrow the fields of the next one.
    const qsizetype pathEnd = text.indexOf(kPathEnd, valueStart);
    const qsizetype recordEnd = text.indexOf(kRecordEnd, valueStart);
    if (pathEnd < 0 || (recordEnd >= 0 && recordEnd < pathEnd)) {
        return result;
    }
    result.pathFound = true;
    result.innerPath = text.mid(valueStart, pathEnd - valueStart);
    const qsizetype addressEnd = text.indexOf(kRecordEnd, pathEnd);
    if (addressEnd < 0) {
        return result;
    }
    result.addressFound = true;
    result.innerAddress = text.mid(pathEnd + 1, addressEnd - pathEnd - 1);
    return result;
}

InnerPathMapping::Lookup InnerPathMapping::lookup(const QString &name) const {
    QString text;
    if (!readText(&text)) {
        return Lookup{};
    }
    return find(text, name);
}

InnerPathMapping::QueueVerdict InnerPathMapping::judgeForQueue(const Lookup &lookup) {
    if (!lookup.fileOpened) {
        return QueueVerdict::FileMissing;
    }
    // Files written by the dialog always begin with "|": a record without it is not trusted.
    if (!lookup.keyFound || lookup.keyAtTextStart) {
        return QueueVerdict::NotConfigured;
    }
    if (!lookup.pathFound || lookup.innerPath.isEmpty()) {
        return QueueVerdict::BadInnerPath;
    }
    if (!lookup.addressFound) {
        return QueueVerdict::BadInnerAddress;
    }
    return QueueVerdict::Accepted;
}

QString InnerPathMapping::textOf(const QList<Row> &rows) {
    if (rows.isEmpty()) {
        return QString();
    }
    QString text(kRecordEnd);
    for (const Row &row : rows) {
        text += row.folderName + kNameEnd + row.innerPath + kPathEnd + row.innerAddress + kRecordEnd;
    }
    return text;
}

Notice InnerPathMapping::write(const QList<Row> &rows) const {
    const std::optional<QByteArray> bytes = Cp936::encode(textOf(rows));
    if (!bytes) {
        return {QStringLiteral("错误"), QStringLiteral("内网路径配置中含有无法保存的字符，未保存。")};
    }
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit()) {
        return {QStringLiteral("错误"),
                QStringLiteral("无法写入内网路径配置文件 %1：%2").arg(m_filePath, file.errorString())};
    }
    return {};
}
