#include "gui/models/DayListModel.h"

#include "gui/models/StatusColours.h"

#include <QApplication>
#include <QDate>
#include <QStyle>
#include <algorithm>

void DayListModel::setDays(const QList<History::Day> &days) {
    beginResetModel();
    m_days = days;
    endResetModel();
}

int DayListModel::rowOf(const QString &day) const {
    const auto found = std::find_if(m_days.cbegin(), m_days.cend(),
                                    [&](const History::Day &item) { return item.day == day; });
    return found == m_days.cend() ? -1 : int(found - m_days.cbegin());
}

QString DayListModel::weekday(const QString &day) {
    static const QString names[] = {QStringLiteral("周一"), QStringLiteral("周二"), QStringLiteral("周三"),
                                    QStringLiteral("周四"), QStringLiteral("周五"), QStringLiteral("周六"),
                                    QStringLiteral("周日")};
    const QDate date = QDate::fromString(day, Qt::ISODate);
    return date.isValid() ? names[date.dayOfWeek() - 1] : QString();
}

QString DayListModel::problem(const History::Day &day) {
    QStringList sentences;
    for (const Failure &failure : {day.logFailure, day.journalFailure}) {
        if (failure.failed()) {
            sentences.append(failure.sentence());
        }
    }
    return sentences.join(QLatin1Char('\n'));
}

int DayListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_days.size());
}

int DayListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant DayListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    return section == 0 ? QStringLiteral("日期") : QStringLiteral("记录数");
}

QVariant DayListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid()) {
        return QVariant();
    }
    const History::Day &day = m_days.at(index.row());
    const bool date = index.column() == 0;
    switch (role) {
    case Qt::DisplayRole:
        if (date) {
            return QStringLiteral("%1  %2").arg(day.day, weekday(day.day));
        }
        return day.unreadable() ? QStringLiteral("无法读取") : QString::number(day.entryCount);
    case Qt::DecorationRole:
        if (!date && day.unreadable()) {
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        }
        break;
    case Qt::ForegroundRole:
        if (day.unreadable()) {
            return StatusColours::kProblem;
        }
        break;
    case Qt::TextAlignmentRole:
        // Counts line up on the right; the warning sits beside its icon.
        return int((date || day.unreadable() ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        return day.unreadable() ? problem(day)
                                : QStringLiteral("%1：%2 条记录").arg(day.day).arg(day.entryCount);
    default:
        break;
    }
    return QVariant();
}
