#include "gui/dialogs/CHistoryDlg.h"

#include "core/common/Notice.h"
#include "core/history/HistoryExport.h"
#include "core/history/HistoryService.h"
#include "core/records/DayJournal.h"
#include "gui/models/DayListModel.h"
#include "gui/models/HistoryEntryModel.h"
#include "gui/models/JournalLineModel.h"
#include "gui/models/StatusColours.h"
#include "gui/widgets/OperatorMessages.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
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
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <utility>

namespace {

QString chooseWithPlatformDialog(QWidget *parent, const QString &title, const QString &suggestedPath,
                                 const QString &filter) {
    return QFileDialog::getSaveFileName(parent, title, suggestedPath, filter);
}

// The same record, as the search and the day's list each report it.
bool sameRecord(const History::Entry &a, const History::Entry &b) {
    return a.day == b.day && a.cells == b.cells && a.journalOnly == b.journalOnly;
}

bool sameDay(const History::Day &a, const History::Day &b) {
    return a.day == b.day && a.entryCount == b.entryCount &&
           DayListModel::problem(a) == DayListModel::problem(b);
}

// A long text of the kind a journal column holds.
QString journalSample(const QString &column) {
    static const std::pair<const char16_t *, const char16_t *> samples[] = {
        {u"时间", u"2026-12-07 00:00:00"},
        {u"事件", u"事件"},
        {u"文件名", u"一个较长的文件名称示例.docx"},
        {u"目的地", u"192.168.100.100:4321||d://资料"},
        {u"隔离器", u"192.168.100.100:4321"},
        {u"原因", u"隔离器在 30 秒内没有应答"},
        {u"已发送字节", u"1234567890"},
        {u"秒", u"12345.678"},
        {u"MB/s", u"123.45"},
        {u"SHA-256", u"0123456789abcdef01234"},
    };
    for (const auto &[name, text] : samples) {
        if (column == QString::fromUtf16(name)) {
            return QString::fromUtf16(text);
        }
    }
    return QString();
}

// Column widths from the texts a column typically holds, so nothing common is cut at any font size.
void fitColumns(QTableView *table, const std::function<QString(int column)> &sampleOf) {
    const QFontMetrics metrics = table->fontMetrics();
    for (int column = 0; column < table->model()->columnCount(); ++column) {
        const QString header = table->model()->headerData(column, Qt::Horizontal).toString();
        const QString sample = sampleOf(column);
        table->setColumnWidth(column, sample.isEmpty() ? metrics.horizontalAdvance(header) + 60
                                                       : std::max(metrics.horizontalAdvance(sample),
                                                                  metrics.horizontalAdvance(header)) +
                                                             18);
    }
}

// Ctrl+C and the context menu copy the chosen rows as tab-separated text (a SHA-256 to compare, say).
void addCopyAction(QTableView *table) {
    auto *copy = new QAction(QStringLiteral("复制"), table);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(copy, &QAction::triggered, table, [table] {
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

// A title that says what went wrong, in the colour of problems.
void showProblem(QLabel *label, const QString &text, const QPalette &normal) {
    QPalette colours = normal;
    colours.setColor(QPalette::WindowText, StatusColours::kProblem);
    label->setText(text);
    label->setPalette(colours);
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
    addCopyAction(table);
    return table;
}

void CHistoryDlg::createControls() {
    m_dayModel = new DayListModel(this);
    m_dayRecordModel = new HistoryEntryModel(this);
    m_resultModel = new HistoryEntryModel(this);
    m_journalModel = new JournalLineModel(this);

    auto *outer = new QVBoxLayout(this);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("historySplitter"));
    splitter->setChildrenCollapsible(false);
    outer->addWidget(splitter, 1);
    createDayList(splitter);
    createSearchSide(splitter);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    outer->addLayout(createButtons());

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

// Left: the days.
QWidget *CHistoryDlg::createDayList(QWidget *parent) {
    auto *left = new QWidget(parent);
    auto *layout = new QVBoxLayout(left);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(QStringLiteral("有记录的日期"), left);
    layout->addWidget(label);
    m_dayList = createTable("dayList", m_dayModel, left);
    m_dayList->setAccessibleName(QStringLiteral("有记录的日期"));
    m_dayList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_dayList->setAlternatingRowColors(false);
    m_dayList->setTextElideMode(Qt::ElideRight);
    m_dayList->setShowGrid(false);
    const QFontMetrics metrics = m_dayList->fontMetrics();
    m_dayList->setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral("2026-12-07  周三")) + 18);
    m_dayList->setColumnWidth(1, metrics.horizontalAdvance(QStringLiteral("无法读取")) + 40);
    m_dayList->setMinimumWidth(m_dayList->columnWidth(0) + m_dayList->columnWidth(1) + 24);
    label->setBuddy(m_dayList);
    layout->addWidget(m_dayList);
    connect(m_dayList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CHistoryDlg::onCurrentDayChanged);
    // A click on the day already chosen shows it too.
    connect(m_dayList, &QTableView::clicked, this, [this] { m_tabs->setCurrentIndex(DayTab); });
    return left;
}

// Right: the search box above the two tabs.
QWidget *CHistoryDlg::createSearchSide(QWidget *parent) {
    auto *right = new QWidget(parent);
    auto *layout = new QVBoxLayout(right);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *searchRow = new QHBoxLayout;
    auto *searchLabel = new QLabel(QStringLiteral("查找(&F)："), right);
    m_searchEdit = new QLineEdit(right);
    m_searchEdit->setObjectName(QStringLiteral("searchEdit"));
    m_searchEdit->setPlaceholderText(QStringLiteral("按文件名、存放路径或 SHA-256 查找（所有日期）"));
    m_searchEdit->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_searchEdit);
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(m_searchEdit, 1);
    layout->addLayout(searchRow);

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
    layout->addWidget(m_tabs, 1);
    m_tabs->addTab(createDayPage(m_tabs), QStringLiteral("当天记录"));
    m_tabs->addTab(createSearchPage(m_tabs), QStringLiteral("查找结果"));
    m_tabs->setTabEnabled(SearchTab, false);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CHistoryDlg::updateActions);
    return right;
}

// The chosen day's records above its journal.
QWidget *CHistoryDlg::createDayPage(QWidget *parent) {
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    m_dayTitle = new QLabel(page);
    m_dayTitle->setObjectName(QStringLiteral("dayTitle"));
    m_dayTitle->setWordWrap(true);
    m_dayTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_dayTitle);
    auto *splitter = new QSplitter(Qt::Vertical, page);
    splitter->setObjectName(QStringLiteral("daySplitter"));
    splitter->setChildrenCollapsible(false);
    m_dayRecords = createTable("dayRecords", m_dayRecordModel, splitter);
    m_dayRecords->setAccessibleName(QStringLiteral("当天记录"));
    fitColumns(m_dayRecords, HistoryExport::sample);
    auto *journalPane = new QWidget(splitter);
    auto *journalLayout = new QVBoxLayout(journalPane);
    journalLayout->setContentsMargins(0, 4, 0, 0);
    m_journalTitle = new QLabel(journalPane);
    m_journalTitle->setObjectName(QStringLiteral("journalTitle"));
    m_journalTitle->setWordWrap(true);
    m_journalTitle->setTextInteractionFlags(Qt::TextSelectableByMouse);
    journalLayout->addWidget(m_journalTitle);
    m_journal = createTable("journalLines", m_journalModel, journalPane);
    m_journal->setAccessibleName(QStringLiteral("当天的传输日志"));
    fitColumns(m_journal, [](int column) { return journalSample(DayJournal::kColumns.value(column)); });
    journalLayout->addWidget(m_journal);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter, 1);
    return page;
}

// The records found in all days.
QWidget *CHistoryDlg::createSearchPage(QWidget *parent) {
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    m_resultSummary = new QLabel(page);
    m_resultSummary->setObjectName(QStringLiteral("resultSummary"));
    m_resultSummary->setWordWrap(true);
    layout->addWidget(m_resultSummary);
    m_resultTable = createTable("searchResults", m_resultModel, page);
    m_resultTable->setAccessibleName(QStringLiteral("查找结果"));
    fitColumns(m_resultTable, HistoryExport::sample);
    layout->addWidget(m_resultTable, 1);
    connect(m_resultTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CHistoryDlg::onResultChosen);
    connect(m_resultTable, &QTableView::activated, this, &CHistoryDlg::onResultActivated);
    return page;
}

// Bottom: the index's state on the left, the commands on the right.
QHBoxLayout *CHistoryDlg::createButtons() {
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
    return bottom;
}

void CHistoryDlg::setRecordFolder(const QString &recordFolder) {
    if (recordFolder == m_recordFolder && !recordFolder.isEmpty()) {
        return;
    }
    m_recordFolder = recordFolder;
    m_dayModel->setDays({});
    m_chosenDay.clear();
    m_dayRecordModel->setEntries({});
    m_journalModel->setLines({});
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
    m_dayModel->setDays(days);
    if (days.isEmpty()) {
        m_chosenDay.clear();
        m_dayRecordModel->setEntries({});
        m_journalModel->setLines({});
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
    if (day.unreadable()) {
        showProblem(m_dayTitle,
                    QStringLiteral("%1（%2）有文件无法读取：\n%3")
                        .arg(day.day, DayListModel::weekday(day.day), DayListModel::problem(day)),
                    palette());
    } else {
        m_dayTitle->setText(QStringLiteral("%1（%2）共 %3 条记录")
                                .arg(day.day, DayListModel::weekday(day.day))
                                .arg(day.entryCount));
        m_dayTitle->setPalette(palette());
    }
    m_tabs->setTabText(DayTab, QStringLiteral("%1 的记录").arg(day.day));
    if (anotherDay) {
        m_dayRecordModel->setEntries({});
        m_journalModel->setLines({});
        m_journalTitle->setText(QStringLiteral("正在读取…"));
        updateActions();
    }
    m_service.showDay(day.day);
}

void CHistoryDlg::onDayShown(const QString &day, const QList<History::Entry> &entries,
                             const QList<QStringList> &journal, const Failure &journalFailure) {
    if (day != m_chosenDay) {
        return; // the operator has moved on
    }
    m_dayRecordModel->setEntries(entries);
    m_journalModel->setLines(journal);
    m_journalTitle->setPalette(palette());
    if (journalFailure.failed()) {
        showProblem(m_journalTitle, journalFailure.sentence(), palette());
    } else if (journal.isEmpty()) {
        m_journalTitle->setText(QStringLiteral("当天没有传输日志。"));
    } else {
        m_journalTitle->setText(QStringLiteral("当天的传输日志：%1 行").arg(journal.size()));
    }
    selectFoundEntry();
    updateActions();
}

void CHistoryDlg::onSearchEdited() {
    if (m_searchEdit->text().trimmed().isEmpty()) {
        // Back to the days.
        m_searchTimer->stop();
        m_searchNumber = 0;
        m_searchedText.clear();
        m_resultModel->setEntries({});
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
    if (text != m_searchedText || m_resultModel->entries().isEmpty()) {
        m_resultSummary->setText(QStringLiteral("正在查找“%1”…").arg(text));
    }
    m_searchedText = text;
    m_searchNumber = m_service.search(text);
}

void CHistoryDlg::onSearchFinished(int number, const History::SearchResult &result) {
    if (number != m_searchNumber) {
        return; // an older search, overtaken by what the operator typed since
    }
    m_resultModel->setEntries(result.entries);
    const int found = int(result.entries.size());
    if (!result.error.isEmpty()) {
        // The index's reason is the database's own words: a line of its own.
        m_resultSummary->setText(QStringLiteral("历史索引无法查找。\n%1").arg(result.error));
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
    if (!index.isValid() || index.row() >= m_resultModel->entries().size()) {
        return;
    }
    m_entryToFind = m_resultModel->entries().at(index.row());
    m_findEntry = true;
    chooseDay(m_entryToFind.day);
    if (showDay) {
        m_tabs->setCurrentIndex(DayTab);
    }
    selectFoundEntry();
}

// Selects the search result the operator picked in the day's records, once that day is shown.
void CHistoryDlg::selectFoundEntry() {
    const QList<History::Entry> &shown = m_dayRecordModel->entries();
    if (!m_findEntry || m_entryToFind.day != m_chosenDay || shown.isEmpty()) {
        return;
    }
    m_findEntry = false;
    const auto found = std::find_if(shown.cbegin(), shown.cend(), [this](const History::Entry &entry) {
        return sameRecord(entry, m_entryToFind);
    });
    if (found != shown.cend()) {
        const QModelIndex index = m_dayRecordModel->index(int(found - shown.cbegin()), 0);
        m_dayRecords->setCurrentIndex(index);
        m_dayRecords->scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
}

void CHistoryDlg::onIndexOpened(const QString &indexPath, const QString &problem) {
    m_indexProblem = problem;
    QStringList tip;
    if (!indexPath.isEmpty()) {
        tip << QStringLiteral("索引文件：%1").arg(QDir::toNativeSeparators(indexPath));
    }
    if (!problem.isEmpty()) {
        tip << problem;
    }
    m_statusText->setToolTip(tip.join(QLatin1Char('\n')));
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
    } else if (m_dayModel->rowCount() > 0) {
        parts << QStringLiteral("共 %1 天有记录").arg(m_dayModel->rowCount());
    }
    if (!m_indexProblem.isEmpty()) {
        // One line here; the tooltip holds the rest.
        parts << m_indexProblem.section(QLatin1Char('\n'), 0, 0);
    }
    m_statusText->setText(parts.join(QStringLiteral("　　")));
}

const QList<History::Entry> &CHistoryDlg::currentEntries() const {
    return m_tabs->currentIndex() == SearchTab ? m_resultModel->entries() : m_dayRecordModel->entries();
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
    if (writeExport(path, excel, entries)) {
        m_statusText->setText(
            QStringLiteral("已导出 %1 条记录到 %2").arg(entries.size()).arg(QDir::toNativeSeparators(path)));
    }
}

bool CHistoryDlg::writeExport(const QString &path, bool excel, const QList<History::Entry> &entries) {
    Failure failure;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = excel ? HistoryExport::writeXls(path, entries, &failure)
                               : HistoryExport::writeCsv(path, entries, &failure);
    QApplication::restoreOverrideCursor();
    if (!written) {
        QString text = QStringLiteral("无法导出到 %1").arg(QDir::toNativeSeparators(path));
        if (!failure.reason.isEmpty()) {
            text += QStringLiteral("：") + failure.reason;
        }
        if (!failure.detail.isEmpty()) {
            text += QLatin1Char('\n') + failure.detail;
        }
        OperatorMessages::show(this, Notice{NoticeCaption::kError, text});
    }
    return written;
}
