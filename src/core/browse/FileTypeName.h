#pragma once

#include <QString>

// The type name shown beside a file in the file list ("TEXT File", "PDF File", "FINAL.PDF File" …).
// The extension starts at the first dot, so a name with several dots is named by everything after it.
QString getFileTypeName(const QString &fileName);

// Upper-cases the ASCII letters a-z only; every other character stays as it is.
QString asciiUpper(const QString &text);
