#include "core/config/SettingsStore.h"
#include "core/common/Cp936.h"
#include "core/config/ProfileFile.h"
#include "core/queue/AutomaticSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QByteArray gbk(const QString &text) {
    return Cp936::encode(text).value();
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Berlvantis.ini")); }

    void writeFile(const QByteArray &bytes) const {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray fileBytes() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static SettingsRecord filledRecord() {
        SettingsRecord record;
        record.completionFolder = QStringLiteral("/srv/回收/");
        record.uploadFolder = QStringLiteral("/srv/up/");
        record.transitFolder = QStringLiteral("/srv/transit/");
        record.fileTypes = QStringLiteral("txt:doc:");
        record.recordFolder = QStringLiteral("/srv/log/");
        record.isolatorAddress = QStringLiteral("10.0.0.2");
        record.isolatorPort = QStringLiteral("4321");
        return record;
    }

    QTemporaryDir m_dir;
    SettingsStore m_store{path()};
};

TEST_F(SettingsStoreTest, MissingFileLoadsNothingAndCreatesNothing) {
    SettingsRecord record = filledRecord();
    EXPECT_FALSE(m_store.load(record));
    EXPECT_EQ(record, filledRecord());
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(SettingsStoreTest, MissingKeysLoadAsEmptyAndTheOthersAsStored) {
    writeFile(gbk(
        QStringLiteral("[Path Parameters]\r\n上传路径=/srv/上传/\r\n[File Filters]\r\n隔离器端口=4321\r\n")));
    SettingsRecord record = filledRecord();
    ASSERT_TRUE(m_store.load(record));

    SettingsRecord expected;
    expected.uploadFolder = QStringLiteral("/srv/上传/");
    expected.isolatorPort = QStringLiteral("4321");
    EXPECT_EQ(record, expected);
}

TEST_F(SettingsStoreTest, LongValuesLoadAsTheir511FirstBytesWithoutSplittingACharacter) {
    const QString ascii(600, u'a');
    const QString chinese = QString(QStringLiteral("准")).repeated(300); // 600 bytes
    writeFile(gbk(QStringLiteral("[Path Parameters]\r\n完成路径=%1\r\n中转路径=%2\r\n").arg(ascii, chinese)));
    SettingsRecord record;
    ASSERT_TRUE(m_store.load(record));
    EXPECT_EQ(record.completionFolder, ascii.left(511));
    EXPECT_EQ(record.transitFolder, chinese.left(255)); // 510 bytes: the 256th character does not fit
}

TEST_F(SettingsStoreTest, EachRequiredFolderEmptyRefusesSilentlyAndWritesNothing) {
    for (QString SettingsRecord::*field :
         {&SettingsRecord::completionFolder, &SettingsRecord::transitFolder, &SettingsRecord::uploadFolder}) {
        SettingsRecord record = filledRecord();
        record.*field = QString();
        const SettingsStore::SaveResult result = m_store.save(record);
        EXPECT_EQ(result.outcome, SettingsStore::SaveResult::Outcome::Refused);
        EXPECT_TRUE(result.notice.isEmpty());
        EXPECT_FALSE(QFile::exists(path()));
    }

    const QByteArray before = gbk(QStringLiteral("[Path Parameters]\r\n完成路径=/old/\r\n"));
    writeFile(before);
    SettingsRecord record = filledRecord();
    record.uploadFolder.clear();
    EXPECT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Refused);
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(SettingsStoreTest, FirstSaveWritesBothSectionsInOrderWithOptionalValuesEmpty) {
    SettingsRecord record = filledRecord();
    record.recordFolder.clear();
    record.isolatorAddress.clear();
    record.isolatorPort.clear();
    const SettingsStore::SaveResult result = m_store.save(record);
    EXPECT_EQ(result.outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_TRUE(result.notice.isEmpty());

    EXPECT_EQ(fileBytes(), gbk(QStringLiteral("[Path Parameters]\r\n"
                                              "完成路径=/srv/回收/\r\n"
                                              "中转路径=/srv/transit/\r\n"
                                              "上传路径=/srv/up/\r\n"
                                              "记录路径=\r\n"
                                              "[File Filters]\r\n"
                                              "文件类型=txt:doc:\r\n"
                                              "隔离器地址=\r\n"
                                              "隔离器端口=\r\n")));
    SettingsRecord loaded;
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(loaded, record);
}

TEST_F(SettingsStoreTest, FileTypesValueIsWrittenBackUnchanged) {
    const QByteArray typesLine = gbk(QStringLiteral("文件类型=TXT:文档::\r\n"));
    writeFile(gbk(QStringLiteral("[Path Parameters]\r\n完成路径=/a/\r\n中转路径=/b/\r\n上传路径=/c/\r\n"
                                 "[File Filters]\r\n")) +
              typesLine);
    SettingsRecord record;
    ASSERT_TRUE(m_store.load(record));
    record.uploadFolder = QStringLiteral("/d/");
    record.isolatorPort = QStringLiteral("9000");
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);

    EXPECT_TRUE(fileBytes().contains("\r\n" + typesLine));
    SettingsRecord loaded;
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(loaded.fileTypes, QStringLiteral("TXT:文档::"));
    EXPECT_EQ(loaded, record);
}

// An operator's own edit of the file, the way the profile functions read it.
TEST_F(SettingsStoreTest, HandEditedFileLoadsAsTheProfileFunctionsReadItAndKeepsItsOtherLines) {
    const QByteArray head = gbk(QStringLiteral("; 网闸上传站设置\n"
                                               "stray=before any section\n"
                                               "\n"
                                               "[ path PARAMETERS ]\n"
                                               "  完成路径 = \"/srv/回收/\"  \n"
                                               ";上传路径=/commented/\n"
                                               "Unknown=kept\r\n"
                                               "\t中转路径\t=\t'/srv/中转/'\n"
                                               "完成路径=/second/occurrence/\n"));
    const QByteArray tail = gbk(QStringLiteral("\n"
                                               "[Other]\n"
                                               "上传路径=/not/this/section/\n"
                                               "[file filters]\n"
                                               "隔离器地址=  10.1.1.1\n"
                                               "文件类型=\"txt:doc:'\n"
                                               "[Path Parameters]\n"
                                               "上传路径=/later/duplicate/section/\n"));
    writeFile(head + tail);

    SettingsRecord record;
    ASSERT_TRUE(m_store.load(record));
    SettingsRecord expected;
    expected.completionFolder = QStringLiteral("/srv/回收/");
    expected.transitFolder = QStringLiteral("/srv/中转/");
    expected.isolatorAddress = QStringLiteral("10.1.1.1");
    expected.fileTypes = QStringLiteral("\"txt:doc:'"); // quotes that do not match stay
    EXPECT_EQ(record, expected);

    // Unchanged values keep their lines; changed and missing ones land in the first section of the name.
    record.uploadFolder = QStringLiteral("/srv/up/");
    record.isolatorAddress = QStringLiteral("10.1.1.2");
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    const QByteArray expectedTail = gbk(QStringLiteral("\n"
                                                       "[Other]\n"
                                                       "上传路径=/not/this/section/\n"
                                                       "[file filters]\n"
                                                       "隔离器地址=10.1.1.2\n"
                                                       "文件类型=\"txt:doc:'\n"
                                                       "隔离器端口=\r\n"
                                                       "[Path Parameters]\n"
                                                       "上传路径=/later/duplicate/section/\n"));
    EXPECT_EQ(fileBytes(), head + gbk(QStringLiteral("上传路径=/srv/up/\r\n记录路径=\r\n")) + expectedTail);
    SettingsRecord loaded;
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(loaded, record);
}

TEST_F(SettingsStoreTest, ValuesThatWouldNotReadBackAsWrittenAreQuoted) {
    SettingsRecord record = filledRecord();
    record.completionFolder = QStringLiteral(" /padded/ ");
    record.fileTypes = QStringLiteral("'txt'");
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_TRUE(fileBytes().contains("\r\n" + gbk(QStringLiteral("完成路径=\" /padded/ \"\r\n"))));
    SettingsRecord loaded;
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(loaded, record);
}

TEST_F(SettingsStoreTest, TheIsolatorAddressAndPortLoadWithoutBlanksAroundThem) {
    SettingsRecord record = filledRecord();
    record.isolatorAddress = QStringLiteral(" 127.0.0.1");
    record.isolatorPort = QStringLiteral("4321 ");
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_TRUE(fileBytes().contains(gbk(QStringLiteral("隔离器地址=\" 127.0.0.1\""))));
    SettingsRecord loaded;
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(loaded.isolatorAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(loaded.isolatorPort, QStringLiteral("4321"));
    writeFile(gbk(QStringLiteral("[File Filters]\r\n隔离器地址=\t10.0.0.9\t\r\n")));
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(loaded.isolatorAddress, QStringLiteral("10.0.0.9"));
}

TEST_F(SettingsStoreTest, MissingSectionIsAddedAtTheEndOfAFileWithoutFinalLineEnd) {
    writeFile(QByteArray("[Path Parameters]\r\n;note"));
    ASSERT_EQ(m_store.save(filledRecord()).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_EQ(fileBytes(), gbk(QStringLiteral("[Path Parameters]\r\n;note\r\n"
                                              "完成路径=/srv/回收/\r\n"
                                              "中转路径=/srv/transit/\r\n"
                                              "上传路径=/srv/up/\r\n"
                                              "记录路径=/srv/log/\r\n"
                                              "[File Filters]\r\n"
                                              "文件类型=txt:doc:\r\n"
                                              "隔离器地址=10.0.0.2\r\n"
                                              "隔离器端口=4321\r\n")));
}

TEST_F(SettingsStoreTest, ValueThatCannotBeStoredFailsWithANoticeAndLeavesTheFileAlone) {
    const QByteArray before = gbk(QStringLiteral("[Path Parameters]\r\n中转路径=/old/\r\n"));
    writeFile(before);

    SettingsRecord record = filledRecord();
    record.transitFolder = QStringLiteral("/srv/📁/");
    SettingsStore::SaveResult result = m_store.save(record);
    EXPECT_EQ(result.outcome, SettingsStore::SaveResult::Outcome::Failed);
    EXPECT_EQ(result.notice.caption, NoticeCaption::kError);
    EXPECT_TRUE(result.notice.text.contains(QStringLiteral("中转目录"))) << result.notice.text.toStdString();
    EXPECT_EQ(fileBytes(), before);

    record = filledRecord();
    record.isolatorAddress = QStringLiteral("10.0.0.2\r\n[Path Parameters]");
    result = m_store.save(record);
    EXPECT_EQ(result.outcome, SettingsStore::SaveResult::Outcome::Failed);
    EXPECT_TRUE(result.notice.text.contains(QStringLiteral("隔离器地址")));
    EXPECT_EQ(fileBytes(), before);

    // Named as the settings dialog names it.
    record = filledRecord();
    record.bandwidthLimit = QStringLiteral("1000\n");
    result = m_store.save(record);
    EXPECT_EQ(result.notice.text, QStringLiteral("“传输限速”含有无法保存的字符，设置未保存。"));
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(SettingsStoreTest, WriteErrorFailsWithANotice) {
    const SettingsStore store(m_dir.filePath(QStringLiteral("missing-folder/Berlvantis.ini")));
    const SettingsStore::SaveResult result = store.save(filledRecord());
    EXPECT_EQ(result.outcome, SettingsStore::SaveResult::Outcome::Failed);
    EXPECT_EQ(result.notice.caption, NoticeCaption::kError);
    EXPECT_FALSE(result.notice.text.isEmpty());
}

// What stands under the settings' name is read only when it is a regular file of sensible size (a link
// is followed to one): a pipe without a writer, an endless device or a huge file gives empty values and
// the reason at once, and a save leaves it alone.
TEST_F(SettingsStoreTest, APipeADeviceOrAHugeFileIsNotReadAndALinkIsFollowedToAFile) {
    const QString refused = QStringLiteral("不是普通文件（文件夹、管道、套接字或设备）");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    SettingsRecord record = filledRecord();
    Failure failure;
    EXPECT_TRUE(m_store.load(record, &failure)) << "the file is there";
    EXPECT_EQ(record, SettingsRecord());
    EXPECT_EQ(failure.sentence(), QStringLiteral("无法读取 %1：%2").arg(path(), refused));
    const SettingsStore::SaveResult saved = m_store.save(filledRecord());
    EXPECT_EQ(saved.outcome, SettingsStore::SaveResult::Outcome::Failed);
    EXPECT_EQ(saved.notice.text, QStringLiteral("无法读取设置文件 %1：%2").arg(path(), refused));

    ASSERT_TRUE(QFile::remove(path()) && QFile::link(QStringLiteral("/dev/zero"), path()));
    failure = {};
    m_store.load(record, &failure);
    EXPECT_EQ(failure.reason, refused);

    const QString elsewhere = m_dir.filePath(QStringLiteral("shared.ini"));
    ASSERT_TRUE(QFile::remove(path()) && QFile::link(elsewhere, path()));
    ASSERT_EQ(SettingsStore(elsewhere).save(filledRecord()).outcome,
              SettingsStore::SaveResult::Outcome::Saved);
    failure = {};
    ASSERT_TRUE(m_store.load(record, &failure));
    EXPECT_FALSE(failure.failed());
    EXPECT_EQ(record, filledRecord());

    QFile huge(elsewhere); // sparse: nothing of it is written
    ASSERT_TRUE(huge.resize(ProfileFile::kReadLimit + 1));
    m_store.load(record, &failure);
    EXPECT_EQ(failure.sentence(), QStringLiteral("文件过大，无法读取 %1：超过 4194304 字节").arg(path()));
}

TEST(SettingsStoreDefaults, FileNameIsTheStationsRelativeName) {
    EXPECT_EQ(SettingsStore().filePath(), QStringLiteral(".////Berlvantis.ini"));
}

} // namespace

namespace {

TEST_F(SettingsStoreTest, TheBandwidthLimitLivesInASectionOfItsOwnWrittenOnlyOnceSet) {
    SettingsRecord record = filledRecord();
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    const QByteArray withoutLimit = fileBytes();
    EXPECT_FALSE(withoutLimit.contains("[Transfer]")) << "files stay as older copies wrote them";

    record.bandwidthLimit = QStringLiteral("10000");
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_TRUE(fileBytes().startsWith(withoutLimit));
    EXPECT_TRUE(fileBytes().contains("[Transfer]\r\nBandwidthLimitKBps=10000"));
    SettingsRecord loaded;
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(loaded, record);
}

// Subfolder names are keys of a GBK file: Chinese ones must come back as they went.
TEST_F(SettingsStoreTest, AutomaticSubfoldersAndTheirSettingsRoundTripWithChineseKeys) {
    SettingsRecord record = filledRecord();
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_FALSE(fileBytes().contains("[AutoFolders]")) << "written only once set";

    AutomaticSettings automatic;
    automatic.folders = {QStringLiteral("报表"), QStringLiteral("A")};
    automatic.settleSeconds = 7;
    automatic.startUploading = true;
    automatic.applyTo(record);
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_TRUE(fileBytes().contains(gbk(QStringLiteral("[AutoFolders]\r\n报表=1\r\nA=1\r\n"))));
    EXPECT_TRUE(fileBytes().contains("[Automatic]\r\nSettleSeconds=7\r\nStartUploading=1\r\n"));
    SettingsRecord loaded;
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(AutomaticSettings::from(loaded), automatic);

    // Switched off, a subfolder keeps its line as 0; a name the file cannot hold as a key is refused.
    record.autoFolders = {QStringLiteral("A")};
    ASSERT_EQ(m_store.save(record).outcome, SettingsStore::SaveResult::Outcome::Saved);
    EXPECT_TRUE(fileBytes().contains(gbk(QStringLiteral("报表=0\r\nA=1"))));
    ASSERT_TRUE(m_store.load(loaded));
    EXPECT_EQ(loaded.autoFolders, QStringList{QStringLiteral("A")});
    record.autoFolders = {QStringLiteral("a=b")};
    const SettingsStore::SaveResult refused = m_store.save(record);
    EXPECT_EQ(refused.outcome, SettingsStore::SaveResult::Outcome::Failed);
    EXPECT_EQ(refused.notice.text, QStringLiteral("子文件夹名“a=b”无法作为自动上传设置保存，设置未保存。"));

    // Unreadable values fall back to the defaults, a settle time out of range to the nearer bound: said.
    loaded.settleSeconds = QStringLiteral("soon");
    loaded.startUploading = QStringLiteral("yes");
    EXPECT_EQ(AutomaticSettings::from(loaded).settleSeconds, AutomaticSettings::kDefaultSettleSeconds);
    EXPECT_EQ(AutomaticSettings::from(loaded).problem,
              QStringLiteral("稳定时间“soon”不是 1 到 3600 之间的整秒数，按 5 秒计"));
    EXPECT_FALSE(AutomaticSettings::from(loaded).startUploading);
    loaded.settleSeconds = QStringLiteral("7200");
    EXPECT_EQ(AutomaticSettings::from(loaded).settleSeconds, AutomaticSettings::kMaxSettleSeconds);
    EXPECT_FALSE(AutomaticSettings::from(loaded).problem.isEmpty());
}

} // namespace
