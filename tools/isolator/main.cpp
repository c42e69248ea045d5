// brelvantis-isolator: a receiving isolator peer for demos and tests.

#include "IsolatorCommandLine.h"
#include "IsolatorServer.h"
#include "core/common/CommandLine.h"
#include "core/common/Cp936.h"

#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {

std::atomic<bool> g_stopRequested{false};

extern "C" void onStopSignal(int) {
    g_stopRequested.store(true);
}

// Lines go out whole and at once, so a test or a demo reading the pipe sees each as it happens.
void printLine(std::FILE *stream, const QString &line) {
    CommandLine::print(stream, line + u'\n');
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    Cp936::requireAvailable();

    const CommandLine::Program program{QStringLiteral("brelvantis-isolator"),
                                       IsolatorCommandLine::usage() + u'\n', 2,
                                       CommandLine::UsageErrorForm::ProblemAndUsage};
    IsolatorOptions options;
    QString error;
    switch (IsolatorCommandLine::parse(app.arguments().mid(1), &options, &error)) {
    case IsolatorCommandLine::Result::Help:
        return program.showHelp();
    case IsolatorCommandLine::Result::Version:
        return program.showVersion();
    case IsolatorCommandLine::Result::Error:
        return program.usageError(error);
    case IsolatorCommandLine::Result::Run:
        break;
    }

    static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);

    IsolatorServer server(options,
                          [](const ConnectionReport &report) { printLine(stdout, report.logLine()); });
    if (!server.start(&error)) {
        printLine(stderr, QStringLiteral("brelvantis-isolator: %1").arg(error));
        return 1;
    }
    printLine(stdout, QStringLiteral("listening on %1").arg(server.listenText()));
    printLine(stdout, options.discard ? QStringLiteral("discarding every file")
                                      : QStringLiteral("storing under %1").arg(server.root()));

    while (!g_stopRequested.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    server.stop();
    printLine(stdout, QStringLiteral("stopped"));
    return 0;
}
