#pragma once

#include <QString>

// The operator's words for an operating-system error code (errno): the texts of Qt and of the C
// library are English, and never reach the operator.
QString systemErrorText(int code);

class QFileDevice;

// Why an operation on file failed, in the operator's words: the system's error code when there is
// one (pass errno as it was right after the failed call), else what kind of operation failed.
QString fileErrorText(const QFileDevice &file, int code);
