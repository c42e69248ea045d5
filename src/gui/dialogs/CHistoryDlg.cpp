#include "gui/dialogs/CHistoryDlg.h"

#include "core/common/Notice.h"
#include "core/history/HistoryExport.h"
#include "core/history/HistoryService.h"
#include "core/records/DayJournal.h"
#include "core/records/UploadRecord.h"
#include "gui/widgets/OperatorMessages.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace HistoryWindow {

const QColor kProblemColour(190, 20, 20);

QString weekday(const QString &day) {
    static const QString names[] = {QStringLiteral("周一"), QStringLiteral("周二"), QStringLiteral("周三"),
                                    QStringLiteral("周四"), QStringLiteral("周五"), QStringLiteral("周六"),
                                    QStringLiteral("周日")};
    const QDate date = QDate::fromString(day, Qt::ISODate);
    return date.isValid() ? names[date.dayOfWeek() - 1] : QString();
}

// The days of the record folder, newest first: the date and its record count, or that it cannot be read.
class DayListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setDays(const QList<History::Day> &days) {
        beginResetModel();
        m_days = days;
        endResetModel();
    }
    const History::Day &day(int row) const { return m_days.at(row); }
    int rowOf(const QString &day) const {
        const auto found = std::find_if(m_days.cbegin(), m_days.cend(),
                                        [&](const History::Day &item) { return item.day == day; });
        return found == m_days.cend() ? -1 : int(found - m_days.cbegin());
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : int(m_days.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : 2;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return QVariant();
        }
        return section == 0 ? QStringLiteral("日期") : QStringLiteral("记录数");
    }

    QVariant data(const QModelIndex &index, int role) const override {
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
                return kProblemColour;
            }
            break;
        case Qt::TextAlignmentRole:
            // Counts line up on the right; the warning sits beside its icon.
            return int((date || day.unreadable() ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        case Qt::ToolTipRole:
            return day.unreadable() ? day.problem()
                                    : QStringLiteral("%1：%2 条记录").arg(day.day).arg(day.entryCount);
        default:
            break;
        }
        return QVariant();
    }

private:
    QList<History::Day> m_days;
};

// Rows of text under a header: the records of a day or of a search, or a day's journal. The cells are
// made once when the rows are set, so a view of thousands of rows only reads them.
class TextTableModel : public QAbstractTableModel {
public:
    TextTableModel(QStringList header, QObject *parent)
        : QAbstractTableModel(parent), m_header(std::move(header)) {}

    // statusColumn: the column whose texts are coloured by outcome (-1: none). notes: a tooltip per row,
    // shown in italics (empty: an ordinary row).
    void setRows(QList<QStringList> rows, QStringList notes = QStringList()) {
        beginResetModel();
        m_rows = std::move(rows);
        m_notes = std::move(notes);
        endResetModel();
    }
    void setStatusColumn(int column) { m_statusColumn = column; }
    const QStringList &header() const { return m_header; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : int(m_header.size());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_header.size()) {
            return m_header.at(section);
        }
        return QVariant();
    }

    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid()) {
            return QVariant();
        }
        const QStringList &row = m_rows.at(index.row());
        const QString text = row.value(index.column());
        const QString note = m_notes.value(index.row());
        switch (role) {
        case Qt::DisplayRole:
            return text;
        case Qt::ToolTipRole:
            if (note.isEmpty()) {
                return text.isEmpty() ? QVariant() : QVariant(text);
            }
            return text.isEmpty() ? note : note + QLatin1Char('\n') + text;
        case Qt::FontRole:
            if (!note.isEmpty()) {
                QFont italic;
                italic.setItalic(true);
                return italic;
            }
            break;
        case Qt::ForegroundRole:
            if (index.column() == m_statusColumn) {
                return statusColour(text);
            }
            break;
        default:
            break;
        }
        return QVariant();
    }

private:
    static QVariant statusColour(const QString &status) {
        if (status == UploadRecord::kStatusComplete || status == QStringLiteral("完成")) {
            return QColor(20, 120, 40);
        }
        if (status == UploadRecord::kStatusFault || status == QStringLiteral("故障")) {
            return kProblemColour;
        }
        if (status == UploadRecord::kStatusStopped || status == QStringLiteral("停止")) {
            return QColor(170, 100, 0);
        }
        return QVariant();
    }

    QStringList m_header;
    QList<QStringList> m_rows;
    QStringList m_notes;
    int m_statusColumn = -1;
};

} // namespace HistoryWindow

using HistoryWindow::DayListModel;
using HistoryWindow::TextTableModel;

namespace {

const QString kJournalOnlyNote = QStringLiteral("此记录仅见于当天的传输日志");

QString chooseWithPlatformDialog(QWidget *parent, const QString &title, const QString &suggestedPath,
                                 const QString &filter) {
    return QFileDialog::getSaveFileName(parent, title, suggestedPath, filter);
}

// The same record, as the search and the day's list each report it.
bool sameRecord(const History::Entry &a, const History::Entry &b) {
    return a.day == b.day && a.fileName == b.fileName && a.destination == b.destination &&
           a.startTime == b.startTime && a.finishTime == b.finishTime && a.status == b.status &&
           a.journalOnly == b.journalOnly;
}

bool sameDay(const History::Day &a, const History::Day &b) {
    return a.day == b.day && a.entryCount == b.entryCount && a.logError == b.logError &&
           a.journalError == b.journalError;
}

void showRows(TextTableModel *model, const QList<History::Entry> &entries) {
    QList<QStringList> rows;
    QStringList notes;
    rows.reserve(entries.size());
    notes.reserve(entries.size());
    for (const History::Entry &entry : entries) {
        rows.append(HistoryExport::cells(entry));
        notes.append(entry.journalOnly ? kJournalOnlyNote : QString());
    }
    model->setRows(std::move(rows), std::move(notes));
}

// Column widths from the texts a column typically holds, so nothing common is cut at any font size.
int widthFor(const QFontMetrics &metrics, const QString &column) {
    struct Sample {
        const char16_t *column;
        const char16_t *text;
    };
    static const Sample samples[] = {
        {u"日期", u"2026-12-07"},
        {u"时间", u"00:00:00"},
        {u"操作状态", u"传输故障"},
        {u"事件", u"事件"},
        {u"文件名称", u"一个较长的文件名称示例.docx"},
        {u"文件名", u"一个较长的文件名称示例.docx"},
        {u"存放路径", u"192.168.100.100:4321||d://资料"},
        {u"目的地", u"192.168.100.100:4321||d://资料"},
        {u"隔离器", u"192.168.100.100:4321"},
        {u"原因", u"隔离器在 30 秒内没有应答"},
        {u"文件大小", u"1234567 KB"},
        {u"已发送字节", u"1234567890"},
        {u"秒", u"12345.678"},
        {u"MB/s", u"123.45"},
        {u"SHA-256", u"0123456789abcdef01234"},
    };
    for (const Sample &sample : samples) {
        if (column == QString::fromUtf16(sample.column)) {
            const QString text = QString::fromUtf16(sample.text);
            return std::max(metrics.horizontalAdvance(text), metrics.horizontalAdvance(column)) + 18;
        }
    }
    return metrics.horizontalAdvance(column) + 60;
}

// A name for the proposed export file, without characters a file name cannot hold.
QString fileNamePart(QString text) {
    text.replace(QRegularExpression(QStringLiteral(R"([\\/:*?"<>|\s])")), QStringLiteral("_"));
    return text.left(40);
}

// The record folder's own files, which an export must never replace.
bool isDayFile(const QString &path, const QString &recordFolder) {
    static const QRegularExpression dayFile(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}(\.xls|\.journal\.tsv)$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QFileInfo file(path);
    return !recordFolder.isEmpty() && dayFile.match(file.fileName()).hasMatch() &&
           QDir(file.absolutePath()) == QDir(QFileInfo(recordFolder).absoluteFilePath());
}

} // namespace

CHistoryDlg::CHistoryDlg(HistoryService &service, const QString &recordFolder, QWidget *parent)
    : QWidget(parent, Qt::Window), m_service(service), m_chooseSaveFile(chooseWithPlatformDialog) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("历史记录"));
    createControls();

    connect(&m_service, &HistoryService::indexOpened, this, &CHistoryDlg::onIndexOpened);
    connect(&m_service, &HistoryService::indexProgress, this, &CHistoryDlg::onIndexProgress);
    connect(&m_service, &HistoryService::daysChanged, this, &CHistoryDlg::onDaysChanged);
    connect(&m_service, &HistoryService::searchFinished, this, &CHistoryDlg::onSearchFinished);
    connect(&m_service, &HistoryService::dayShown, this, &CHistoryDlg::onDayShown);
    setRecordFolder(recordFolder);
}

void CHistoryDlg::setSaveFileChooser(SaveFileChooser chooser) {
    m_chooseSaveFile = std::move(chooser);
}

QTableView *CHistoryDlg::createTable(const char *name, QAbstractItemModel *model, QWidget *parent) {
    auto *table = new QTableView(parent);
    table->setObjectName(QLatin1String(name));
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    // Every row the same height: the view never measures thousands of rows.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setHighlightSections(false);
    for (int column = 0; column < model->columnCount(); ++column) {
        table->setColumnWidth(
            column, widthFor(table->fontMetrics(), model->headerData(column, Qt::Horizontal).toString()));
    }

    // Ctrl+C and the context menu copy the chosen rows as tab-separated text (a SHA-256 to compare, say).
    auto *copy = new QAction(QStringLiteral("复制"), table);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, table, [table] {
        QModelIndexList rows = table->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end());
        QStringList lines;
        for (const QModelIndex &row : std::as_const(rows)) {
            QStringList cells;
            for (int column = 0; column < table->model()->columnCount(); ++column) {
                cells << table->model()->index(row.row(), column).data().toString();
            }
            lines << cells.join(QLatin1Char('\t'));
        }
        if (!lines.isEmpty()) {
            QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
        }
    });
    table->addAction(copy);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    return table;
}

void CHistoryDlg::createControls() {
    const QStringList entryColumns = HistoryExport::columnNames();
    const int statusColumn =
        int(entryColumns.indexOf(UploadRecord::kColumnHeaders[UploadRecord::CellStatus]));
    m_dayModel = new DayListModel(this);
    m_dayRecordModel = new TextTableModel(entryColumns, this);
    m_dayRecordModel->setStatusColumn(statusColumn);
    m_resultModel = new TextTableModel(entryColumns, this);
    m_resultModel->setStatusColumn(statusColumn);
    m_journalModel = new TextTableModel(DayJournal::kColumns, this);
    m_journalModel->setStatusColumn(1);

    auto *outer = new QVBoxLayout(this);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("historySplitter"));
    splitter->setChildrenCollapsible(false);
    outer->addWidget(splitter, 1);

    // Left: the days.
    auto *left = new QWidget(splitter);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto *daysLabel = new QLabel(QStringLiteral("有记录的日期"), left);
    leftLayout->addWidget(daysLabel);
    m_dayList = createTable("dayList", m_dayModel, left);
    m_dayList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_dayList->setAlternatingRowColors(false);
    m_dayList->setTextElideMode(Qt::ElideRight);
    m_dayList->setShowGrid(false);
    m_dayList->setColumnWidth(
        0, m_dayList->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-07  周三")) + 18);
    m_dayList->setColumnWidth(1, m_dayList->fontMetrics().horizontalAdvance(QStringLiteral("无法读取")) + 40);
    m_dayList->setMinimumWidth(m_dayList->columnWidth(0) + m_dayList->columnWidth(1) + 24);
    daysLabel->setBuddy(m_dayList);
    leftLayout->addWidget(m_dayList);
    connect(m_dayList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CHistoryDlg::onCurrentDayChanged);
    // A click on the day already chosen shows it too.
    connect(m_dayList, &QTableView::clicked, this, [this] { m_tabs->setCurrentIndex(DayTab); });

    // Right: the search box above the two tabs.
    auto *right = new QWidget(splitter);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto *searchRow = new QHBoxLayout;
    auto *searchLabel = new QLabel(QStringLiteral("查找(&F)："), right);
    m_searchEdit = new QLineEdit(right);
    m_searchEdit->setObjectName(QStringLiteral("searchEdit"));
    m_searchEdit->setPlaceholderText(QStringLiteral("按文件名、存放路径或 SHA-256 查找（所有日期）"));
    m_searchEdit->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_searchEdit);
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(m_searchEdit, 1);
    rightLayout->addLayout(searchRow);

    m_searchTimer = new QTimer(this);
    m_searchTimer->setSingleShot(true);
    m_searchTimer->setInterval(250);
    connect(m_searchTimer, &QTimer::timeout, this, &CHistoryDlg::startSearch);
    connect(m_searchEdit, &QLineEdit::textChanged, this, &CHistoryDlg::onSearchEdited);
    connect(m_searchEdit, &QLineEdit::returnPressed, this, [this] {
        m_searchTimer->stop();
        startSearch();
    });

    m_tabs = new QTabWidget(right);
    m_tabs->setObjectName(QStringLiteral("historyTabs"));
    rightLayout->addWidget(m_tabs, 1);

    auto *dayPage = new QWidget(m_tabs);
    auto *dayLayout = new QVBoxLayout(dayPage);
    m_dayTitle = new QLabel(dayPage);
    m_dayTitle->setObjectName(QStringLiteral("dayTitle"));
    m_dayTitle->setWordWrap(true);
    m_dayTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dayLayout->addWidget(m_dayTitle);
    auto *daySplitter = new QSplitter(Qt::Vertical, dayPage);
    daySplitter->setObjectName(QStringLiteral("daySplitter"));
    daySplitter->setChildrenCollapsible(false);
    m_dayRecords = createTable("dayRecords", m_dayRecordModel, daySplitter);
    auto *journalPane = new QWidget(daySplitter);
    auto *journalLayout = new QVBoxLayout(journalPane);
    journalLayout->setContentsMargins(0, 4, 0, 0);
    m_journalTitle = new QLabel(journalPane);
    m_journalTitle->setObjectName(QStringLiteral("journalTitle"));
    m_journalTitle->setWordWrap(true);
    m_journalTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    journalLayout->addWidget(m_journalTitle);
    m_journal = createTable("journalLines", m_journalModel, journalPane);
    // The journal's time is a whole time stamp.
    m_journal->setColumnWidth(
        0, m_journal->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-07 00:00:00")) + 18);
    journalLayout->addWidget(m_journal);
    daySplitter->setStretchFactor(0, 3);
    daySplitter->setStretchFactor(1, 2);
    dayLayout->addWidget(daySplitter, 1);
    m_tabs->addTab(dayPage, QStringLiteral("当天记录"));

    auto *searchPage = new QWidget(m_tabs);
    auto *searchLayout = new QVBoxLayout(searchPage);
    m_resultSummary = new QLabel(searchPage);
    m_resultSummary->setObjectName(QStringLiteral("resultSummary"));
    m_resultSummary->setWordWrap(true);
    searchLayout->addWidget(m_resultSummary);
    m_resultTable = createTable("searchResults", m_resultModel, searchPage);
    searchLayout->addWidget(m_resultTable, 1);
    m_tabs->addTab(searchPage, QStringLiteral("查找结果"));
    m_tabs->setTabEnabled(SearchTab, false);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CHistoryDlg::updateActions);
    connect(m_resultTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CHistoryDlg::onResultChosen);
    connect(m_resultTable, &QTableView::activated, this, &CHistoryDlg::onResultActivated);

    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);

    // Bottom: the index's state on the left, the commands on the right.
    auto *bottom = new QHBoxLayout;
    m_statusText = new QLabel(this);
    m_statusText->setObjectName(QStringLiteral("historyStatus"));
    m_statusText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long reason never widens the window: the tooltip holds what does not fit.
    m_statusText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bottom->addWidget(m_statusText, 1);
    const auto addButton = [this, bottom](const QString &text, const char *name) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(name));
        bottom->addWidget(button);
        return button;
    };
    m_refresh = addButton(QStringLiteral("刷新(&R)"), "refreshButton");
    m_refresh->setToolTip(QStringLiteral("重新查看记录目录中的日志，把新的和改动过的日期补进索引"));
    connect(m_refresh, &QPushButton::clicked, this, [this] {
        if (!m_recordFolder.isEmpty()) {
            m_service.refresh();
        }
    });
    m_exportCsv = addButton(QStringLiteral("导出 CSV…"), "exportCsvButton");
    connect(m_exportCsv, &QPushButton::clicked, this, [this] { exportCurrent(false); });
    m_exportXls = addButton(QStringLiteral("导出 Excel…"), "exportXlsButton");
    connect(m_exportXls, &QPushButton::clicked, this, [this] { exportCurrent(true); });
    QPushButton *closeButton = addButton(QStringLiteral("关闭"), "closeButton");
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    outer->addLayout(bottom);

    // Esc empties the search box first, then closes the window.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_searchEdit->text().isEmpty()) {
            close();
        } else {
            m_searchEdit->clear();
        }
    });

    resize(1180, 700);
    splitter->setSizes({m_dayList->minimumWidth(), 1180 - m_dayList->minimumWidth()});
    updateActions();
}

void CHistoryDlg::setRecordFolder(const QString &recordFolder) {
    if (recordFolder == m_recordFolder && !recordFolder.isEmpty()) {
        return;
    }
    m_recordFolder = recordFolder;
    m_days.clear();
    m_dayModel->setDays({});
    m_chosenDay.clear();
    m_dayEntries.clear();
    m_dayRecordModel->setRows({});
    m_journalModel->setRows({});
    m_journalTitle->clear();
    m_indexProblem.clear();
    m_progressText.clear();
    if (recordFolder.isEmpty()) {
        m_dayTitle->setText(QStringLiteral("尚未设置记录目录：请先在“软件设置”中填写记录目录。"));
    } else {
        m_dayTitle->setText(
            QStringLiteral("正在读取记录目录 %1 …").arg(QDir::toNativeSeparators(recordFolder)));
        m_service.setRecordFolder(recordFolder);
    }
    if (m_searchNumber != 0) {
        startSearch();
    }
    onIndexProgress(0, 0);
}

void CHistoryDlg::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    // Shown again: today's log has grown since, and earlier days may have been edited.
    if (m_shownBefore && !m_recordFolder.isEmpty()) {
        m_service.refresh();
    }
    m_shownBefore = true;
    m_searchEdit->setFocus();
}

void CHistoryDlg::onDaysChanged(const QList<History::Day> &days) {
    const int oldRow = m_dayModel->rowOf(m_chosenDay);
    const History::Day before = oldRow >= 0 ? m_dayModel->day(oldRow) : History::Day();
    m_days = days;
    m_dayModel->setDays(days);
    if (days.isEmpty()) {
        m_chosenDay.clear();
        m_dayEntries.clear();
        m_dayRecordModel->setRows({});
        m_journalModel->setRows({});
        m_journalTitle->clear();
        m_dayTitle->setText(
            QStringLiteral("记录目录 %1 中还没有日志。").arg(QDir::toNativeSeparators(m_recordFolder)));
        m_tabs->setTabText(DayTab, QStringLiteral("当天记录"));
        updateActions();
    } else {
        int row = m_dayModel->rowOf(m_chosenDay);
        const bool anotherDay = row < 0;
        if (anotherDay) {
            row = 0; // the newest day, until the operator chooses another
        }
        const bool changed = anotherDay || !sameDay(before, m_dayModel->day(row));
        m_chosenDay = m_dayModel->day(row).day;
        m_quietDayChoice = true;
        m_dayList->setCurrentIndex(m_dayModel->index(row, 0));
        m_quietDayChoice = false;
        if (changed) {
            showChosenDay(anotherDay);
        }
    }
    // A search made while the index was being built may now find more.
    if (m_searchNumber != 0 && !m_searchTimer->isActive()) {
        m_searchTimer->start();
    }
    onIndexProgress(-1, -1);
}

void CHistoryDlg::onCurrentDayChanged(const QModelIndex &current) {
    if (!current.isValid()) {
        return;
    }
    const QString day = m_dayModel->day(current.row()).day;
    if (!m_quietDayChoice) {
        m_tabs->setCurrentIndex(DayTab); // the operator chose it: show it
    }
    if (day == m_chosenDay) {
        return;
    }
    m_chosenDay = day;
    showChosenDay(true);
}

void CHistoryDlg::chooseDay(const QString &day) {
    const int row = m_dayModel->rowOf(day);
    if (row < 0) {
        return;
    }
    const QModelIndex index = m_dayModel->index(row, 0);
    m_quietDayChoice = true;
    m_dayList->setCurrentIndex(index);
    m_quietDayChoice = false;
    m_dayList->scrollTo(index);
}

// Asks for the chosen day's records and journal; the tab says what it knows of the day meanwhile.
void CHistoryDlg::showChosenDay(bool anotherDay) {
    const int row = m_dayModel->rowOf(m_chosenDay);
    if (row < 0) {
        return;
    }
    const History::Day &day = m_dayModel->day(row);
    QPalette colours = m_dayTitle->palette();
    if (day.unreadable()) {
        m_dayTitle->setText(QStringLiteral("%1（%2）有文件无法读取：\n%3")
                                .arg(day.day, HistoryWindow::weekday(day.day), day.problem()));
        colours.setColor(QPalette::WindowText, HistoryWindow::kProblemColour);
    } else {
        m_dayTitle->setText(QStringLiteral("%1（%2）共 %3 条记录")
                                .arg(day.day, HistoryWindow::weekday(day.day))
                                .arg(day.entryCount));
        colours = palette();
    }
    m_dayTitle->setPalette(colours);
    m_tabs->setTabText(DayTab, QStringLiteral("%1 的记录").arg(day.day));
    if (anotherDay) {
        m_dayEntries.clear();
        m_dayRecordModel->setRows({});
        m_journalModel->setRows({});
        m_journalTitle->setText(QStringLiteral("正在读取…"));
        updateActions();
    }
    m_service.showDay(day.day);
}

void CHistoryDlg::onDayShown(const QString &day, const QList<History::Entry> &entries,
                             const QList<QStringList> &journal, const QString &journalError) {
    if (day != m_chosenDay) {
        return; // the operator has moved on
    }
    m_dayEntries = entries;
    showRows(m_dayRecordModel, entries);
    m_journalModel->setRows(journal);
    QPalette colours = palette();
    if (!journalError.isEmpty()) {
        m_journalTitle->setText(QStringLiteral("当天的传输日志无法读取：%1").arg(journalError));
        colours.setColor(QPalette::WindowText, HistoryWindow::kProblemColour);
    } else if (journal.isEmpty()) {
        m_journalTitle->setText(QStringLiteral("当天没有传输日志。"));
    } else {
        m_journalTitle->setText(QStringLiteral("当天的传输日志：%1 行").arg(journal.size()));
    }
    m_journalTitle->setPalette(colours);
    selectFoundEntry();
    updateActions();
}

void CHistoryDlg::onSearchEdited() {
    if (m_searchEdit->text().trimmed().isEmpty()) {
        // Back to the days.
        m_searchTimer->stop();
        m_searchNumber = 0;
        m_searchedText.clear();
        m_results.clear();
        m_resultModel->setRows({});
        m_resultSummary->clear();
        m_tabs->setTabText(SearchTab, QStringLiteral("查找结果"));
        m_tabs->setCurrentIndex(DayTab);
        m_tabs->setTabEnabled(SearchTab, false);
        updateActions();
        return;
    }
    m_tabs->setTabEnabled(SearchTab, true);
    m_tabs->setCurrentIndex(SearchTab);
    m_searchTimer->start();
}

void CHistoryDlg::startSearch() {
    const QString text = m_searchEdit->text().trimmed();
    if (text.isEmpty() || m_recordFolder.isEmpty()) {
        return;
    }
    if (text != m_searchedText || m_results.isEmpty()) {
        m_resultSummary->setText(QStringLiteral("正在查找“%1”…").arg(text));
    }
    m_searchedText = text;
    m_searchNumber = m_service.search(text);
}

void CHistoryDlg::onSearchFinished(int number, const History::SearchResult &result) {
    if (number != m_searchNumber) {
        return; // an older search, overtaken by what the operator typed since
    }
    m_results = result.entries;
    showRows(m_resultModel, m_results);
    const int found = int(m_results.size());
    if (!result.error.isEmpty()) {
        m_resultSummary->setText(QStringLiteral("无法查找：%1").arg(result.error));
    } else if (found == 0) {
        m_resultSummary->setText(QStringLiteral("没有找到含“%1”的记录。").arg(result.text));
    } else if (result.truncated) {
        m_resultSummary->setText(
            QStringLiteral("找到的记录超过 %1 条，只显示最新的 %1 条；请输入更多文字缩小范围。").arg(found));
    } else {
        m_resultSummary->setText(
            QStringLiteral("找到 %1 条含“%2”的记录（最新的在前）。").arg(found).arg(result.text));
    }
    m_tabs->setTabText(SearchTab, QStringLiteral("查找结果（%1%2）")
                                      .arg(found)
                                      .arg(result.truncated ? QStringLiteral("+") : QString()));
    updateActions();
}

// A result chosen in the list: its day is chosen on the left, ready for a look.
void CHistoryDlg::onResultChosen(const QModelIndex &current) {
    goToResult(current, false);
}

// A result opened (double-click or Enter): its day, with the record selected.
void CHistoryDlg::onResultActivated(const QModelIndex &index) {
    goToResult(index, true);
}

void CHistoryDlg::goToResult(const QModelIndex &index, bool showDay) {
    if (!index.isValid() || index.row() >= m_results.size()) {
        return;
    }
    m_entryToFind = m_results.at(index.row());
    m_findEntry = true;
    chooseDay(m_entryToFind.day);
    if (showDay) {
        m_tabs->setCurrentIndex(DayTab);
    }
    selectFoundEntry();
}

// Selects the search result the operator picked in the day's records, once that day is shown.
void CHistoryDlg::selectFoundEntry() {
    if (!m_findEntry || m_entryToFind.day != m_chosenDay || m_dayEntries.isEmpty()) {
        return;
    }
    m_findEntry = false;
    const auto found =
        std::find_if(m_dayEntries.cbegin(), m_dayEntries.cend(),
                     [this](const History::Entry &entry) { return sameRecord(entry, m_entryToFind); });
    if (found != m_dayEntries.cend()) {
        const QModelIndex index = m_dayRecordModel->index(int(found - m_dayEntries.cbegin()), 0);
        m_dayRecords->setCurrentIndex(index);
        m_dayRecords->scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
}

void CHistoryDlg::onIndexOpened(const QString &indexPath, const QString &problem) {
    m_indexProblem = problem;
    m_statusText->setToolTip(indexPath.isEmpty()
                                 ? problem
                                 : QStringLiteral("索引文件：%1").arg(QDir::toNativeSeparators(indexPath)));
    onIndexProgress(-1, -1);
}

// done, total: the index's progress; -1 keeps what was last reported.
void CHistoryDlg::onIndexProgress(int done, int total) {
    if (done >= 0) {
        m_progressText =
            done < total ? QStringLiteral("正在建立索引：%1 / %2 天").arg(done).arg(total) : QString();
    }
    QStringList parts;
    if (!m_progressText.isEmpty()) {
        parts << m_progressText;
    } else if (!m_days.isEmpty()) {
        parts << QStringLiteral("共 %1 天有记录").arg(m_days.size());
    }
    if (!m_indexProblem.isEmpty()) {
        parts << m_indexProblem;
    }
    m_statusText->setText(parts.join(QStringLiteral("　　")));
}

const QList<History::Entry> &CHistoryDlg::currentEntries() const {
    return m_tabs->currentIndex() == SearchTab ? m_results : m_dayEntries;
}

void CHistoryDlg::updateActions() {
    const bool any = !currentEntries().isEmpty();
    m_exportCsv->setEnabled(any);
    m_exportXls->setEnabled(any);
    const QString what = m_tabs->currentIndex() == SearchTab ? QStringLiteral("查找结果")
                                                             : QStringLiteral("%1 的记录").arg(m_chosenDay);
    m_exportCsv->setToolTip(QStringLiteral("把%1保存为 CSV 文件（UTF-8）").arg(what));
    m_exportXls->setToolTip(QStringLiteral("把%1保存为 Excel 97-2003 工作簿").arg(what));
}

void CHistoryDlg::exportCurrent(bool excel) {
    const QList<History::Entry> entries = currentEntries();
    if (entries.isEmpty()) {
        return;
    }
    const QString suffix = excel ? QStringLiteral(".xls") : QStringLiteral(".csv");
    const QString name = m_tabs->currentIndex() == SearchTab
                             ? QStringLiteral("历史记录-查找-%1").arg(fileNamePart(m_searchedText))
                             : QStringLiteral("历史记录-%1").arg(m_chosenDay);
    const QString title = excel ? QStringLiteral("导出 Excel") : QStringLiteral("导出 CSV");
    const QString filter =
        excel ? QStringLiteral("Excel 97-2003 工作簿 (*.xls)") : QStringLiteral("CSV 文件 (*.csv)");
    QString path = m_chooseSaveFile(this, title, QDir(QDir::homePath()).filePath(name + suffix), filter);
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += suffix;
    }
    if (isDayFile(path, m_recordFolder)) {
        OperatorMessages::show(
            this, Notice{NoticeCaption::kError,
                         QStringLiteral("不能用导出的文件替换记录目录中当天的日志：%1\n请换一个文件名。")
                             .arg(QDir::toNativeSeparators(path))});
        return;
    }
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = excel ? HistoryExport::writeXls(path, entries, &error)
                               : HistoryExport::writeCsv(path, entries, &error);
    QApplication::restoreOverrideCursor();
    if (!written) {
        OperatorMessages::show(
            this, Notice{NoticeCaption::kError,
                         QStringLiteral("无法导出到 %1：%2").arg(QDir::toNativeSeparators(path), error)});
        return;
    }
    m_statusText->setText(
        QStringLiteral("已导出 %1 条记录到 %2").arg(entries.size()).arg(QDir::toNativeSeparators(path)));
}
