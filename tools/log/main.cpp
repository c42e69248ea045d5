// brelvantis-log: shows a day's record log (the sheet "Sheet1" of an Excel 97-2003 workbook) as
// tab-separated UTF-8 text, one line per row, so a log can be read or compared without a spreadsheet;
// and finds a file in the history of all days, as the station's history window does.
#include "core/common/CommandLine.h"
#include "core/config/SettingsStore.h"
#include "core/history/HistoryExport.h"
#include "core/history/HistoryIndex.h"
#include "core/station/WorkFolder.h"
#include "core/xls/Workbook.h"

#include <QDir>
#include <QFileInfo>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <limits>

namespace {

const char kUsage[] =
    "Usage: brelvantis-log show FILE\n"
    "       brelvantis-log find TEXT [--record-folder DIR | --workdir DIR] [--limit N]\n"
    "       brelvantis-log --help | --version\n"
    "\n"
    "show  prints the sheet \"Sheet1\" of the Excel 97-2003 workbook FILE as tab-separated UTF-8\n"
    "      lines, the first row first. Exits with 1 and the reason on standard error if FILE cannot\n"
    "      be read.\n"
    "find  prints the records of all days whose file name or destination contains TEXT, or whose\n"
    "      SHA-256 starts with it (ignoring case), newest first, every one of them, after a header\n"
    "      line: day, time, status, file name, destination, size, SHA-256. --limit N prints the\n"
    "      newest N only, and says on standard error when more match. The days are read from the\n"
    "      record folder (--record-folder, else the one in the settings of the station's working\n"
    "      folder, chosen as the station does, or --workdir) through the index beside them, which is\n"
    "      brought up to date first. Day files that cannot be read are named on standard error and\n"
    "      do not stop the search. Exits with 0 when something was found, 1 when nothing was, and 3\n"
    "      when there is no record folder or no index.\n"
    "\n"
    "Inside a cell a tab, carriage return and line break are written as \\t, \\r and \\n, a\n"
    "backslash as \\\\, and every other control character (U+0000 to U+001F, U+007F to U+009F) as\n"
    "\\xNN, its two hexadecimal digits. Exits with 2 on a wrong command line.\n";

// Keeps one cell on its line and in its column, and reversible; no control character reaches the
// terminal, where it could move the cursor or change what the lines around it show.
void appendEscaped(QString *line, const QString &cell) {
    for (QChar c : cell) {
        switch (c.unicode()) {
        case '\\':
            line->append(QLatin1String("\\\\"));
            break;
        case '\t':
            line->append(QLatin1String("\\t"));
            break;
        case '\r':
            line->append(QLatin1String("\\r"));
            break;
        case '\n':
            line->append(QLatin1String("\\n"));
            break;
        default:
            if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) {
                line->append(QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')));
            } else {
                line->append(c);
            }
        }
    }
}

bool writeLine(const QStringList &cells) {
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line.append(u'\t');
        }
        appendEscaped(&line, cells.at(i));
    }
    line.append(u'\n');
    const QByteArray out = line.toUtf8();
    return std::fwrite(out.constData(), 1, size_t(out.size()), stdout) == size_t(out.size());
}

void complain(const QString &text) {
    std::fprintf(stderr, "brelvantis-log: %s\n", text.toUtf8().constData());
}

// The record folder of the station whose working folder is chosen as the station chooses it.
QString stationRecordFolder(const QString &workdirOption, QString *error) {
    const WorkFolder::Choice work =
        WorkFolder::choose(workdirOption, QDir::currentPath(), WorkFolder::dataHome());
    const QString settingsPath = QDir(work.folder).filePath(QStringLiteral("Berlvantis.ini"));
    SettingsRecord settings;
    Failure unread;
    const bool loaded =
        QFileInfo::exists(settingsPath) && SettingsStore(settingsPath).load(settings, &unread);
    if (unread.failed()) {
        *error = unread.sentence();
        return QString();
    }
    if (!loaded || settings.recordFolder.isEmpty()) {
        *error = QStringLiteral("no record folder: %1 names none; give --record-folder DIR")
                     .arg(QDir::toNativeSeparators(settingsPath));
        return QString();
    }
    return settings.recordFolder;
}

// limit: the most records printed; 0 for all of them.
int find(const QString &text, const QString &recordFolder, int limit) {
    if (!QFileInfo(recordFolder).isDir()) {
        complain(QStringLiteral("记录目录不存在：%1").arg(QDir::toNativeSeparators(recordFolder)));
        return 3; // no record folder, as the usage says: not "nothing found"
    }
    HistoryIndex index;
    QString error;
    if (!index.open(recordFolder, &error)) {
        complain(error);
        return 3;
    }
    if (!index.storageProblem().isEmpty()) {
        complain(index.storageProblem());
    }
    if (!index.update({}, &error)) {
        complain(error);
        if (!index.halted()) {
            return 3;
        }
        error.clear();
    }
    // Day files that cannot be read are named; the search goes on without them.
    for (const History::Day &day : index.days(&error)) {
        for (const Failure &failure : {day.logFailure, day.journalFailure}) {
            if (failure.failed()) {
                complain(failure.sentence());
            }
        }
    }
    if (!error.isEmpty()) {
        complain(QStringLiteral("历史索引无法读取：") + error);
    }
    // The index looks for one more than it is asked for, to tell whether more match.
    const History::SearchResult result =
        index.search(text, limit > 0 ? limit : std::numeric_limits<int>::max() - 1);
    if (!result.error.isEmpty()) {
        complain(QStringLiteral("历史索引无法查找：") + result.error);
        return 3;
    }
    bool written = writeLine(HistoryExport::columnNames());
    for (const History::Entry &entry : result.entries) {
        written = written && writeLine(HistoryExport::cells(entry));
    }
    if (!written || std::fflush(stdout) != 0) {
        complain(QStringLiteral("cannot write to standard output"));
        return 3;
    }
    if (result.truncated) {
        complain(QStringLiteral("已达到 --limit %1，还有更多匹配未显示").arg(limit));
    }
    return result.entries.isEmpty() ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const CommandLine::Program program{QStringLiteral("brelvantis-log"), QString::fromUtf8(kUsage), 2,
                                       CommandLine::UsageErrorForm::UsageAndProblem};
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption recordFolder(QStringLiteral("record-folder"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption workdir(QStringLiteral("workdir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption limit(QStringLiteral("limit"), QString(), QStringLiteral("N"));
    parser.addOption(recordFolder);
    parser.addOption(workdir);
    parser.addOption(limit);
    const bool parsed = parser.parse(app.arguments());
    if (parser.isSet(help)) {
        return program.showHelp();
    }
    if (parsed && parser.isSet(version)) {
        return program.showVersion();
    }
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    const bool findsInFolder = parser.isSet(recordFolder) || parser.isSet(workdir);
    const bool valid =
        args.size() == 2 &&
        (command == QLatin1String("show")   ? !findsInFolder && !parser.isSet(limit)
         : command == QLatin1String("find") ? !(parser.isSet(recordFolder) && parser.isSet(workdir))
                                            : false);
    if (!parsed || !valid) {
        return program.usageError(parsed ? QString() : CommandLine::problem(parser, app.arguments()));
    }

    if (command == QLatin1String("find")) {
        int most = 0; // every match
        if (parser.isSet(limit)) {
            bool ok = false;
            most = parser.value(limit).toInt(&ok);
            if (!ok || most < 1) {
                return program.usageError(QStringLiteral("--limit takes a whole number of at least 1"));
            }
        }
        QString folder = parser.value(recordFolder);
        if (!parser.isSet(recordFolder)) {
            QString error;
            folder = stationRecordFolder(parser.value(workdir), &error);
            if (folder.isEmpty()) {
                complain(error);
                return 3;
            }
        }
        return find(args.at(1), folder, most);
    }

    // Each row goes out as soon as it has been read: the sheet is never held as a whole.
    const auto writeRow = [](const QStringList &row, QString *error) {
        if (!writeLine(row)) {
            *error = QStringLiteral("cannot write to standard output");
            return false;
        }
        return true;
    };
    QString error;
    if (!Xls::forEachRow(args.at(1), QStringLiteral("Sheet1"), writeRow, &error)) {
        std::fprintf(stderr, "brelvantis-log: %s\n", error.toUtf8().constData());
        return 1;
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("brelvantis-log: cannot write to standard output\n", stderr);
        return 1;
    }
    return 0;
}
