// brelvantis-send: sends one file to an isolator with the station's own transfer worker, to check
// the link to an isolator (or to a brelvantis-isolator peer) without the station's window.

#include "core/common/CommandLine.h"
#include "core/common/Cp936.h"
#include "core/transfer/HeaderBlock.h"
#include "core/transfer/Socket.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>

namespace {

using CommandLine::print;

constexpr int kUsageError = 64;

const char *const kUsage =
    "Usage:\n"
    "  brelvantis-send [--no-hash] --isolator IP:PORT --destination 'ADDRESS||PATH' FILE\n"
    "  brelvantis-send --help | --version\n"
    "\n"
    "Sends FILE to the isolator at IP:PORT (numeric IPv4) as the station does, announcing it for\n"
    "the inner address ADDRESS (may be empty) and the inner path PATH. Prints the result code\n"
    "with its meaning, the throughput and the SHA-256 of what was sent (--no-hash: no hashing, to\n"
    "see the wire's speed alone).\n"
    "\n"
    "Exit status: 0 when the file was sent; otherwise the transfer's result code:\n"
    "  1 socket library, 2 socket creation, 3 connection, 4 header refused or not sent or\n"
    "  acknowledgement not received, 6 file not read or data not sent;\n"
    "  64 for bad arguments.\n";

// The exit code of each result, as scripts have always seen them.
int exitCode(TransferResult result) {
    switch (result) {
    case TransferResult::Success:
        return 0;
    case TransferResult::SocketLibrary:
        return 1;
    case TransferResult::SocketCreation:
        return 2;
    case TransferResult::Connect:
        return 3;
    case TransferResult::Header:
    case TransferResult::Unsendable:
    case TransferResult::Refused:
        return 4;
    case TransferResult::Data:
    case TransferResult::Stopped:
    case TransferResult::FileMissing:
    case TransferResult::NotSettled:
    case TransferResult::Changed:
    case TransferResult::Infected:
    case TransferResult::ScanFailed:
        return 6;
    }
    return 6;
}

struct Arguments {
    QString isolatorAddress;
    QString isolatorPort;
    QString destination;
    QString file;
    bool help = false;
    bool version = false;
    bool noHash = false;
};

// Empty when the arguments are good, otherwise what is wrong with them.
QString parseArguments(const QStringList &arguments, Arguments *parsed) {
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption noHash(QStringLiteral("no-hash"));
    const QCommandLineOption isolator(QStringLiteral("isolator"), QString(), QStringLiteral("IP:PORT"));
    const QCommandLineOption destination(QStringLiteral("destination"), QString(),
                                         QStringLiteral("ADDRESS||PATH"));
    parser.addOptions({noHash, isolator, destination});
    const bool good = parser.parse(arguments);
    if (parser.isSet(help)) {
        parsed->help = true;
        return QString();
    }
    if (!good) {
        return CommandLine::problem(parser, arguments);
    }
    if (parser.isSet(version)) {
        parsed->version = true;
        return QString();
    }
    parsed->noHash = parser.isSet(noHash);
    if (!parser.isSet(isolator)) {
        return QStringLiteral("--isolator IP:PORT is missing");
    }
    const QString value = parser.value(isolator);
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    const QString ip = value.left(colon);
    const QString port = value.mid(colon + 1);
    std::uint32_t unused = 0;
    bool portOk = false;
    const uint portNumber = port.toUInt(&portOk);
    if (colon < 0 || !parseIpv4(ip.toLatin1(), &unused)) {
        return QStringLiteral("--isolator wants a numeric IPv4 address and a port, "
                              "like 192.168.1.100:5000, not '%1'")
            .arg(value);
    }
    if (!portOk || portNumber < 1 || portNumber > 65535 || port.startsWith(QLatin1Char('+'))) {
        return QStringLiteral("the port of --isolator must be a number from 1 to 65535, not '%1'").arg(port);
    }
    parsed->isolatorAddress = ip;
    parsed->isolatorPort = port;
    if (!parser.isSet(destination)) {
        return QStringLiteral("--destination 'ADDRESS||PATH' is missing");
    }
    parsed->destination = parser.value(destination);
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        return QStringLiteral("give exactly one FILE (got %1)").arg(files.size());
    }
    parsed->file = files.first();
    if (!QFileInfo(parsed->file).isFile()) {
        return QStringLiteral("'%1' is not a file").arg(parsed->file);
    }
    return QString();
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Cp936::requireAvailable();

    const CommandLine::Program program{QStringLiteral("brelvantis-send"), QString::fromUtf8(kUsage),
                                       kUsageError};
    Arguments arguments;
    const QString problem = parseArguments(QCoreApplication::arguments(), &arguments);
    if (arguments.help) {
        return program.showHelp();
    }
    if (arguments.version) {
        return program.showVersion();
    }
    if (!problem.isEmpty()) {
        return program.usageError(problem);
    }

    const QFileInfo file(arguments.file);
    const QString folder = file.absolutePath();
    const QString name = file.fileName();
    print(stdout, QStringLiteral("sending %1 (%2 bytes) to %3:%4, destination %5\n")
                      .arg(file.absoluteFilePath())
                      .arg(file.size())
                      .arg(arguments.isolatorAddress, arguments.isolatorPort, arguments.destination));

    TransferJob job;
    job.settleTime = {}; // sent when asked; a file another program writes is still refused
    job.hashing = !arguments.noHash;
    TransferWorker worker(job);
    QElapsedTimer clock;
    clock.start();
    if (!worker.start(folder, name, arguments.destination, arguments.isolatorAddress,
                      arguments.isolatorPort)) {
        print(stderr, QStringLiteral("brelvantis-send: the transfer worker could not be started\n"));
        return exitCode(TransferResult::SocketLibrary);
    }
    // Every wait of the worker is bounded, so this ends.
    while (!worker.wait(std::chrono::seconds(1))) {
    }
    const double seconds = qMax<qint64>(clock.nsecsElapsed(), 1) / 1e9;
    const TransferOutcome outcome =
        worker.lastOutcome().value_or(TransferOutcome::failure(TransferResult::SocketLibrary, QString()));
    const TransferResult result = outcome.result;

    print(stdout, QStringLiteral("result %1: %2\n").arg(exitCode(result)).arg(describe(result)));
    QString why;
    if (result == TransferResult::Unsendable &&
        !HeaderBlock::forTransfer(name, arguments.destination, &why)) {
        print(stdout, QStringLiteral("refused before connecting: %1\n").arg(why));
    }
    const quint64 bytes = outcome.succeeded() ? job.fileSize.load() : job.bytesSent.load();
    if (outcome.succeeded() && !outcome.sha256.isEmpty()) {
        print(stdout, QStringLiteral("sha256 %1\n").arg(outcome.sha256));
    }
    print(stdout, QStringLiteral("%1 bytes in %2 s: %3 MB/s\n")
                      .arg(bytes)
                      .arg(seconds, 0, 'f', 3)
                      .arg(double(bytes) / 1e6 / seconds, 0, 'f', 2));
    return exitCode(result);
}
