#include "core/upload/CompletionMover.h"

#include "core/common/Clock.h"
#include "core/common/FileMove.h"
#include "core/common/Paths.h"
#include "core/config/SettingsRecord.h"

#include <QFileInfo>

CompletionMover::CompletionMover(const SettingsRecord &settings, const Clock &clock, QObject *parent)
    : QObject(parent), m_settings(settings), m_clock(clock),
      m_mover([](const QString &source, const QString &target) {
          return FileMove::move(source, target, false);
      }) {}

QString CompletionMover::freeName(const QString &folder, const QString &fileName) {
    // The number goes before the extension; a name whose only dot leads it has no extension.
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString stem = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    QString name = fileName;
    for (int n = 2;
         QFileInfo::exists(Paths::join(folder, name)) || QFileInfo(Paths::join(folder, name)).isSymLink();
         ++n) {
        name = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
    }
    return name;
}

QString CompletionMover::moveSentFile(const QString &fileName) {
    const QString source = Paths::join(m_settings.uploadFolder, fileName);
    if (m_settings.completionFolder.isEmpty()) {
        return fail(fileName, QString(), QStringLiteral("回收目录未设置"));
    }
    const QString folder = Paths::join(m_settings.completionFolder, m_clock.dateText());
    if (!QFileInfo(source).isFile()) {
        return fail(fileName, folder, QStringLiteral("上传目录中已没有该文件"));
    }
    const QString made = FileMove::makeFolder(folder);
    if (!made.isEmpty()) {
        return fail(fileName, folder, made);
    }
    // Another file may take the free name between the look and the move: then look again.
    QString failure;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QString target = Paths::join(folder, freeName(folder, fileName));
        failure = m_mover(source, target);
        if (failure.isEmpty()) {
            emit moved(fileName, target);
            return target;
        }
        if (!QFileInfo::exists(target)) {
            break;
        }
    }
    return fail(fileName, folder, failure);
}

QString CompletionMover::fail(const QString &fileName, const QString &folder, const QString &reason) {
    emit moveFailed(QStringLiteral("已上传的文件“%1”未能移入回收目录“%2”：%3。文件仍留在上传目录中。")
                        .arg(Paths::join(m_settings.uploadFolder, fileName), folder, reason));
    return QString();
}
