#pragma once

#include "IsolatorOptions.h"

#include <QString>
#include <QStringList>

// The options of brelvantis-isolator, read from its arguments.
class IsolatorCommandLine {
public:
    enum class Result { Run, Help, Version, Error };

    // Reads args (without the program name) into options; on Error, error says what is wrong.
    static Result parse(const QStringList &args, IsolatorOptions *options, QString *error);

    static QString usage();
};
