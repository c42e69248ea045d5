#include "core/common/Failure.h"

#include <QDir>

QString Failure::sentence() const {
    QString verb;
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Read:
        verb = QStringLiteral("无法读取");
        break;
    case Kind::Write:
        verb = QStringLiteral("无法写入");
        break;
    case Kind::Move:
        verb = QStringLiteral("无法移动");
        break;
    case Kind::Folder:
        verb = QStringLiteral("无法使用文件夹");
        break;
    case Kind::Format:
        verb = QStringLiteral("无法识别");
        break;
    case Kind::TooLarge:
        verb = QStringLiteral("文件过大，无法读取");
        break;
    }
    QString text = verb + QLatin1Char(' ') + QDir::toNativeSeparators(path);
    if (!reason.isEmpty()) {
        text += QStringLiteral("：") + reason;
    }
    if (!detail.isEmpty()) {
        text += QLatin1Char('\n') + detail;
    }
    return text;
}
