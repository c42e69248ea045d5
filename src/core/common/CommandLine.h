#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>

class QCommandLineParser;

// What the station and its tools share on their command lines: the version, the wording of a
// command line that cannot be read, and how text reaches the terminal.
namespace CommandLine {

// The version of the station and its tools (the project's version).
QString version();

// "<program> <version>", the answer to --version.
QString versionLine(const QString &program);

// Why parser could not read arguments (the arguments it was given, program name first): "unknown
// option '--x'", "--x needs a value", or the parser's own words.
QString problem(const QCommandLineParser &parser, const QStringList &arguments);

// Writes text to stream at once, in the system's 8-bit encoding (UTF-8 on Linux, the ANSI code page
// on Windows), so that it reaches a pipe whole even when the program ends abruptly afterwards.
void print(std::FILE *stream, const QString &text);

// How a program answers a command line it cannot read, on standard error.
enum class UsageErrorForm {
    TryHelp,         // "<name>: <problem>", then "Try '<name> --help'."
    ProblemAndUsage, // "<name>: <problem>", a blank line, the usage text
    UsageAndProblem, // the usage text, a blank line, "<name>: <problem>" (without a problem, the usage alone)
};

// One of the station's programs, as its command line presents it. Each answers --help, --version and
// a command line it cannot read through here, with the exit codes scripts have always seen.
struct Program {
    QString name; // as it names itself: "brelvantis-send"
    QString usage;
    int usageExitCode = 2; // of a command line it cannot read
    UsageErrorForm usageErrorForm = UsageErrorForm::TryHelp;

    // Prints the usage on standard output; returns the exit code, 0.
    int showHelp() const;
    // Prints "<name> <version>" on standard output; returns the exit code, 0.
    int showVersion() const;
    // Prints why in the program's form on standard error; returns usageExitCode.
    int usageError(const QString &why) const;
};

} // namespace CommandLine
