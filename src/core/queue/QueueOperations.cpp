#include "core/queue/QueueOperations.h"

#include "core/browse/FolderScan.h"
#include "core/common/Cp936.h"
#include "core/common/FileMove.h"
#include "core/common/Paths.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsRecord.h"
#include "core/records/RecordLog.h"
#include "core/records/UploadRecord.h"
#include "core/records/UploadTable.h"
#include "core/transfer/HeaderBlock.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

using namespace UploadRecord;

namespace {

const QString kHint = NoticeCaption::kHint;
const QString kError = NoticeCaption::kError;
const QString kSendingNoDelete = QStringLiteral("该文件正在上传，不能删除。请先停止上传。");

QString sizeText(qint64 bytes) {
    return QStringLiteral("%1 KB").arg(bytes >> 10);
}

QString destinationText(const QString &innerAddress, const QString &innerPath) {
    return innerAddress + QStringLiteral("||") + innerPath;
}

QString refusedText(const QString &reason) {
    return reason + QStringLiteral("，不能上传。");
}

// The names of files that wait to be written whole, for one line of the status bar.
QString waitingText(const QStringList &names) {
    constexpr int kShown = 3;
    const QString shown = names.mid(0, kShown).join(QStringLiteral("、"));
    return QStringLiteral("等待文件写完：") +
           (names.size() > kShown ? QStringLiteral("%1 等 %2 个").arg(shown).arg(names.size()) : shown);
}

using Refusal = QueueOperations::Outcome::Refusal;

QueueOperations::Outcome refused(Refusal kind, const QString &text) {
    QueueOperations::Outcome outcome{false, {kError, text}};
    outcome.refusal = kind;
    return outcome;
}

} // namespace

QueueOperations::QueueOperations(UploadTable &table, RecordLog &log, const FileTypeFilter &filter,
                                 const InnerPathMapping &mapping, const SettingsRecord &settings)
    : m_table(table), m_log(log), m_filter(filter), m_mapping(mapping), m_settings(settings),
      m_settleTime([] { return std::chrono::milliseconds(2000); }),
      m_writers([](const QList<FileProbe::Stamp> &stamps) { return FileProbe::heldOpenForWriting(stamps); }) {
}

bool QueueOperations::resolveDestination(const QString &currentDir, Caller caller, Destination *destination,
                                         Notice *notice) const {
    const InnerPathMapping::Lookup found = m_mapping.lookup(currentDir);
    switch (InnerPathMapping::judgeForQueue(found)) {
    case InnerPathMapping::QueueVerdict::FileMissing:
        *notice = {kError, caller == Caller::QueueOne
                               ? QStringLiteral("没有找到与本文件夹对应的内网路径，请检查内网路径配置")
                               : QStringLiteral("当前文件夹未配置对应内网路径，请检查内网路径配置！")};
        return false;
    case InnerPathMapping::QueueVerdict::NotConfigured:
        *notice = {kError, QStringLiteral("当前文件夹未配置对应内网信息，请检查内网信息配置！")};
        return false;
    case InnerPathMapping::QueueVerdict::BadInnerPath:
        *notice = {kError, QStringLiteral("当前文件夹对应内网路径配置不正确，请检查内网路径配置！")};
        return false;
    case InnerPathMapping::QueueVerdict::BadInnerAddress:
        *notice = {kError, QStringLiteral("当前文件夹对应内网IP配置不正确，请检查内网IP配置！")};
        return false;
    case InnerPathMapping::QueueVerdict::Accepted:
        break;
    }
    // The destination travels in the header block of every transfer: refuse now what it cannot carry,
    // rather than queue a file whose every transfer would fail.
    const std::optional<QByteArray> address = Cp936::encode(found.innerAddress);
    const std::optional<QByteArray> path = Cp936::encode(found.innerPath);
    if (!address || !path) {
        *notice = {kError, QStringLiteral("当前文件夹对应内网信息含有无法传送的字符，请检查内网信息配置！")};
        return false;
    }
    if (address->size() > HeaderBlock::kMaxInnerAddressBytes) {
        *notice = {kError, QStringLiteral("当前文件夹对应内网IP超过%1字节，请检查内网IP配置！")
                               .arg(HeaderBlock::kMaxInnerAddressBytes)};
        return false;
    }
    if (path->size() > HeaderBlock::kMaxInnerPathBytes) {
        *notice = {kError, QStringLiteral("当前文件夹对应内网路径超过%1字节，请检查内网路径配置！")
                               .arg(HeaderBlock::kMaxInnerPathBytes)};
        return false;
    }
    *destination = {found.innerAddress, found.innerPath};
    return true;
}

// Why a file of this name could never be sent, or empty text when it can.
QString QueueOperations::unsendableReason(const QString &fileName) const {
    // A control character would break the operator's lists and the log's cells, and means nothing in a
    // name on the other side.
    if (FolderScan::shownName(fileName) != fileName) {
        return QStringLiteral("文件名“%1”含有控制字符").arg(FolderScan::shownName(fileName));
    }
    const std::optional<QByteArray> bytes = Cp936::encode(fileName);
    if (!bytes) {
        return QStringLiteral("文件名“%1”含有无法传送的字符").arg(fileName);
    }
    if (bytes->size() > HeaderBlock::kMaxFileNameBytes) {
        return QStringLiteral("文件名“%1”超过%2字节").arg(fileName).arg(HeaderBlock::kMaxFileNameBytes);
    }
    if (!HeaderBlock::isPlainFileName(fileName)) {
        return QStringLiteral("文件名“%1”不能作为上传文件名").arg(fileName);
    }
    return QString();
}

// The refusal of a file whose type the filter does not allow: the message the station has always shown,
// then the file's type and the types allowed.
QString QueueOperations::typeRefusal(const QString &fileName) const {
    const QString extension = FileTypeFilter::extensionOf(fileName);
    QStringList allowed = m_filter.entries();
    allowed.removeAll(QString());
    return QStringLiteral("不能上传该类型文件！\n“%1”的类型：%2；允许上传的类型：%3")
        .arg(fileName, extension.isNull() ? QStringLiteral("（无扩展名）") : extension,
             allowed.isEmpty() ? QStringLiteral("（无，请在软件设置中填写）")
                               : allowed.join(QStringLiteral("、")));
}

// True when the upload folder holds a file of this name that a record still has to send (or that no
// record accounts for): replacing it would lose a file the operator has not sent.
// What stands in the upload folder under fileName: nothing, a file still to send, or a sent file whose
// move to the completion folder failed. Nothing there is ever replaced.
QueueOperations::InUploadFolder QueueOperations::inUploadFolder(const QString &fileName) const {
    if (!QFileInfo::exists(Paths::join(m_settings.uploadFolder, fileName)) &&
        !QFileInfo(Paths::join(m_settings.uploadFolder, fileName)).isSymLink()) {
        return InUploadFolder::Nothing;
    }
    bool sentBefore = false;
    for (int row = 0; row < m_table.rowCount(); ++row) {
        if (m_table.cell(row, CellFileName) != fileName) {
            continue;
        }
        if (m_table.cell(row, CellStatus) != kStatusComplete) {
            return InUploadFolder::Waiting;
        }
        sentBefore = true;
    }
    return sentBefore ? InUploadFolder::Sent : InUploadFolder::Waiting;
}

QString QueueOperations::sameNameReason(const QString &fileName, InUploadFolder standing) {
    return standing == InUploadFolder::Sent
               ? QStringLiteral("上传目录中已有同名文件“%1”：它已上传完成，但未能移到回收目录").arg(fileName)
               : QStringLiteral("上传目录中已有同名文件“%1”等待上传").arg(fileName);
}

// Moves the file into the upload folder and appends its record; the reason when it could not move.
QString QueueOperations::queueFile(const QString &sourceFolder, const QString &fileName, qint64 size,
                                   const Destination &destination) {
    const QString failure = FileMove::move(Paths::join(sourceFolder, fileName),
                                           Paths::join(m_settings.uploadFolder, fileName), false);
    if (!failure.isEmpty()) {
        return failure;
    }
    const int row = m_table.appendRow(QString::number(m_table.rowCount() + 1));
    m_table.setCell(row, CellFileName, fileName);
    m_table.setCell(row, CellFileSize, sizeText(size));
    m_table.setCell(row, CellDestination, destinationText(destination.innerAddress, destination.innerPath));
    m_table.setCell(row, CellStatus, kStatusReady);
    notify(JournalEvent::Queued, row);
    return QString();
}

QStringList QueueOperations::Batch::unchecked() const {
    QStringList names;
    for (const File &file : files) {
        if (!file.checked) {
            names << file.name;
        }
    }
    return names;
}

void QueueOperations::check(Batch &batch, const std::atomic<bool> *cancel,
                            const std::function<void(const QString &name)> &starting) {
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    for (Batch::File &file : batch.files) {
        if (file.checked) {
            continue;
        }
        if (cancelled()) {
            batch.cancelled = true;
            return;
        }
        if (starting) {
            starting(file.name);
        }
        const QString refusal = batch.inspector(Paths::join(batch.folder, file.name), cancel);
        // A check cut short says nothing of the file.
        if (cancelled()) {
            batch.cancelled = true;
            return;
        }
        file.checked = true;
        file.refusal = refusal;
    }
}

// The settings are read once per command: a change made while its check runs counts from the next one.
void QueueOperations::startBatch(Batch *batch, const QString &source) const {
    if (batch->started) {
        return;
    }
    batch->started = true;
    batch->folder = source;
    batch->inspector = m_inspection ? m_inspection() : Inspector();
}

// What the batch says of the file as it stands now: passed or refused by a check of this very state of
// it, or to be checked (again, when it changed since).
QueueOperations::Verdict QueueOperations::contentVerdict(Batch *batch, const QString &fileName,
                                                         const FileProbe::Stamp &stamp,
                                                         QString *refusal) const {
    if (!batch->inspector) {
        return Verdict::Passed;
    }
    if (batch->cancelled) {
        return Verdict::Cancelled;
    }
    for (Batch::File &file : batch->files) {
        if (file.name != fileName) {
            continue;
        }
        if (file.checked && file.stamp == stamp) {
            *refusal = file.refusal;
            return file.refusal.isEmpty() ? Verdict::Passed : Verdict::Refused;
        }
        file = {fileName, stamp};
        return Verdict::NeedsCheck;
    }
    batch->files.append({fileName, stamp});
    return Verdict::NeedsCheck;
}

QueueOperations::Outcome QueueOperations::queueTransitFile(const QString &fileName,
                                                           const QString &currentDir) {
    Batch batch;
    for (;;) {
        const Outcome outcome = queueTransitFile(fileName, currentDir, &batch);
        if (!outcome.needsCheck) {
            return outcome;
        }
        check(batch);
    }
}

QueueOperations::Outcome QueueOperations::addRecord(const QString &currentDir) {
    Batch batch;
    for (;;) {
        const Outcome outcome = addRecord(currentDir, &batch);
        if (!outcome.needsCheck) {
            return outcome;
        }
        check(batch);
    }
}

QueueOperations::Outcome QueueOperations::queueTransitFile(const QString &fileName, const QString &currentDir,
                                                           Batch *batch) {
    if (currentDir.isEmpty()) {
        return {false, {kHint, QStringLiteral("确认中转目录下的当前子文件夹已双击选中")}};
    }
    Destination destination;
    Notice notice;
    if (!resolveDestination(currentDir, Caller::QueueOne, &destination, &notice)) {
        Outcome outcome{false, notice};
        outcome.refusal = Refusal::OfSettings;
        return outcome;
    }
    const QString source = Paths::join(m_settings.transitFolder, currentDir);
    if (!QFileInfo(source).isDir()) {
        return {};
    }
    // Opened as the worker opens it: a final link is never followed, a pipe never waited on.
    const QString path = Paths::join(source, fileName);
    FileProbe::Stamp stamp;
    FileProbe::Look seen;
    if (QFile opened; !FileProbe::openRegular(path, opened, &stamp, &seen)) {
        // What the name itself is says it best (a socket cannot even be opened); a name whose bytes are
        // not UTF-8 is found by its listed text.
        const QString refusal = FileProbe::look(path).kind == FileProbe::Kind::Regular
                                    ? FolderScan::refusalFor(fileName, seen)
                                    : FolderScan::refusalOf(source, fileName);
        if (refusal.isEmpty()) {
            return {};
        }
        // A name that cannot be read now (a share's error) may be readable later; a link or a pipe stays.
        return refused(seen.kind == FileProbe::Kind::Unreadable ? Refusal::OfCondition : Refusal::OfFile,
                       refusedText(refusal));
    }
    if (stamp.size == 0) {
        return refused(Refusal::OfFile, refusedText(QStringLiteral("文件为空（0 字节）")));
    }
    if (!m_filter.permits(fileName)) {
        return refused(Refusal::OfFile, typeRefusal(fileName));
    }
    const QString unsendable = unsendableReason(fileName);
    if (!unsendable.isEmpty()) {
        return refused(Refusal::OfFile, refusedText(unsendable));
    }
    if (m_settings.uploadFolder.isEmpty() || !QFileInfo(m_settings.uploadFolder).isDir()) {
        return refused(Refusal::OfSettings, QStringLiteral("上传目录不存在，请检查软件设置！"));
    }
    const InUploadFolder standing = inUploadFolder(fileName);
    if (standing == InUploadFolder::Waiting) {
        return refused(
            Refusal::OfCondition,
            QStringLiteral("上传目录中已有同名文件“%1”等待上传，请等它上传完成后再添加。").arg(fileName));
    }
    if (standing == InUploadFolder::Sent) {
        Outcome blocked =
            refused(Refusal::OfCondition,
                    sameNameReason(fileName, standing) +
                        QStringLiteral("，不能再添加同名文件。\n是否现在再试一次把它移到回收目录？"));
        blocked.retryMoveOf = fileName;
        return blocked;
    }
    if ((!batch->settled && FileProbe::modifiedWithin(stamp, m_settleTime())) ||
        (!batch->notWritten.contains(stamp) && m_writers({stamp}).value(0))) {
        return {false, {}, waitingText({fileName})};
    }
    startBatch(batch, source);
    QString contentRefusal;
    switch (contentVerdict(batch, fileName, stamp, &contentRefusal)) {
    case Verdict::Passed:
        break;
    case Verdict::Refused:
        return refused(Refusal::OfFile, QStringLiteral("不能上传该类型文件！\n") + contentRefusal);
    case Verdict::NeedsCheck: {
        Outcome later;
        later.needsCheck = true;
        return later;
    }
    case Verdict::Cancelled:
        return {false, {}, QStringLiteral("已取消检查“%1”，文件仍留在中转目录中。").arg(fileName)};
    }
    const QString failure = queueFile(source, fileName, stamp.size, destination);
    if (!failure.isEmpty()) {
        return refused(Refusal::OfCondition,
                       QStringLiteral("文件“%1”未能移入上传目录：%2").arg(fileName, failure));
    }
    if (!batch->logLater) {
        m_log.writeRecordLog();
    }
    return {true, {}};
}

void QueueOperations::writeRecordLog() {
    m_log.writeRecordLog();
}

QueueOperations::Outcome QueueOperations::addRecord(const QString &currentDir, Batch *batch) {
    if (currentDir.isEmpty()) {
        return {false, {kHint, QStringLiteral("请确认中转目录下的当前子文件夹已双击选中。")}};
    }
    Destination destination;
    Notice notice;
    if (!resolveDestination(currentDir, Caller::AddAll, &destination, &notice)) {
        return {false, notice};
    }
    const QString source = Paths::join(m_settings.transitFolder, currentDir);
    QList<FolderScan::Entry> files;
    if (!FolderScan::files(source, &files)) {
        return {false, {kError, QStringLiteral("无法读取中转子目录“%1”，未添加文件。").arg(source)}};
    }
    const bool uploadFolderExists =
        !m_settings.uploadFolder.isEmpty() && QFileInfo(m_settings.uploadFolder).isDir();
    QList<FolderScan::Entry> folders;
    FolderScan::subfolders(source, &folders);
    QStringList leftBehind;
    QStringList refusedTypes;
    QStringList waiting;
    QList<FolderScan::Entry> ready; // passed every check; queued unless a program still writes them
    QList<FileProbe::Stamp> stamps;
    int queued = 0;
    int notAllowed = 0;
    int empty = 0;
    for (const FolderScan::Entry &file : files) {
        if (!file.refusal.isEmpty()) {
            leftBehind << file.refusal;
            continue;
        }
        if (file.size == 0) {
            ++empty;
            continue;
        }
        if (!m_filter.permits(file.name)) {
            ++notAllowed;
            const QString extension = FileTypeFilter::extensionOf(file.name);
            const QString type = extension.isNull() ? QStringLiteral("无扩展名") : extension;
            if (!refusedTypes.contains(type)) {
                refusedTypes.append(type);
            }
            continue;
        }
        QString reason = unsendableReason(file.name);
        if (reason.isEmpty() && !uploadFolderExists) {
            reason = QStringLiteral("上传目录不存在");
        }
        if (const InUploadFolder standing = inUploadFolder(file.name);
            reason.isEmpty() && standing != InUploadFolder::Nothing) {
            reason = sameNameReason(file.name, standing);
        }
        if (reason.isEmpty()) {
            // Looked at again: what was listed may have changed, or gone (then it is passed over).
            const FileProbe::Look seen = FileProbe::look(Paths::join(source, file.name));
            reason = FolderScan::refusalFor(file.name, seen);
            if (seen.kind == FileProbe::Kind::Regular &&
                FileProbe::modifiedWithin(seen.stamp, m_settleTime())) {
                waiting << file.name;
            } else if (seen.kind == FileProbe::Kind::Regular) {
                ready << file;
                stamps << seen.stamp;
            }
        }
        if (!reason.isEmpty()) {
            leftBehind << reason;
        }
    }
    // Every file's content is judged before the first one moves: the command queues all it may at once.
    startBatch(batch, source);
    QList<Verdict> verdicts;
    QStringList refusals;
    bool needsCheck = false;
    for (qsizetype i = 0; i < ready.size(); ++i) {
        QString refusal;
        verdicts << contentVerdict(batch, ready[i].name, stamps[i], &refusal);
        refusals << refusal;
        needsCheck = needsCheck || verdicts.last() == Verdict::NeedsCheck;
        if (verdicts.last() == Verdict::Cancelled) {
            return {false, {}, QStringLiteral("已取消检查“%1”中的文件，未添加文件。").arg(currentDir)};
        }
    }
    if (needsCheck) {
        Outcome later;
        later.needsCheck = true;
        return later;
    }
    // Whether a program still writes them is asked once for all, right before they move: one look at
    // every open file.
    const QList<bool> held = stamps.isEmpty() ? QList<bool>() : m_writers(stamps);
    QStringList contentRefusals;
    for (qsizetype i = 0; i < ready.size(); ++i) {
        if (held.value(i)) {
            waiting << ready[i].name;
            continue;
        }
        if (verdicts[i] == Verdict::Refused) {
            contentRefusals << QStringLiteral("“%1”：%2").arg(ready[i].name, refusals[i]);
            continue;
        }
        const QString failure = queueFile(source, ready[i].name, ready[i].size, destination);
        if (failure.isEmpty()) {
            ++queued;
        } else {
            leftBehind << QStringLiteral("文件“%1”未能移入上传目录：%2").arg(ready[i].name, failure);
        }
    }
    m_log.writeRecordLog();

    QString summary = QStringLiteral("“%1”：已添加 %2 个文件").arg(currentDir).arg(queued);
    QStringList skipped;
    if (notAllowed > 0) {
        skipped << QStringLiteral("类型不允许 %1 个（%2）")
                       .arg(notAllowed)
                       .arg(refusedTypes.join(QStringLiteral("、")));
    }
    if (!contentRefusals.isEmpty()) {
        skipped << QStringLiteral("内容检查未通过 %1 个").arg(contentRefusals.size());
    }
    if (empty > 0) {
        skipped << QStringLiteral("空文件 %1 个").arg(empty);
    }
    if (!folders.isEmpty()) {
        skipped << QStringLiteral("文件夹 %1 个").arg(folders.size());
    }
    if (!leftBehind.isEmpty()) {
        skipped << QStringLiteral("未能添加 %1 个").arg(leftBehind.size());
    }
    if (!waiting.isEmpty()) {
        skipped << waitingText(waiting);
    }
    if (!skipped.isEmpty()) {
        summary += QStringLiteral("；跳过：") + skipped.join(QStringLiteral("，"));
    }
    if (!leftBehind.isEmpty() || !contentRefusals.isEmpty()) {
        // Said once, at the end: these files stay in the transit subfolder.
        return {true,
                {kError, QStringLiteral("以下文件未添加，仍留在中转目录中：\n") +
                             (contentRefusals + leftBehind).join(QLatin1Char('\n'))},
                summary};
    }
    return {true, {}, summary};
}

void QueueOperations::notify(JournalEvent event, int row) const {
    if (m_observer) {
        m_observer(event, row);
    }
}

// The real subfolders of the transit folder by the destination their mapping gives, as a queued record
// holds it.
QHash<QString, QStringList> QueueOperations::homesByDestination() const {
    QHash<QString, QStringList> homes;
    QList<FolderScan::Entry> folders;
    QString text;
    if (!FolderScan::subfolders(m_settings.transitFolder, &folders) || !m_mapping.readText(&text)) {
        return homes;
    }
    for (const FolderScan::Entry &folder : folders) {
        const InnerPathMapping::Lookup found = InnerPathMapping::find(text, folder.name);
        if (InnerPathMapping::judgeForQueue(found) == InnerPathMapping::QueueVerdict::Accepted) {
            homes[destinationText(found.innerAddress, found.innerPath)].append(folder.name);
        }
    }
    return homes;
}

// Moves the upload folder's file back to the subfolder it came from; when it cannot, why it stays.
// A record does not say which subfolder that was: only the mapping does, and only when exactly one
// subfolder maps to the record's destination. Of several, nothing tells which one, and a file put into
// the wrong one would stand among files it never belonged to: it stays where the operator is told to
// find it.
QString QueueOperations::returnHome(const QString &fileName, const QString &destination,
                                    const QHash<QString, QStringList> &homes) const {
    const QString waiting = Paths::join(m_settings.uploadFolder, fileName);
    const QStringList candidates = homes.value(destination);
    if (candidates.isEmpty()) {
        return QStringLiteral("记录“%1”的目的地“%2”没有对应的中转子目录，文件留在上传目录中：%3")
            .arg(fileName, destination, waiting);
    }
    if (candidates.size() > 1) {
        return QStringLiteral("记录“%1”的目的地“%2”对应多个中转子目录（%3），无法确定文件来自哪一个，"
                              "文件留在上传目录中：%4")
            .arg(fileName, destination, candidates.join(QStringLiteral("、")), waiting);
    }
    const QString home = Paths::join(m_settings.transitFolder, candidates.first());
    const QString target = Paths::join(home, fileName);
    if (FileProbe::look(target).kind != FileProbe::Kind::Missing) {
        return QStringLiteral("中转子目录“%1”中已有同名文件“%2”，文件留在上传目录中：%3")
            .arg(candidates.first(), fileName, waiting);
    }
    const QString failure = FileMove::move(waiting, target, false);
    if (!failure.isEmpty()) {
        return QStringLiteral("文件“%1”未能移回中转子目录“%2”：%3；文件留在上传目录中：%4")
            .arg(fileName, candidates.first(), failure, waiting);
    }
    return QString();
}

QueueOperations::Outcome QueueOperations::deleteRecord(const QList<int> &rows) {
    QList<int> selected;
    for (int row : rows) {
        if (row >= 0 && row < m_table.rowCount() && !selected.contains(row)) {
            selected.append(row);
        }
    }
    if (selected.isEmpty()) {
        return {false, {kHint, QStringLiteral("未选中文件。请选择文件后再点击删除按钮。")}};
    }
    std::sort(selected.begin(), selected.end());
    std::optional<QHash<QString, QStringList>> homes; // read once, when a file is to go back
    QStringList kept;
    bool sending = false;
    for (auto it = selected.crbegin(); it != selected.crend(); ++it) {
        const int row = *it;
        const QString status = m_table.cell(row, CellStatus);
        sending = sending || status == kStatusUploading;
        if (status == kStatusUploading || status == kStatusComplete) {
            continue;
        }
        const QString fileName = m_table.cell(row, CellFileName);
        // Only a file that is really there goes back; a record whose file has gone just goes.
        if (HeaderBlock::isPlainFileName(fileName) &&
            FileProbe::look(Paths::join(m_settings.uploadFolder, fileName)).kind ==
                FileProbe::Kind::Regular) {
            if (!homes) {
                homes = homesByDestination();
            }
            const QString problem = returnHome(fileName, m_table.cell(row, CellDestination), *homes);
            if (!problem.isEmpty()) {
                kept.prepend(problem);
            }
        }
        notify(JournalEvent::Deleted, row);
        m_table.deleteRow(row);
    }
    m_table.renumber();
    m_log.writeRecordLog();
    if (sending) {
        kept.prepend(kSendingNoDelete);
    }
    if (!kept.isEmpty()) {
        return {true, {kHint, kept.join(QLatin1Char('\n'))}};
    }
    return {true, {}};
}

int QueueOperations::moveUp(int row, QString *refusal) {
    return move(row, row - 1, JournalEvent::MovedUp, refusal);
}

int QueueOperations::moveDown(int row, QString *refusal) {
    return move(row, row + 1, JournalEvent::MovedDown, refusal);
}

int QueueOperations::move(int row, int to, JournalEvent event, QString *refusal) {
    if (row < 0 || to < 0 || row >= m_table.rowCount() || to >= m_table.rowCount()) {
        return -1;
    }
    QString why;
    if (m_table.cell(row, CellStatus) == kStatusUploading) {
        why = QStringLiteral("该文件正在上传，不能移动。请先停止上传。");
    } else if (const int upper = std::min(row, to), lower = std::max(row, to);
               m_table.cell(upper, CellStatus) == kStatusComplete &&
               m_table.cell(lower, CellStatus) != kStatusComplete) {
        // The queue is sent from the top: a row still to send above a sent one would read as sent first.
        why = QStringLiteral("未上传完成的记录不能移到上传完成的记录之上。");
    }
    if (!why.isEmpty()) {
        if (refusal) {
            *refusal = why;
        }
        return -1;
    }
    if (!m_table.moveRow(row, to)) {
        return -1;
    }
    notify(event, to);
    m_log.writeRecordLog();
    return to;
}
