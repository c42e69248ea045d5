#include "IsolatorCommandLine.h"

#include "core/common/CommandLine.h"
#include "core/transfer/Socket.h"

#include <QCommandLineParser>

#include <cmath>
#include <limits>

namespace {

bool readListen(const QString &text, IsolatorOptions *options) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) {
        return false;
    }
    const QByteArray address = text.left(colon).toLatin1();
    std::uint32_t ip = 0;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port > 65535 || !parseIpv4(address, &ip)) {
        return false;
    }
    options->listenAddress = address;
    options->listenPort = static_cast<quint16>(port);
    return true;
}

bool readCount(const QString &text, qint64 low, qint64 high, qint64 *value) {
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok || number < low || number > high) {
        return false;
    }
    *value = number;
    return true;
}

} // namespace

IsolatorCommandLine::Result IsolatorCommandLine::parse(const QStringList &args, IsolatorOptions *options,
                                                       QString *error) {
    auto bad = [error](const QString &why) {
        *error = why;
        return Result::Error;
    };
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption discard(QStringLiteral("discard"));
    const QCommandLineOption closeBeforeAck(QStringLiteral("close-before-ack"));
    const QCommandLineOption neverAnswer(QStringLiteral("never-answer"));
    parser.addOptions({discard, closeBeforeAck, neverAnswer});
    const auto valueOption = [&parser](const char *name) {
        const QCommandLineOption option(QLatin1String(name), QString(), QStringLiteral("VALUE"));
        parser.addOption(option);
        return option;
    };
    const QCommandLineOption listen = valueOption("listen");
    const QCommandLineOption root = valueOption("root");
    const QCommandLineOption timeout = valueOption("timeout");
    const QCommandLineOption dataAllowance = valueOption("data-allowance");
    const QCommandLineOption minRate = valueOption("min-rate");
    const QCommandLineOption maxConnections = valueOption("max-connections");
    const QCommandLineOption grace = valueOption("grace");
    const QCommandLineOption maxSize = valueOption("max-size");
    const QCommandLineOption ackPieces = valueOption("ack-pieces");
    const QCommandLineOption ackPause = valueOption("ack-pause");
    const QCommandLineOption cutAfterBlocks = valueOption("cut-after-blocks");

    const QStringList arguments = QStringList{QStringLiteral("brelvantis-isolator")} + args;
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        return Result::Help;
    }
    if (!parsed) {
        return bad(CommandLine::problem(parser, arguments));
    }
    if (parser.isSet(version)) {
        return Result::Version;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return bad(QStringLiteral("unknown argument %1").arg(parser.positionalArguments().first()));
    }
    options->discard = parser.isSet(discard);
    options->closeBeforeAck = parser.isSet(closeBeforeAck);
    options->neverAnswer = parser.isSet(neverAnswer);
    qint64 number = 0;
    if (parser.isSet(listen) && !readListen(parser.value(listen), options)) {
        return bad(QStringLiteral("--listen wants a numeric IPv4 address and a port, like 127.0.0.1:9400"));
    }
    if (parser.isSet(root)) {
        options->root = parser.value(root);
    }
    if (parser.isSet(timeout)) {
        bool ok = false;
        const double seconds = parser.value(timeout).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0.001 || seconds > 86400) {
            return bad(QStringLiteral("--timeout wants seconds between 0.001 and 86400"));
        }
        options->timeout = std::chrono::milliseconds(static_cast<qint64>(std::llround(seconds * 1000)));
    }
    if (parser.isSet(dataAllowance)) {
        bool ok = false;
        const double seconds = parser.value(dataAllowance).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400) {
            return bad(QStringLiteral("--data-allowance wants seconds between 0 and 86400"));
        }
        options->dataAllowance = std::chrono::milliseconds(static_cast<qint64>(std::llround(seconds * 1000)));
    }
    if (parser.isSet(minRate)) {
        bool ok = false;
        options->minRate = parser.value(minRate).toULongLong(&ok);
        if (!ok) {
            return bad(QStringLiteral("--min-rate wants bytes per second (0: no minimum)"));
        }
    }
    if (parser.isSet(maxConnections)) {
        if (!readCount(parser.value(maxConnections), 1, 4096, &number)) {
            return bad(QStringLiteral("--max-connections wants a number from 1 to 4096"));
        }
        options->maxConnections = static_cast<int>(number);
    }
    if (parser.isSet(grace)) {
        bool ok = false;
        const double seconds = parser.value(grace).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400) {
            return bad(QStringLiteral("--grace wants seconds between 0 and 86400"));
        }
        options->evictionGrace = std::chrono::milliseconds(static_cast<qint64>(std::llround(seconds * 1000)));
    }
    if (parser.isSet(maxSize)) {
        bool ok = false;
        options->maxSize = parser.value(maxSize).toULongLong(&ok);
        if (!ok) {
            return bad(QStringLiteral("--max-size wants a number of bytes (0: no limit)"));
        }
    }
    if (parser.isSet(ackPieces)) {
        if (!readCount(parser.value(ackPieces), 1, 4096, &number)) {
            return bad(QStringLiteral("--ack-pieces wants a number from 1 to 4096"));
        }
        options->ackPieces = static_cast<int>(number);
    }
    if (parser.isSet(ackPause)) {
        if (!readCount(parser.value(ackPause), 0, 60000, &number)) {
            return bad(QStringLiteral("--ack-pause wants milliseconds from 0 to 60000"));
        }
        options->ackPiecePause = std::chrono::milliseconds(number);
    }
    if (parser.isSet(cutAfterBlocks)) {
        if (!readCount(parser.value(cutAfterBlocks), 0, std::numeric_limits<qint64>::max(), &number)) {
            return bad(QStringLiteral("--cut-after-blocks wants a number of blocks"));
        }
        options->cutAfterBlocks = number;
    }
    if (options->root.isEmpty() && !options->discard) {
        return bad(QStringLiteral("--root is needed (or --discard)"));
    }
    if (options->closeBeforeAck && options->neverAnswer) {
        return bad(QStringLiteral("--close-before-ack and --never-answer exclude each other"));
    }
    return Result::Run;
}

QString IsolatorCommandLine::usage() {
    return QStringLiteral(
        "Usage: brelvantis-isolator --root DIR [options]\n"
        "       brelvantis-isolator --help | --version\n"
        "\n"
        "A receiving isolator peer for demos and tests. Each connection sends a 4096-byte header block\n"
        "(size, file name, inner address, inner path); the peer answers with a 4096-byte acknowledgement,\n"
        "reads the data blocks and stores the file as DIR/<address>/<path>/<name>, where ':' in the\n"
        "address becomes '_' (an empty address becomes '_'), a drive letter \"d:\" becomes the folder "
        "\"d\",\n"
        "'/' and '\\' separate folders and empty segments are dropped. A file appears only once all of it\n"
        "has arrived; unsafe names and paths are refused. A file never replaces another: when its name is\n"
        "taken in its folder (or a file of that name is still arriving) it is stored as \"name (2).ext\",\n"
        "\"name (3).ext\" ... (\".profile\" becomes \".profile (2)\"). Nothing is written through a "
        "symbolic\n"
        "link below DIR: a link where a folder should be refuses the file. One line per connection goes to\n"
        "stdout.\n"
        "\n"
        "  --listen IP:PORT        address to listen on (default 127.0.0.1:9400; port 0 picks a free one)\n"
        "  --root DIR              folder to store into (created when missing)\n"
        "  --timeout SECONDS       bound of every wait on a connection (default 30)\n"
        "  --min-rate BYTES        slowest data rate a transfer may keep, in bytes per second (default\n"
        "                          16384; 0: none). Byte k of a file must arrive within the allowance\n"
        "                          plus k / BYTES seconds of the acknowledgement, the whole file within\n"
        "                          the allowance plus size / BYTES: a slower sender is cut off\n"
        "  --data-allowance SECONDS  the allowance of --min-rate (default 60)\n"
        "  --max-connections N     connections served at once (default 16). When all are taken, up to N\n"
        "                          more wait in line, and for each the slowest connection (fewest bytes\n"
        "                          per second) served longer than --grace is closed to make room; a\n"
        "                          newcomer beyond the line is closed at once\n"
        "  --grace SECONDS         how long a connection is served before it may be made to give way\n"
        "                          (default 2)\n"
        "  --max-size BYTES        refuse larger files (default 0: no limit but the free space)\n"
        "  --discard               read every file but store nothing (no --root needed)\n"
        "\n"
        "Misbehaviour on purpose, for tests:\n"
        "  --close-before-ack      read the header, then close without an acknowledgement\n"
        "  --ack-pieces N          send the acknowledgement in N pieces\n"
        "  --ack-pause MS          pause between those pieces (default 20)\n"
        "  --never-answer          read the header, then send nothing until the sender gives up\n"
        "  --cut-after-blocks K    close the connection after K data blocks (nothing is stored)\n"
        "\n"
        "SIGINT or SIGTERM stop the peer; transfers in progress are dropped.\n");
}
