#pragma once

#include <QList>
#include <QRect>
#include <QString>

class QSplitter;
class QTableView;
class QWidget;

// The operator's layout of the window, kept from one run to the next in <working folder>/window.ini
// (an INI file of its own, group Window): the window's place and size, whether it was maximised, the
// splitters' positions and the column widths of the panes, each under its widget's objectName. It is
// not the administrator's settings file: that one is GBK text, the settings of record, and must never
// be rewritten because a window moved.
//
// Whatever is missing, damaged or would put the window off every screen is left out, and the widget
// keeps the layout of a first start.
class WindowMemory {
public:
    static inline const QString kFileName = QStringLiteral("window.ini");

    explicit WindowMemory(const QString &workFolder);

    QString filePath() const { return m_path; }

    // The widgets whose layout is kept; their objectNames are the keys.
    void track(QSplitter *splitter);
    void track(QTableView *table);

    // Gives window its saved geometry, or the first start's when none usable was saved. True when the
    // window is to be shown maximised.
    bool restoreWindow(QWidget *window) const;
    // Gives the tracked splitters and tables their saved sizes and widths; returns false when no
    // splitter had any (a first start), so the caller lays them out itself.
    bool restorePanes() const;
    // Another window of the station (the history window), by its objectName: false when none was saved.
    bool restoreGeometry(QWidget *window) const;

    // Writes window's geometry and state and the tracked widgets' layout.
    void save(const QWidget *window) const;
    void saveGeometry(const QWidget *window) const;

    // The first start's place: four fifths of the screen's available area, centred.
    static QRect firstStartGeometry(const QRect &available);
    // A saved geometry fit to show on screens (their available areas): its size within one screen's
    // and its top edge, where the caption is, far enough on that screen to be grasped. An empty rect
    // when it is not.
    static QRect usableGeometry(const QRect &saved, const QList<QRect> &screens);
    // Narrows the columns of table in proportion so they fit its width, each no narrower than its
    // header text; columns that already fit stay as they are.
    static void fitColumns(QTableView *table);

private:
    QString m_path;
    QList<QSplitter *> m_splitters;
    QList<QTableView *> m_tables;
};
