// Every program answers --help and --version, and refuses an unknown option in its own words with its
// usage exit code.

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct Program {
    const char *name;
    const char *helpSays; // a line of its --help
    int usageExitCode;    // exit code of a command line it cannot read
    const char *refusal;  // what it then writes on standard error: %1 its name, %2 why, %3 its --help
};

const Program kPrograms[] = {
    {"brelvantis", "--workdir DIR", 2, "%1: %2\nTry '%1 --help'.\n"},
    {"brelvantis-isolator", "--root DIR", 2, "%1: %2\n\n%3"},
    {"brelvantis-send", "--isolator IP:PORT", 64, "%1: %2\nTry '%1 --help'.\n"},
    {"brelvantis-filter", "brelvantis-filter write LIST", 2, "%1: %2\n\n%3"},
    {"brelvantis-log", "brelvantis-log show FILE", 2, "%3\n%1: %2\n"},
    {"brelvantis-status", "--workdir DIR", 64, "%1: %2\nTry '%1 --help'.\n"},
};

struct Answer {
    int exitCode = -1;
    QString out;
    QString err;
};

Answer run(const char *program, const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral(BRELVANTIS_BIN_DIR "/") + QLatin1String(program), arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << program;
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << program;
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(VersionAndHelp, EveryProgramAnswersAndRefusesUnknownOptions) {
    for (const Program &program : kPrograms) {
        SCOPED_TRACE(program.name);
        for (const char *version : {"--version", "-v"}) {
            const Answer answer = run(program.name, {QLatin1String(version)});
            EXPECT_EQ(answer.exitCode, 0);
            EXPECT_EQ(answer.out, QStringLiteral("%1 %2\n").arg(QLatin1String(program.name),
                                                                QStringLiteral(BRELVANTIS_PROJECT_VERSION)));
        }
        QString usage;
        for (const char *help : {"--help", "-h"}) {
            const Answer answer = run(program.name, {QLatin1String(help)});
            EXPECT_EQ(answer.exitCode, 0);
            EXPECT_TRUE(answer.out.contains(QLatin1String(program.helpSays))) << answer.out.toStdString();
            usage = answer.out;
        }
        const Answer refused = run(program.name, {QStringLiteral("--no-such-option")});
        EXPECT_EQ(refused.exitCode, program.usageExitCode);
        EXPECT_TRUE(refused.out.isEmpty()) << refused.out.toStdString();
        EXPECT_EQ(refused.err, QString::fromUtf8(program.refusal)
                                   .arg(QLatin1String(program.name),
                                        QStringLiteral("unknown option '--no-such-option'"), usage));
    }
}

TEST(VersionAndHelp, TheStationRefusesAStrayArgumentWithoutADisplay) {
    QProcess station;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        environment.remove(QLatin1String(name));
    }
    station.setProcessEnvironment(environment);
    station.start(QStringLiteral(BRELVANTIS_BIN_DIR "/brelvantis"), {QStringLiteral("stray")});
    ASSERT_TRUE(station.waitForFinished(60000));
    EXPECT_EQ(station.exitStatus(), QProcess::NormalExit) << "no abort for want of a display";
    EXPECT_EQ(station.exitCode(), 2);
    EXPECT_EQ(QString::fromUtf8(station.readAllStandardError()),
              QStringLiteral("brelvantis: unexpected argument 'stray'\nTry 'brelvantis --help'.\n"));
}

TEST(VersionAndHelp, ValuesMayFollowAnEqualsSign) {
    const Answer refused =
        run("brelvantis-isolator", {QStringLiteral("--root=r"), QStringLiteral("--listen=nowhere")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--listen wants"))) << refused.err.toStdString();
}

} // namespace
