// The station without a window refuses a start it cannot run, on one line, and leaves the folder free.

#include "core/station/HeadlessStation.h"
#include "core/config/SettingsCheck.h"
#include "core/config/SettingsStore.h"
#include "core/station/StationLock.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(HeadlessStationTest, RefusesSettingsItCannotRunWithOnOneLineAndFreesTheFolder) {
    const QString before = QDir::currentPath();
    QTemporaryDir dir;
    const QString folder = dir.path();
    QStringList lines;
    const auto startOnce = [&] {
        HeadlessStation station([&lines](const QString &line) { lines << line; });
        const bool started = station.start(folder);
        QDir::setCurrent(before);
        return started;
    };

    EXPECT_FALSE(startOnce());
    EXPECT_EQ(
        lines,
        QStringList{QStringLiteral(
                        "没有软件设置文件 %1/Berlvantis.ini：请先在窗口中完成软件设置，或按说明写好该文件。")
                        .arg(QDir::toNativeSeparators(folder))});
    EXPECT_EQ(StationLock::holderOf(folder).state, StationLock::Holder::State::Free);

    SettingsRecord settings;
    for (const char *name : {"transit", "done", "records"}) {
        TestFiles::makeFolder(dir.filePath(QString::fromLatin1(name)));
    }
    settings.transitFolder = dir.filePath(QStringLiteral("transit/"));
    settings.uploadFolder = dir.filePath(QStringLiteral("upload/"));
    settings.completionFolder = dir.filePath(QStringLiteral("done/"));
    settings.recordFolder = dir.filePath(QStringLiteral("records/"));
    settings.isolatorAddress = QStringLiteral("127.0.0.1");
    settings.isolatorPort = QStringLiteral("9400");
    SettingsStore(dir.filePath(QStringLiteral("Berlvantis.ini"))).save(settings);
    lines.clear();
    EXPECT_FALSE(startOnce());
    EXPECT_EQ(lines, QStringList{
                         QStringLiteral("软件设置有误：%1“%2”不存在。")
                             .arg(SettingsCheck::label(SettingsField::UploadFolder), settings.uploadFolder)});
    EXPECT_EQ(StationLock::holderOf(folder).state, StationLock::Holder::State::Free);

    // A reason of several lines, or with control characters, never breaks the output's one line per event.
    EXPECT_EQ(HeadlessStation::oneLine(QStringLiteral("无法连接\r\n第二行\n第三行\x1b[2J")),
              QStringLiteral("无法连接；第二行；第三行\\x1b[2J"));
}

} // namespace
