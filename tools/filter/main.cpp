// brelvantis-filter: writes and shows the scrambled file-type filter file of the working directory.

#include "core/common/CommandLine.h"
#include "core/common/Cp936.h"
#include "core/config/FileTypeFilter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStringList>

namespace {

using CommandLine::print;

const QString kFileName = QStringLiteral("Brelvantis.filter");

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

const char *const kUsage =
    "Usage:\n"
    "  brelvantis-filter write LIST   write Brelvantis.filter in the working directory\n"
    "  brelvantis-filter show         print the list of Brelvantis.filter in the working directory\n"
    "  brelvantis-filter --help       print this text\n"
    "  brelvantis-filter --version    print the version\n"
    "\n"
    "LIST is a run of file-name extensions, each without its dot and followed by ':',\n"
    "for example \"txt:doc:pdf:\". Text after the last ':' is no entry; an empty entry (\"::\")\n"
    "permits names that end with a dot. The station compares in lower case (A to Z only).\n";

int fail(const QString &message) {
    print(stderr, QStringLiteral("brelvantis-filter: %1\n").arg(message));
    return kFailure;
}

int writeFilter(const QString &list) {
    using Outcome = FileTypeFilter::WriteResult::Outcome;
    const FileTypeFilter::WriteResult written = FileTypeFilter(kFileName).write(list);
    switch (written.outcome) {
    case Outcome::NoCodePage936Form:
        return fail(
            QStringLiteral("the list holds characters that have no code page 936 form; nothing written"));
    case Outcome::HoldsZeroByte:
        return fail(QStringLiteral("the list holds a zero byte, which would end it early; nothing written"));
    case Outcome::TooLong:
        return fail(QStringLiteral("the list takes %1 bytes, but the station reads only the first %2; "
                                   "nothing written")
                        .arg(written.storedBytes)
                        .arg(FileTypeFilter::kReadLimit));
    case Outcome::CannotWrite:
        return fail(
            QStringLiteral("cannot write %1: %2").arg(QDir::current().filePath(kFileName), written.error));
    case Outcome::Written:
        break;
    }
    const qsizetype entries = list.count(u':');
    print(stdout, QStringLiteral("wrote %1 (%2 entries, %3 bytes)\n")
                      .arg(QDir::current().filePath(kFileName))
                      .arg(entries)
                      .arg(written.storedBytes));
    if (!list.isEmpty() && !list.endsWith(u':')) {
        print(stderr, QStringLiteral("brelvantis-filter: note: \"%1\" after the last ':' is no entry\n")
                          .arg(list.mid(list.lastIndexOf(u':') + 1)));
    }
    return 0;
}

int showFilter() {
    FileTypeFilter filter(QDir::current().filePath(kFileName));
    Failure failure;
    if (!filter.load(&failure)) {
        return fail(failure.sentence());
    }
    print(stdout, filter.text() + u'\n');
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Cp936::requireAvailable();

    const CommandLine::Program program{QStringLiteral("brelvantis-filter"), QString::fromUtf8(kUsage),
                                       kUsageError, CommandLine::UsageErrorForm::ProblemAndUsage};
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // After the command everything is its argument: a LIST may begin with '-'.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(app.arguments())) {
        return program.usageError(CommandLine::problem(parser, app.arguments()));
    }
    const QStringList args = parser.positionalArguments();
    if (parser.isSet(help)) {
        return program.showHelp();
    }
    if (parser.isSet(version)) {
        return program.showVersion();
    }
    if (args.isEmpty()) {
        return program.usageError(QStringLiteral("no command given"));
    }
    if (args[0] == u"write") {
        return args.size() == 2 ? writeFilter(args[1])
                                : program.usageError(QStringLiteral("write takes one LIST"));
    }
    if (args[0] == u"show") {
        return args.size() == 1 ? showFilter()
                                : program.usageError(QStringLiteral("show takes no arguments"));
    }
    return program.usageError(QStringLiteral("unknown command \"%1\"").arg(args[0]));
}
