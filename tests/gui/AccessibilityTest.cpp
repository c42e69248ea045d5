#include "app/CMainFrame.h"
#include "core/station/StationParts.h"
#include "gui/dialogs/CAboutDlg.h"
#include "gui/dialogs/CCfgDlg.h"
#include "gui/dialogs/CHelpDlg.h"
#include "gui/dialogs/CHistoryDlg.h"
#include "gui/dialogs/CInnerPathDlg.h"
#include "support/RecordingResponder.h"

#include <QAccessible>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// What a screen reader lets the operator act on or read a value from; each must say what it is.
bool interactive(QAccessible::Role role) {
    static const QList<QAccessible::Role> kRoles{
        QAccessible::PushButton, QAccessible::ButtonMenu,  QAccessible::ButtonDropDown,
        QAccessible::CheckBox,   QAccessible::RadioButton, QAccessible::EditableText,
        QAccessible::SpinBox,    QAccessible::ComboBox,    QAccessible::Table,
        QAccessible::List,       QAccessible::Tree,        QAccessible::ProgressBar};
    return kRoles.contains(role);
}

// The widget's objectName with those of its parents, so a failure says where to look.
QString whereIs(const QObject *object) {
    QStringList names;
    for (; object; object = object->parent()) {
        names.prepend(object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className())
                                                     : object->objectName());
        if (object->isWidgetType() && static_cast<const QWidget *>(object)->isWindow()) {
            break;
        }
    }
    return names.join(QLatin1Char('/'));
}

// The interactive widgets under iface that have no accessible name. Hidden widgets are left out, and so
// are the cells of tables and lists, which are named by what they show.
void collectUnnamed(QAccessibleInterface *iface, QStringList *unnamed) {
    const auto *widget = qobject_cast<const QWidget *>(iface->object());
    if (widget && !widget->isWindow() && !widget->isVisibleTo(widget->window())) {
        return;
    }
    if (widget && widget->window()->windowType() == Qt::Popup) {
        return; // a combo box's list: its box carries the name
    }
    const QAccessible::Role role = iface->role();
    if (interactive(role) && iface->text(QAccessible::Name).trimmed().isEmpty()) {
        unnamed->append(whereIs(iface->object()));
    }
    if (role == QAccessible::Table || role == QAccessible::List || role == QAccessible::Tree) {
        return;
    }
    for (int i = 0; i < iface->childCount(); ++i) {
        if (QAccessibleInterface *child = iface->child(i); child && child->object() != iface->object()) {
            collectUnnamed(child, unnamed);
        }
    }
}

QStringList unnamedIn(QWidget *window) {
    QStringList unnamed;
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(window);
    EXPECT_NE(root, nullptr);
    if (root) {
        collectUnnamed(root, &unnamed);
    }
    return unnamed;
}

TEST(Accessibility, EveryControlOfTheWindowAndTheDialogsHasAName) {
    RecordingResponder answers;
    QTemporaryDir dir;
    StationParts parts(dir.path());
    SettingsRecord settings;
    settings.completionFolder = settings.transitFolder = settings.uploadFolder = settings.recordFolder =
        dir.path() + QLatin1Char('/');
    parts.settingsStore.save(settings);
    QDir(dir.path()).mkdir(QStringLiteral("报表")); // the mapping dialog lists a subfolder
    CMainFrame frame(parts);
    frame.OnCreate();
    frame.OnInitialUpdates();
    frame.OnViewHistory();

    CInnerPathDlg mapping(parts.settings.transitFolder, parts.mapping);
    CAboutDlg about(dir.path());
    CHelpDlg help;
    QWidget *const windows[] = {&frame, frame.findChild<CCfgDlg *>(), &mapping, frame.historyWindow(), &about,
                                &help};
    for (QWidget *window : windows) {
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(unnamedIn(window).join(QStringLiteral(", ")).toStdString(), "")
            << window->objectName().toStdString();
    }
}

} // namespace
