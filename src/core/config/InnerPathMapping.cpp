#include "core/config/InnerPathMapping.h"

#include "core/common/Cp936.h"
#include "core/common/SafeRead.h"
#include "core/common/SystemErrors.h"
#include "core/config/SettingsCheck.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <cerrno>

namespace {

const QChar kRecordEnd = QLatin1Char('|');
const QChar kNameEnd = QLatin1Char('*');
const QChar kPathEnd = QLatin1Char('>');

} // namespace

InnerPathMapping::InnerPathMapping(QString filePath)
    : m_filePath(std::move(filePath)), m_open([](QFile &file) {
          // The station's own file, which may be linked in from elsewhere (the dialog's save writes
          // through the link); a pipe or a device under its name must neither block nor be read.
          Failure ignored; // the callers word their own message
          return SafeRead::open(file.fileName(), file, &ignored, SafeRead::Links::FollowToRegular);
      }) {}

bool InnerPathMapping::readText(QString *text, bool *complete) const {
    QFile file(m_filePath);
    if (!m_open(file)) {
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
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.flush() ||
        !file.commit()) {
        return {
            QStringLiteral("错误"),
            QStringLiteral("无法写入内网路径配置文件 %1：%2").arg(m_filePath, fileErrorText(file, errno))};
    }
    return {};
}

QString InnerPathMapping::innerAddressProblem(const QString &innerAddress) {
    const QString example = QStringLiteral("如 192.168.1.1:4321");
    if (innerAddress.isEmpty()) {
        return QStringLiteral("请填写内网IP:端口，%1。").arg(example);
    }
    const qsizetype colon = innerAddress.indexOf(u':');
    if (colon < 0 || !SettingsCheck::isDottedIpv4(innerAddress.left(colon)) ||
        !SettingsCheck::isPort(innerAddress.mid(colon + 1))) {
        return QStringLiteral("内网IP:端口“%1”无效：应为IPv4地址、冒号和 1 到 65535 之间的端口，%2。")
            .arg(innerAddress, example);
    }
    return QString();
}

QString InnerPathMapping::innerPathProblem(const QString &innerPath) {
    const QString example = QStringLiteral("如 d://广告 或 e:/资料/技术");
    if (innerPath.isEmpty()) {
        return QStringLiteral("请填写内网路径，%1。").arg(example);
    }
    const bool driveLetter = innerPath.size() >= 2 && innerPath[1] == u':' && innerPath[0].unicode() < 0x80 &&
                             innerPath[0].isLetter();
    if (driveLetter && innerPath[0].toLower() == u'c') {
        return QStringLiteral("内网路径“%1”在c:盘上：c:盘是内网机器的系统盘，不能使用，请改用其它盘，%2。")
            .arg(innerPath, example);
    }
    if (innerPath.indexOf(u':', driveLetter ? 2 : 0) >= 0) {
        return QStringLiteral("内网路径“%1”中只有盘符后可以有冒号，%2。").arg(innerPath, example);
    }
    for (const QChar c : {kRecordEnd, kNameEnd, kPathEnd}) {
        if (innerPath.contains(c)) {
            return QStringLiteral("内网路径“%1”不能含有字符“%2”。").arg(innerPath, QString(c));
        }
    }
    for (const QChar c : innerPath) {
        if (c.category() == QChar::Other_Control) {
            return QStringLiteral("内网路径“%1”含有控制字符。").arg(innerPath);
        }
    }
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    if (innerPath.split(separators).contains(QStringLiteral(".."))) {
        return QStringLiteral("内网路径“%1”不能含有“..”。").arg(innerPath);
    }
    return QString();
}
