#pragma once

#include "core/config/SettingsRecord.h"

#include <QList>
#include <QString>

// What the settings dialog's OK checks before it saves, each setting as its SettingCheck in kSettings
// says: every required field filled, the isolator address a dotted IPv4 address, the port 1 to 65535,
// the bandwidth limit a number of KB/s, and the four folders apart (no two the same, none inside
// another). Folders that do not exist yet are the dialog's to offer to create.
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

} // namespace SettingsCheck
