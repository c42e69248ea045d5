#include "gui/views/QueuePane.h"

#include "gui/views/CTableView.h"
#include "gui/views/QueueFilterModel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

QueuePane::QueuePane(UploadTable &table, QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("queuePane"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(2, 2, 2, 0);
    auto *label = new QLabel(QStringLiteral("筛选(&L)："), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("queueFilter"));
    m_filter->setAccessibleName(QStringLiteral("筛选上传队列"));
    m_filter->setPlaceholderText(QStringLiteral("筛选：文件名、目的地址或状态（Ctrl+F）"));
    m_filter->setClearButtonEnabled(true);
    m_filter->installEventFilter(this);
    label->setBuddy(m_filter);
    row->addWidget(label);
    row->addWidget(m_filter, 1);
    layout->addLayout(row);

    m_table = new CTableView(table, this);
    layout->addWidget(m_table, 1);
    connect(m_filter, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_table->queueFilter().setFilterText(text); });

    m_find = new QAction(QStringLiteral("筛选上传队列(&F)"), this);
    m_find->setObjectName(QStringLiteral("focusQueueFilterAction"));
    m_find->setShortcut(QKeySequence::Find);
    m_find->setShortcutContext(Qt::WindowShortcut);
    connect(m_find, &QAction::triggered, this, [this] {
        m_filter->setFocus(Qt::ShortcutFocusReason);
        m_filter->selectAll();
    });
    addAction(m_find);
}

// Esc in a field that holds a filter empties it, before any shortcut of the window takes the key.
bool QueuePane::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_filter &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier &&
            !m_filter->text().isEmpty()) {
            if (event->type() == QEvent::KeyPress) {
                m_filter->clear();
            }
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
