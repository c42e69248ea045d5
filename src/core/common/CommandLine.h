#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// What the station and its tools share on their command lines: the version and the wording of a
// command line that cannot be read.
namespace CommandLine {

// The version of the station and its tools (the project's version).
QString version();

// "<program> <version>", the answer to --version.
QString versionLine(const QString &program);

// Why parser could not read arguments (the arguments it was given, program name first): "unknown
// option '--x'", "--x needs a value", or the parser's own words.
QString problem(const QCommandLineParser &parser, const QStringList &arguments);

} // namespace CommandLine
