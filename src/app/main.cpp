#include "app/CBrelvantisApp.h"
#include "core/common/CommandLine.h"
#include "core/common/Cp936.h"
#include "core/station/HeadlessStation.h"
#include "core/station/StopSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>

namespace {

const char kUsage[] =
    "Usage: brelvantis [--workdir DIR]\n"
    "       brelvantis --headless [--workdir DIR]\n"
    "       brelvantis --help | --version\n"
    "\n"
    "The Brelvantis upload station: sends the files of a transit folder to the network isolator and\n"
    "records every status in a daily .xls log.\n"
    "\n"
    "  --workdir DIR   run in DIR, the folder of Berlvantis.ini, Brelvantis.path and\n"
    "                  Brelvantis.filter (created when missing)\n"
    "  --headless      run without a window or a display, as a service: send what the automatic\n"
    "                  subfolders queue, from the start, and write one line per event to standard\n"
    "                  error. SIGTERM or SIGINT stops it cleanly (a running transfer gets 5 s, a\n"
    "                  second signal ends it at once); SIGHUP reads the settings again. Exit code 0\n"
    "                  after a stop, 1 when it cannot start (no usable settings, folder in use)\n"
    "  -h, --help      print this text\n"
    "  -v, --version   print the version\n"
    "\n"
    "Without --workdir the station runs in the current folder when it holds Berlvantis.ini, otherwise\n"
    "in brelvantis/ under the user's data home ($XDG_DATA_HOME, by default ~/.local/share), made on\n"
    "the first start. One copy runs per user session; a second start ends at once. One station runs\n"
    "per working folder: a start in a folder another station holds (station.lock) is refused, naming\n"
    "it. The station says what it does in station-status.json there (see brelvantis-status).\n";

// Options Qt's application object takes for itself (it removes them before we read the rest).
bool isQtOption(const QString &name) {
    static const QStringList names =
        QStringLiteral("platform platformpluginpath platformtheme plugin qwindowgeometry qwindowtitle "
                       "qwindowicon reverse session style stylesheet widgetcount display geometry title name "
                       "visual ncols cmap nograb dograb sync qmljsdebugger fontengine")
            .split(u' ');
    return names.contains(name.section(u'=', 0, 0));
}

// The station without a window: no display is opened, so it runs where there is none.
int runHeadless(int &argc, char **argv, const QString &workdir) {
    QCoreApplication app(argc, argv);
    Cp936::requireAvailable();
    HeadlessStation station;
    // Taken before the start, so a stop asked for meanwhile waits in the pipe for the loop.
    StopSignals requests;
    QString error;
    if (!requests.install(&error)) {
        CommandLine::print(stderr, error + u'\n');
        return 1;
    }
    QObject::connect(&requests, &StopSignals::requested, &station, [&station](StopSignals::Request request) {
        if (request == StopSignals::Request::Reload) {
            station.reload();
        } else {
            station.stop();
        }
    });
    QObject::connect(&station, &HeadlessStation::finished, &app,
                     [](int code) { QCoreApplication::exit(code); });
    if (!station.start(workdir)) {
        return 1;
    }
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv) {
    const CommandLine::Program program{QStringLiteral("brelvantis"), QString::fromUtf8(kUsage)};
    QCommandLineParser parser;
    // Single-dash words are whole options, like Qt's own -platform and -style.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption workdir(QStringLiteral("workdir"), QString(), QStringLiteral("DIR"));
    parser.addOption(workdir);
    const QCommandLineOption headless(QStringLiteral("headless"));
    parser.addOption(headless);

    // --help and --version answer before the display is opened, so they work without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        return program.showHelp();
    }
    if (parser.isSet(version)) {
        return program.showVersion();
    }

    // Without a window Qt takes no options of its own: every word must be ours.
    if (parser.isSet(headless)) {
        if (!parsed) {
            return program.usageError(CommandLine::problem(parser, arguments));
        }
        if (!parser.positionalArguments().isEmpty()) {
            return program.usageError(
                QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
        }
        return runHeadless(argc, argv, parser.value(workdir));
    }

    // An option neither ours nor Qt's is refused before the display is opened, too.
    if (!parsed &&
        !std::all_of(parser.unknownOptionNames().cbegin(), parser.unknownOptionNames().cend(), isQtOption)) {
        return program.usageError(CommandLine::problem(parser, arguments));
    }
    // Without any of Qt's options every word left is a stray argument: refused without a display too.
    if (parsed && !parser.positionalArguments().isEmpty()) {
        return program.usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    }

    CBrelvantisApp app(argc, argv);
    // Qt has taken its own options (-platform, -style ...) away: what is left must be ours.
    if (!parser.parse(app.arguments())) {
        return program.usageError(CommandLine::problem(parser, app.arguments()));
    }
    if (!parser.positionalArguments().isEmpty()) {
        return program.usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    }
    switch (app.initInstance(parser.value(workdir))) {
    case CBrelvantisApp::Start::Running:
        return app.exec();
    case CBrelvantisApp::Start::AnotherCopyRuns:
        return 0; // end silently
    case CBrelvantisApp::Start::NoWorkFolder:
    case CBrelvantisApp::Start::FolderInUse:
        return 1;
    }
    return 1;
}
