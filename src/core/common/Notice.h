#pragma once

#include <QString>

// What an operation wants the operator to read. Logic never opens a message box: it hands a notice
// back and the widget that ran the operation shows it (an empty caption means the application name).
struct Notice {
    QString caption;
    QString text;

    bool isEmpty() const { return text.isEmpty(); }
};

// Captions the station uses.
namespace NoticeCaption {
inline const QString kHint = QStringLiteral("提示");
inline const QString kError = QStringLiteral("错误");
} // namespace NoticeCaption
