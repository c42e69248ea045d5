#include "core/browse/TransitDrop.h"

#include "core/browse/FolderScan.h"
#include "core/common/Failure.h"
#include "core/common/FileProbe.h"
#include "core/common/Paths.h"
#include "core/common/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>

namespace TransitDrop {
namespace {

constexpr qint64 kBlock = 1 << 20;
constexpr int kListed = 10; // refusals named in the summary; the rest are counted

// One thing to make inside a dropped entry: a folder, or a file to copy, by its path below the entry.
struct Item {
    QString relative;
    bool folder = false;
    qint64 size = 0;
};

// A dropped file or folder and, for a folder, what it holds (folders before their contents).
struct Entry {
    QString source;
    QString name;
    bool folder = false;
    qint64 size = 0;
    QList<Item> items;
};

struct Copier {
    const Options &options;
    Result &result;
    qint64 done = 0;
    qint64 total = 0;

    bool cancelled() const { return options.cancelled && options.cancelled->load(); }

    // Copies the regular file source to target, which must not exist. A failure leaves no target and is
    // told with the path the operator will look at, destination (never the staging folder's).
    bool copyFile(const QString &source, const QString &target, const QString &shown,
                  const QString &destination) {
        QFile in;
        FileProbe::Stamp opened;
        FileProbe::Look seen;
        if (!FileProbe::openRegular(source, in, &opened, &seen)) {
            result.notCopied
                << (seen.kind == FileProbe::Kind::Regular
                        ? Failure::of(Failure::Kind::Read, source, systemErrorText(seen.error)).sentence()
                        : FolderScan::refusalFor(shown, seen));
            return false;
        }
        QFile out(target);
        errno = 0;
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            result.notCopied
                << Failure::of(Failure::Kind::Write, destination, fileErrorText(out, errno)).sentence();
            return false;
        }
        QByteArray buffer(kBlock, Qt::Uninitialized);
        for (;;) {
            if (cancelled()) {
                out.remove();
                result.cancelled = true;
                return false;
            }
            const qint64 got = in.read(buffer.data(), buffer.size());
            if (got < 0) {
                const Failure why = Failure::of(Failure::Kind::Read, source, fileErrorText(in, errno));
                out.remove();
                result.notCopied << why.sentence();
                return false;
            }
            if (got == 0) {
                break;
            }
            if (out.write(buffer.constData(), got) != got) {
                const Failure why = Failure::of(Failure::Kind::Write, destination, fileErrorText(out, errno));
                out.remove();
                result.notCopied << why.sentence();
                return false;
            }
            done += got;
            if (options.progress) {
                options.progress(done, total);
            }
        }
        out.setPermissions(in.permissions());
        // The copy keeps the source's time: the file is as old as what the operator dropped.
        out.setFileTime(in.fileTime(QFileDevice::FileModificationTime), QFileDevice::FileModificationTime);
        if (!out.flush()) {
            const Failure why = Failure::of(Failure::Kind::Write, destination, fileErrorText(out, errno));
            out.remove();
            result.notCopied << why.sentence();
            return false;
        }
        return true;
    }
};

QString takenRefusal(const QString &name) {
    return QStringLiteral("当前子文件夹中已有“%1”，未复制").arg(FolderScan::shownName(name));
}

// Lists what folder holds into entry, refusing what is no regular file or real folder. False once the
// drop holds more than kMaxEntries.
bool plan(const QString &folder, const QString &relative, Entry *entry, int *entries, Result *result) {
    QList<FolderScan::Entry> found;
    if (!FolderScan::files(folder, &found)) {
        result->notCopied
            << Failure::of(Failure::Kind::Folder, folder, QStringLiteral("无法列出其中的内容")).sentence();
        return true;
    }
    QList<FolderScan::Entry> subfolders;
    FolderScan::subfolders(folder, &subfolders);
    *entries += static_cast<int>(found.size() + subfolders.size());
    if (*entries > kMaxEntries) {
        return false;
    }
    for (const FolderScan::Entry &file : found) {
        const QString path = relative + QLatin1Char('/') + file.name;
        if (!file.refusal.isEmpty()) {
            // Named by its place in the drop, so the operator finds it (a name that is not UTF-8 cannot be
            // looked at again and keeps its own).
            const QString again =
                FolderScan::refusalFor(path, FileProbe::look(Paths::join(folder, file.name)));
            result->notCopied << (again.isEmpty() ? file.refusal : again);
            continue;
        }
        entry->items.append({path.mid(entry->name.size() + 1), false, file.size});
    }
    for (const FolderScan::Entry &sub : subfolders) {
        const QString path = relative + QLatin1Char('/') + sub.name;
        entry->items.append({path.mid(entry->name.size() + 1), true, 0});
        if (!plan(Paths::join(folder, sub.name), path, entry, entries, result)) {
            return false;
        }
    }
    return true;
}

} // namespace

Result copyInto(const QList<QUrl> &urls, const QString &folder, const Options &options) {
    Result result;
    if (!QFileInfo(folder).isDir()) {
        result.notCopied << Failure::of(Failure::Kind::Folder, folder, systemErrorText(ENOENT)).sentence();
        return result;
    }
    const QString target = QFileInfo(folder).canonicalFilePath();
    QList<Entry> entries;
    int counted = 0;
    qint64 total = 0;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile()) {
            result.notCopied << QStringLiteral("“%1”不是本机的文件，未复制").arg(url.toDisplayString());
            continue;
        }
        Entry entry;
        entry.source = QDir::cleanPath(url.toLocalFile());
        entry.name = QFileInfo(entry.source).fileName();
        const FileProbe::Look seen = FileProbe::look(entry.source);
        entry.folder = seen.kind == FileProbe::Kind::Special && QFileInfo(entry.source).isDir();
        if (entry.name.isEmpty()) {
            result.notCopied << QStringLiteral("“%1”不能复制").arg(entry.source);
            continue;
        }
        if (seen.kind != FileProbe::Kind::Regular && !entry.folder) {
            result.notCopied
                << (seen.kind == FileProbe::Kind::Missing
                        ? QStringLiteral("“%1”已不存在，未复制").arg(FolderScan::shownName(entry.name))
                        : FolderScan::refusalFor(entry.name, seen));
            continue;
        }
        if (FileProbe::look(Paths::join(folder, entry.name)).kind != FileProbe::Kind::Missing) {
            result.notCopied << takenRefusal(entry.name);
            continue;
        }
        if (entry.folder) {
            const QString canonical = QFileInfo(entry.source).canonicalFilePath();
            if (target == canonical || target.startsWith(canonical + QLatin1Char('/'))) {
                result.notCopied << QStringLiteral("文件夹“%1”包含当前子文件夹，不能复制到它自身之中")
                                        .arg(FolderScan::shownName(entry.name));
                continue;
            }
            ++counted;
            if (!plan(entry.source, entry.name, &entry, &counted, &result)) {
                return Result{
                    0, 0, {QStringLiteral("拖放的文件和文件夹超过 %1 个，未复制任何文件").arg(kMaxEntries)}};
            }
        } else {
            entry.size = seen.stamp.size;
            ++counted;
        }
        if (counted > kMaxEntries) {
            return Result{
                0, 0, {QStringLiteral("拖放的文件和文件夹超过 %1 个，未复制任何文件").arg(kMaxEntries)}};
        }
        total += entry.size;
        for (const Item &item : entry.items) {
            total += item.size;
        }
        entries.append(entry);
    }
    if (entries.isEmpty()) {
        return result;
    }
    // Hidden, and a folder: the file list never shows it, the folder list never counts it, no queue
    // takes from it. Removed with whatever it still holds when the copy ends.
    errno = 0;
    QTemporaryDir staging(Paths::join(folder, QStringLiteral(".brelvantis-drop-XXXXXX")));
    if (!staging.isValid()) {
        const Failure why = Failure::of(Failure::Kind::Folder, folder, systemErrorText(errno ? errno : EIO));
        for (const Entry &entry : entries) {
            result.notCopied
                << QStringLiteral("“%1”未复制：%2").arg(FolderScan::shownName(entry.name), why.sentence());
        }
        return result;
    }
    Copier copier{options, result, 0, total};
    for (const Entry &entry : entries) {
        const QString staged = staging.filePath(entry.name);
        const QString destination = Paths::join(folder, entry.name);
        int files = 0;
        if (entry.folder) {
            if (!QDir().mkdir(staged)) {
                result.notCopied
                    << Failure::of(Failure::Kind::Folder, destination, systemErrorText(errno)).sentence();
                continue;
            }
            for (const Item &item : entry.items) {
                const QString path = Paths::join(staged, item.relative);
                if (item.folder) {
                    QDir().mkdir(path);
                } else if (copier.copyFile(Paths::join(entry.source, item.relative), path,
                                           entry.name + QLatin1Char('/') + item.relative,
                                           Paths::join(destination, item.relative))) {
                    ++files;
                }
                if (result.cancelled) {
                    return result;
                }
            }
        } else if (copier.copyFile(entry.source, staged, entry.name, destination)) {
            files = 1;
        } else if (result.cancelled) {
            return result;
        } else {
            continue;
        }
        int error = 0;
        if (!renameNoReplace(staged, destination, &error)) {
            result.notCopied
                << (error == EEXIST || error == ENOTEMPTY
                        ? takenRefusal(entry.name)
                        : Failure::of(Failure::Kind::Move, destination, systemErrorText(error)).sentence());
            continue;
        }
        result.filesCopied += files;
        result.foldersCopied += entry.folder ? 1 : 0;
    }
    return result;
}

QString summary(const Result &result) {
    QString text = QStringLiteral("已复制 %1 个文件").arg(result.filesCopied);
    if (result.foldersCopied > 0) {
        text += QStringLiteral("、%1 个文件夹").arg(result.foldersCopied);
    }
    if (result.cancelled) {
        text = QStringLiteral("复制已取消，") + text;
    }
    if (!result.notCopied.isEmpty()) {
        QStringList named = result.notCopied.mid(0, kListed);
        if (result.notCopied.size() > kListed) {
            named << QStringLiteral("等");
        }
        text += QStringLiteral("；%1 个未复制：%2")
                    .arg(result.notCopied.size())
                    .arg(named.join(QStringLiteral("；")));
    }
    return text;
}

} // namespace TransitDrop

TransitDropJob::TransitDropJob(QObject *parent) : QObject(parent) {}

TransitDropJob::~TransitDropJob() {
    if (m_thread) {
        m_cancelled = true;
        m_thread->wait();
        delete m_thread;
    }
}

bool TransitDropJob::start(const QList<QUrl> &urls, const QString &folder) {
    if (m_thread) {
        return false;
    }
    m_cancelled = false;
    m_result = {};
    m_thread = QThread::create([this, urls, folder] {
        TransitDrop::Options options;
        options.cancelled = &m_cancelled;
        options.progress = [this](qint64 done, qint64 total) {
            QMetaObject::invokeMethod(
                this, [this, done, total] { emit progress(done, total); }, Qt::QueuedConnection);
        };
        m_result = TransitDrop::copyInto(urls, folder, options);
    });
    connect(m_thread, &QThread::finished, this, &TransitDropJob::onThreadFinished);
    m_thread->start();
    return true;
}

void TransitDropJob::onThreadFinished() {
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    emit finished();
}
