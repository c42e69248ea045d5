#include "core/inspection/FileInspection.h"

#include "core/inspection/ArchiveInspector.h"
#include "core/inspection/ContentCheck.h"

#include <QFileInfo>

namespace {

// Loading the type database takes a while and its handles serve every thread: one for the program,
// loaded by the first check that needs it (on the checking thread, never the window's).
std::shared_ptr<const ContentCheck> stationContentCheck() {
    static const std::shared_ptr<const ContentCheck> shared = std::make_shared<ContentCheck>();
    return shared;
}

// A failure's sentence without the library's own words: the operator reads the reason on one line.
QString sentenceOf(Failure failure) {
    failure.detail.clear();
    return failure.sentence();
}

} // namespace

FileInspection::FileInspection(const InspectionSettings &settings, const FileTypeFilter &filter,
                               std::shared_ptr<const ContentCheck> content)
    : m_checkContent(settings.checkContent), m_openArchives(settings.openArchives), m_filter(filter),
      m_content(std::move(content)) {}

const ContentCheck *FileInspection::content() const {
    return m_content ? m_content.get() : stationContentCheck().get();
}

QString FileInspection::refusal(const QString &path, const std::atomic<bool> *cancel) const {
    return judge(path, cancel).reason;
}

FileInspection::Judgement FileInspection::judge(const QString &path, const std::atomic<bool> *cancel) const {
    using Outcome = Judgement::Outcome;
    const ContentCheck *types = m_checkContent ? content() : nullptr;
    if (types && !types->ready()) {
        return {
            Outcome::NotJudged,
            QStringLiteral("无法检查文件的真实类型：文件类型数据库未能加载（%1）").arg(types->loadError())};
    }
    if (types) {
        const ContentCheck::Verdict verdict = types->checkFile(path);
        if (verdict.outcome == ContentCheck::Verdict::Outcome::Mismatch) {
            return {Outcome::Refused, verdict.reason};
        }
        if (verdict.outcome == ContentCheck::Verdict::Outcome::Failed) {
            return {Outcome::NotJudged, sentenceOf(verdict.failure)};
        }
    }
    if (!m_openArchives || !ArchiveInspector::isArchiveName(QFileInfo(path).fileName())) {
        return {};
    }
    const FileTypeFilter &filter = m_filter;
    ArchiveInspector archives([&filter](const QString &name) { return filter.permits(name); }, types);
    archives.setCancelFlag(cancel);
    const ArchiveInspector::Verdict verdict = archives.inspect(path);
    switch (verdict.outcome) {
    case ArchiveInspector::Verdict::Outcome::Accepted:
        return {};
    case ArchiveInspector::Verdict::Outcome::Refused:
        return {Outcome::Refused, verdict.reason};
    case ArchiveInspector::Verdict::Outcome::Cancelled:
        return {Outcome::NotJudged, QStringLiteral("检查已取消")};
    case ArchiveInspector::Verdict::Outcome::Unreadable:
        return {Outcome::NotJudged, sentenceOf(verdict.failure)};
    }
    return {};
}

std::function<QString(const QString &, const std::atomic<bool> *)>
FileInspection::inspectorFor(const InspectionSettings &settings, const FileTypeFilter &filter) {
    auto inspection = std::make_shared<const FileInspection>(settings, filter);
    if (!inspection->active()) {
        return {};
    }
    return [inspection](const QString &path, const std::atomic<bool> *cancel) {
        return inspection->refusal(path, cancel);
    };
}
