#pragma once

#include "support/RecordingResponder.h"

#include <QAbstractItemView>
#include <QList>
#include <QString>
#include <QTemporaryDir>

class IsolatorServer;

// A station workspace in a temporary folder: transit folder with subfolders, upload and record
// folders, mapping, filter and settings pointing at an isolator peer on loopback.
struct StationWorkspace {
    // configured: false leaves out the settings and the mapping, for the operator to make.
    explicit StationWorkspace(quint16 isolatorPort, bool configured = true);
    QString path(const QString &relative) const;
    // Writes a transit file and keeps its bytes to compare with what arrives.
    QByteArray addTransitFile(const QString &relative, int size);

    QTemporaryDir dir;
};

namespace StationTest {

// Clicks and double-clicks the first cell of a row, as an operator does.
void doubleClickRow(QAbstractItemView *view, int row);
void clickRow(QAbstractItemView *view, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Replaces the text of an edit by typing it, Chinese included, as key events carrying the text.
void typeInto(QWidget *edit, const QString &text);

// The row whose first column reads text, or -1.
int rowWithText(QAbstractItemView *view, const QString &text, int column = 0);

} // namespace StationTest
