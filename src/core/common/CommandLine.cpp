#include "core/common/CommandLine.h"

#include <QCommandLineParser>

namespace CommandLine {

QString version() {
    return QStringLiteral(BRELVANTIS_VERSION);
}

QString versionLine(const QString &program) {
    return program + u' ' + version();
}

QString problem(const QCommandLineParser &parser, const QStringList &arguments) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.first();
        return QStringLiteral("unknown option '%1%2'")
            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    // The parser takes any next argument as an option's value, so only a last one can lack it.
    const QString last = arguments.size() > 1 ? arguments.last() : QString();
    if (last.startsWith(u'-') && !last.contains(u'=')) {
        return QStringLiteral("%1 needs a value").arg(last);
    }
    return parser.errorText();
}

void print(std::FILE *stream, const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

int Program::showHelp() const {
    print(stdout, usage);
    return 0;
}

int Program::showVersion() const {
    print(stdout, versionLine(name) + u'\n');
    return 0;
}

int Program::usageError(const QString &why) const {
    const QString line = QStringLiteral("%1: %2\n").arg(name, why);
    switch (usageErrorForm) {
    case UsageErrorForm::TryHelp:
        print(stderr, line + QStringLiteral("Try '%1 --help'.\n").arg(name));
        break;
    case UsageErrorForm::ProblemAndUsage:
        print(stderr, line + u'\n' + usage);
        break;
    case UsageErrorForm::UsageAndProblem:
        print(stderr, why.isEmpty() ? usage : usage + u'\n' + line);
        break;
    }
    return usageExitCode;
}

} // namespace CommandLine
