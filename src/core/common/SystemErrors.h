#pragma once

#include <QString>

// The operator's words for an operating-system error code (errno): the texts of Qt and of the C
// library are English, and never reach the operator.
QString systemErrorText(int code);
