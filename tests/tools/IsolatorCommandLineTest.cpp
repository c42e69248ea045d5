// The isolator peer's options.

#include "IsolatorCommandLine.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

IsolatorCommandLine::Result parse(const QStringList &args, IsolatorOptions *options,
                                  QString *error = nullptr) {
    QString ignored;
    return IsolatorCommandLine::parse(args, options, error ? error : &ignored);
}

TEST(IsolatorCommandLine, ReadsEveryOptionAndDefaultsToLoopback) {
    IsolatorOptions options;
    ASSERT_EQ(parse(QStringLiteral("--listen 0.0.0.0:0 --root /srv/in --timeout 0.25 --max-connections 3 "
                                   "--grace 0.5 --max-size 1000 --ack-pieces 11 --ack-pause 5 "
                                   "--cut-after-blocks 0 --min-rate 512 --data-allowance 1.5")
                        .split(u' '),
                    &options),
              IsolatorCommandLine::Result::Run);
    EXPECT_EQ(options.listenAddress, QByteArray("0.0.0.0"));
    EXPECT_EQ(options.listenPort, 0);
    EXPECT_EQ(options.root, QStringLiteral("/srv/in"));
    EXPECT_EQ(options.timeout, 250ms);
    EXPECT_EQ(options.maxConnections, 3);
    EXPECT_EQ(options.evictionGrace, 500ms);
    EXPECT_EQ(options.maxSize, 1000u);
    EXPECT_EQ(options.ackPieces, 11);
    EXPECT_EQ(options.ackPiecePause, 5ms);
    EXPECT_EQ(options.cutAfterBlocks, 0);
    EXPECT_EQ(options.minRate, 512u);
    EXPECT_EQ(options.dataAllowance, 1500ms);

    IsolatorOptions defaults;
    ASSERT_EQ(parse({"--root", "r"}, &defaults), IsolatorCommandLine::Result::Run);
    EXPECT_EQ(defaults.listenAddress, QByteArray("127.0.0.1"));
    EXPECT_EQ(defaults.timeout, 30s);
}

TEST(IsolatorCommandLine, RefusesBadValues) {
    const QList<QStringList> bad = {
        {},                                         // no root
        {"--root", "r", "--listen", "localhost:1"}, // names are not resolved
        {"--root", "r", "--listen", "127.0.0.1:70000"},
        {"--root", "r", "--listen", "127.0.0.1"},
        {"--root", "r", "--timeout", "0"},
        {"--root", "r", "--timeout", "nan"},
        {"--root", "r", "--ack-pieces", "0"},
        {"--root", "r", "--min-rate", "-5"},
        {"--root", "r", "--data-allowance", "-1"},
        {"--root", "r", "--grace", "-1"},
        {"--root", "r", "--cut-after-blocks", "-1"},
        {"--root", "r", "--close-before-ack", "--never-answer"},
        {"--root", "r", "--bogus"},
        {"--root"},
    };
    for (const QStringList &args : bad) {
        IsolatorOptions options;
        QString error;
        EXPECT_EQ(parse(args, &options, &error), IsolatorCommandLine::Result::Error)
            << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

} // namespace
