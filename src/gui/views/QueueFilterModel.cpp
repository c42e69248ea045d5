#include "gui/views/QueueFilterModel.h"

#include "core/records/UploadRecord.h"

#include <QCollator>

using namespace UploadRecord;

namespace {

// The leading whole number of a cell ("12", "345 KB"), or -1 when it has none.
qint64 leadingNumber(const QString &text) {
    qsizetype digits = 0;
    while (digits < text.size() && text.at(digits).isDigit()) {
        ++digits;
    }
    return digits == 0 ? -1 : text.left(digits).toLongLong();
}

} // namespace

QueueFilterModel::QueueFilterModel(QObject *parent) : QSortFilterProxyModel(parent) {
    // A row that changes status or name is sorted and filtered again at once.
    setDynamicSortFilter(true);
}

void QueueFilterModel::setHideFinished(bool hide) {
    if (hide == m_hideFinished) {
        return;
    }
    m_hideFinished = hide;
    invalidateRowsFilter();
}

void QueueFilterModel::setFilterText(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed == m_filterText) {
        return;
    }
    m_filterText = trimmed;
    invalidateRowsFilter();
}

bool QueueFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const {
    const auto cell = [&](Cell column) {
        return sourceModel()->index(sourceRow, column, sourceParent).data().toString();
    };
    const QString status = cell(CellStatus);
    if (m_hideFinished && status == kStatusComplete) {
        return false;
    }
    if (m_filterText.isEmpty()) {
        return true;
    }
    for (const QString &text : {cell(CellFileName), cell(CellDestination), status}) {
        if (text.contains(m_filterText, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

bool QueueFilterModel::lessThan(const QModelIndex &left, const QModelIndex &right) const {
    const QString a = left.data().toString();
    const QString b = right.data().toString();
    // Sequence numbers and sizes ("12 KB") by their number; the rest as the operator's locale sorts
    // text, digits within names by their value.
    if (left.column() == CellSequence || left.column() == CellFileSize) {
        const qint64 x = leadingNumber(a);
        const qint64 y = leadingNumber(b);
        if (x != y) {
            return x < y;
        }
    }
    static const QCollator collator = [] {
        QCollator c;
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    const int order = collator.compare(a, b);
    // Equal texts keep send order, so a sort is stable.
    return order != 0 ? order < 0 : left.row() < right.row();
}
