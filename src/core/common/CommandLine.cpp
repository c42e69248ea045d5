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

} // namespace CommandLine
