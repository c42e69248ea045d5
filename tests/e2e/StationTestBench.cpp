#include "StationTestBench.h"

#include "core/common/Cp936.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/SettingsStore.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTest>

StationWorkspace::StationWorkspace(quint16 isolatorPort, bool configured) {
    for (const char *folder : {"transit/报表", "transit/图片", "transit/归档", "upload", "records", "done"}) {
        TestFiles::makeFolder(path(QString::fromUtf8(folder)));
    }
    TestFiles::write(path(QStringLiteral("Brelvantis.filter")), FileTypeFilter::scramble("txt:pdf:jpg:"));
    if (!configured) {
        return;
    }
    SettingsRecord settings;
    settings.completionFolder = path(QStringLiteral("done/"));
    settings.transitFolder = path(QStringLiteral("transit/"));
    settings.uploadFolder = path(QStringLiteral("upload/"));
    settings.recordFolder = path(QStringLiteral("records/"));
    settings.isolatorAddress = QStringLiteral("127.0.0.1");
    settings.isolatorPort = QString::number(isolatorPort);
    SettingsStore(path(QStringLiteral("Berlvantis.ini"))).save(settings);
    TestFiles::write(
        path(QStringLiteral("Brelvantis.path")),
        *Cp936::encode(QStringLiteral("|报表*d://报表>192.168.1.10:4321|图片*d://图片>192.168.1.11:4321|")));
}

QString StationWorkspace::path(const QString &relative) const {
    return dir.path() + QLatin1Char('/') + relative;
}

QByteArray StationWorkspace::addTransitFile(const QString &relative, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes) {
        byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
    }
    TestFiles::write(path(QStringLiteral("transit/") + relative), bytes);
    return bytes;
}

namespace StationTest {

void clickRow(QAbstractItemView *view, int row, Qt::KeyboardModifiers modifiers) {
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, cell.center());
}

void doubleClickRow(QAbstractItemView *view, int row) {
    const QRect cell = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

void typeInto(QWidget *edit, const QString &text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
        QApplication::sendEvent(edit, &release);
    }
}

int rowWithText(QAbstractItemView *view, const QString &text, int column) {
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->model()->index(row, column).data().toString() == text) {
            return row;
        }
    }
    return -1;
}

} // namespace StationTest
