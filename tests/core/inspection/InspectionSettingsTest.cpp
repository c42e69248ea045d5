#include "core/inspection/InspectionSettings.h"
#include "core/config/SettingsStore.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

SettingsRecord folders() {
    SettingsRecord record;
    record.completionFolder = QStringLiteral("/srv/done/");
    record.uploadFolder = QStringLiteral("/srv/up/");
    record.transitFolder = QStringLiteral("/srv/transit/");
    return record;
}

TEST(InspectionSettings, LiveInASectionOfTheirOwnWrittenOnlyOnceSetAndAreOffWhenAbsent) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Berlvantis.ini"));
    const SettingsStore store(path);
    ASSERT_EQ(store.save(folders()).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_FALSE(TestFiles::read(path).contains("[Inspection]")) << "files stay as older copies wrote them";
    SettingsRecord record;
    ASSERT_TRUE(store.load(record));
    EXPECT_EQ(InspectionSettings::from(record), InspectionSettings());
    EXPECT_FALSE(InspectionSettings::from(record).anyOn());

    InspectionSettings wanted;
    wanted.checkContent = true;
    wanted.openArchives = true;
    wanted.scanner = InspectionSettings::Scanner::Clamd;
    wanted.clamd = ClamdEndpoint::tcp("127.0.0.1", 3310);
    wanted.applyTo(record);
    ASSERT_EQ(store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_TRUE(TestFiles::read(path).contains(
        "[Inspection]\r\nCheckContent=1\r\nOpenArchives=1\r\nScanner=clamd\r\nClamdAddress=127.0.0.1:3310"));
    SettingsRecord loaded;
    ASSERT_TRUE(store.load(loaded));
    EXPECT_EQ(InspectionSettings::from(loaded), wanted);
}

TEST(InspectionSettings, AMistypedValueNeverTurnsACheckOff) {
    struct Case {
        QString checkContent, scanner, socket, address;
        bool contentOn;
        QString endpoint; // where scans go; empty: nowhere, every scan fails with the problem
        QString problem;
    } cases[] = {
        {QStringLiteral(" 0 "),
         QStringLiteral("clamd"),
         {},
         {},
         false,
         QStringLiteral("/var/run/clamav/clamd.ctl"),
         {}},
        {QStringLiteral("yes"),
         {},
         {},
         {},
         true,
         {},
         QStringLiteral("CheckContent=yes 应为 1 或 0，已按 1 处理")},
        {{},
         QStringLiteral("ClamAV"),
         {},
         {},
         false,
         {},
         QStringLiteral("未知的扫描程序“ClamAV”（可用：clamd）")},
        {{},
         QStringLiteral("clamd"),
         QStringLiteral("/run/c.sock"),
         QStringLiteral("127.0.0.1:3310"),
         false,
         {},
         QStringLiteral("ClamdSocket 与 ClamdAddress 只能设置其中一个")},
        {{},
         QStringLiteral("clamd"),
         {},
         QStringLiteral("127.0.0.1:99999"),
         false,
         {},
         QStringLiteral("ClamdAddress“127.0.0.1:99999”不是“IPv4地址:端口”的形式")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.checkContent + c.scanner + c.address));
        SettingsRecord record;
        record.checkContent = c.checkContent;
        record.scanner = c.scanner;
        record.clamdSocket = c.socket;
        record.clamdAddress = c.address;
        const InspectionSettings settings = InspectionSettings::from(record);
        EXPECT_EQ(settings.checkContent, c.contentOn);
        EXPECT_EQ(settings.scanner, c.scanner.isEmpty() ? InspectionSettings::Scanner::None
                                                        : InspectionSettings::Scanner::Clamd);
        EXPECT_EQ(settings.clamd.text(), c.endpoint);
        EXPECT_EQ(settings.problem, c.problem);
    }
}

} // namespace
