#pragma once

#include "core/history/HistoryIndex.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class DayListModel;
class HistoryEntryModel;
class HistoryService;
class JournalLineModel;
class QAbstractItemModel;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;

// "历史记录": what the station sent on earlier days. The days of the record folder on the left (an
// unreadable day is marked and says why), a search over all days on the right top, and below it two
// tabs: the chosen day's records above its journal, and the search results. Both lists export to CSV
// or Excel. The window only shows and asks; the history service does the reading, on its own thread.
// Non-modal: the frame keeps one window for the whole run and shows it again and again.
class CHistoryDlg : public QWidget {
    Q_OBJECT
public:
    // Asks the operator where to save an export, proposing suggestedPath; empty when cancelled.
    using SaveFileChooser = std::function<QString(QWidget *parent, const QString &title,
                                                  const QString &suggestedPath, const QString &filter)>;

    CHistoryDlg(HistoryService &service, const QString &recordFolder, QWidget *parent = nullptr);

    // The record folder of the settings; a different one opens its history.
    void setRecordFolder(const QString &recordFolder);
    // Replaces the platform's save dialog (tests answer it themselves).
    void setSaveFileChooser(SaveFileChooser chooser);

protected:
    void showEvent(QShowEvent *event) override;

private:
    enum Tab { DayTab = 0, SearchTab = 1 };

    void createControls();
    QWidget *createDayList(QWidget *parent);
    QWidget *createSearchSide(QWidget *parent);
    QWidget *createDayPage(QWidget *parent);
    QWidget *createSearchPage(QWidget *parent);
    QHBoxLayout *createButtons();
    QTableView *createTable(const char *name, QAbstractItemModel *model, QWidget *parent);

    void onDaysChanged(const QList<History::Day> &days);
    void onCurrentDayChanged(const QModelIndex &current);
    void chooseDay(const QString &day);
    void showChosenDay(bool anotherDay);
    void onDayShown(const QString &day, const QList<History::Entry> &entries,
                    const QList<QStringList> &journal, const Failure &journalFailure);

    void onSearchEdited();
    void startSearch();
    void onSearchFinished(int number, const History::SearchResult &result);
    void onResultChosen(const QModelIndex &current);
    void onResultActivated(const QModelIndex &index);
    void goToResult(const QModelIndex &index, bool showDay);
    void selectFoundEntry();

    void onIndexOpened(const QString &indexPath, const QString &problem);
    void onIndexProgress(int done, int total);

    void exportCurrent(bool excel);
    bool writeExport(const QString &path, bool excel, const QList<History::Entry> &entries);
    const QList<History::Entry> &currentEntries() const;
    void updateActions();

    HistoryService &m_service;
    QString m_recordFolder;
    SaveFileChooser m_chooseSaveFile;
    bool m_shownBefore = false;

    QString m_chosenDay;          // the day of the day tab
    History::Entry m_entryToFind; // a search result to select once its day is shown
    bool m_findEntry = false;
    bool m_quietDayChoice = false; // the day list is moved by the window, not by the operator

    int m_searchNumber = 0; // the latest search asked for; 0 while no search is active
    QString m_searchedText; // what that search was for
    QTimer *m_searchTimer = nullptr;

    QString m_indexProblem;
    QString m_progressText;

    // What the lists show; the window keeps no copy of its own.
    DayListModel *m_dayModel = nullptr;
    HistoryEntryModel *m_dayRecordModel = nullptr;
    JournalLineModel *m_journalModel = nullptr;
    HistoryEntryModel *m_resultModel = nullptr;

    QTableView *m_dayList = nullptr;
    QLineEdit *m_searchEdit = nullptr;
    QTabWidget *m_tabs = nullptr;
    QLabel *m_dayTitle = nullptr;
    QTableView *m_dayRecords = nullptr;
    QLabel *m_journalTitle = nullptr;
    QTableView *m_journal = nullptr;
    QLabel *m_resultSummary = nullptr;
    QTableView *m_resultTable = nullptr;
    QPushButton *m_exportCsv = nullptr;
    QPushButton *m_exportXls = nullptr;
    QPushButton *m_refresh = nullptr;
    QLabel *m_statusText = nullptr;
};
