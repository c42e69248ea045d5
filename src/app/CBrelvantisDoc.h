#pragma once

#include <QObject>
#include <QString>

class CTableView;
class CDriveExplorerView;
class CContentView;

// The document holds no data: only the references through which the three panes find each other,
// each set by its pane at the pane's first showing.
class CBrelvantisDoc : public QObject {
    Q_OBJECT
public:
    explicit CBrelvantisDoc(QObject *parent = nullptr);

    // Starts a new (and only) document: sets the title.
    bool OnNewDocument();
    const QString &title() const { return m_strTitle; }

    CTableView *m_pTableView = nullptr;
    CDriveExplorerView *m_pDriveExplorerView = nullptr;
    CContentView *m_pContentView = nullptr;

private:
    QString m_strTitle;
};
