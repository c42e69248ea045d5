#pragma once

#include "core/config/SettingsRecord.h"

#include <QList>
#include <QString>
#include <functional>

// What the settings dialog's OK checks before it saves, each setting as its SettingCheck in kSettings
// says: every required field filled, the isolator address a dotted IPv4 address, the port 1 to 65535,
// the bandwidth limit a number of KB/s, and the four folders apart (no two the same, none inside
// another). Folders that do not exist yet are the dialog's to offer to create; once they exist, the
// folders the station writes to must take a new file.
namespace SettingsCheck {

using Field = SettingsField;

struct Problem {
    Field field = Field::TransitFolder;
    QString text; // for the operator, naming the field
};

// The name the settings dialog gives the field.
QString label(Field field);

// The field of the record that holds field.
QString SettingsRecord::*member(Field field);

// The four folder fields, in the dialog's order.
QList<Field> folderFields();

bool isDottedIpv4(const QString &text);
bool isPort(const QString &text);
// Empty, or a whole number of KB/s from 0 (no limit) to 10,000,000.
bool isBandwidthLimit(const QString &text);

// The first problem of record in the dialog's order, or a problem with empty text when there is none.
// Folders are compared as they resolve on disk (symbolic links followed where they exist).
Problem firstProblem(const SettingsRecord &record);

// The folder fields whose folder does not exist (or is no folder), in the dialog's order.
QList<Field> missingFolders(const SettingsRecord &record);

// Why no file can be made in folder, in the system's words; empty when a file could be made and removed.
using WriteProbe = std::function<QString(const QString &folder)>;
// Creates a file of a fresh name in folder (never one that exists) and removes it again.
QString probeWritable(const QString &folder);

// The first of the upload, completion and record folders, in the dialog's order, that cannot take a new
// file, or a problem with empty text when each can.
Problem unwritableFolder(const SettingsRecord &record, const WriteProbe &probe = probeWritable);

} // namespace SettingsCheck
