#include "gui/dialogs/CCfgDlg.h"

#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsStore.h"
#include "core/inspection/ClamdClient.h"
#include "gui/dialogs/CInnerPathDlg.h"
#include "gui/widgets/ArtWork.h"
#include "gui/widgets/OperatorMessages.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

#include "support/RecordingResponder.h"

namespace {

struct EditOf {
    const char *name;
    QString SettingsRecord::*field;
};

const EditOf kVisibleEdits[] = {
    {"transitFolderEdit", &SettingsRecord::transitFolder},
    {"uploadFolderEdit", &SettingsRecord::uploadFolder},
    {"completionFolderEdit", &SettingsRecord::completionFolder},
    {"recordFolderEdit", &SettingsRecord::recordFolder},
    {"isolatorAddressEdit", &SettingsRecord::isolatorAddress},
    {"isolatorPortEdit", &SettingsRecord::isolatorPort},
};

// The settings dialog on a settings file and a mapping file in a temporary directory, with the
// folder chooser answered by the test.
class CCfgDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        for (const char *folder : {"done", "up", "transit", "log"}) {
            TestFiles::makeFolder(at(QLatin1String(folder)));
        }
        m_filter.write(QStringLiteral("txt:doc:"));
        OperatorMessages::setResponder(&m_responder);
        m_dialog = std::make_unique<CCfgDlg>(m_record, m_store, m_mapping, m_filter);
        m_dialog->setFolderChooser([this](QWidget *, const QString &title, const QString &) {
            m_chooserTitles.append(title);
            return m_chosenFolder;
        });
    }
    void TearDown() override { OperatorMessages::setResponder(nullptr); }

    QString settingsPath() const { return m_dir.path() + QStringLiteral("/Berlvantis.ini"); }
    QString at(const QString &relative) const { return m_dir.path() + QLatin1Char('/') + relative; }

    // A record OK accepts: four existing folders apart from each other, an address and a port.
    SettingsRecord sample() const {
        return {at(QStringLiteral("done/")), at(QStringLiteral("up/")),  at(QStringLiteral("transit/")),
                QStringLiteral("txt|doc"),   at(QStringLiteral("log/")), QStringLiteral("10.0.0.1"),
                QStringLiteral("4000")};
    }

    void show() {
        m_dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
    }

    QLineEdit *edit(const char *name) const {
        auto *edit = m_dialog->findChild<QLineEdit *>(QLatin1String(name));
        EXPECT_NE(edit, nullptr) << name;
        return edit;
    }

    void click(const char *buttonName) {
        auto *button = m_dialog->findChild<QPushButton *>(QLatin1String(buttonName));
        ASSERT_NE(button, nullptr) << buttonName;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    void type(const char *editName, const QString &text) {
        QLineEdit *target = edit(editName);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(target, Qt::Key_Delete);
        // keyClicks knows Latin-1 only; other characters arrive as the text of an unnamed key.
        for (const QChar c : text) {
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    SettingsRecord &record() { return m_record; }

    SettingsRecord saved() const {
        SettingsRecord loaded;
        EXPECT_TRUE(m_store.load(loaded));
        return loaded;
    }

    QTemporaryDir m_dir;
    SettingsStore m_store{settingsPath()};
    FileTypeFilter m_filter{m_dir.path() + QStringLiteral("/Brelvantis.filter")};
    InnerPathMapping m_mapping{m_dir.path() + QStringLiteral("/Brelvantis.path")};
    RecordingResponder m_responder;
    SettingsRecord m_record;
    std::unique_ptr<CCfgDlg> m_dialog;
    QString m_chosenFolder;
    QStringList m_chooserTitles;
};

TEST_F(CCfgDlgTest, EveryShowingStartsFromTheRecord) {
    record() = sample();
    show();
    for (const EditOf &e : kVisibleEdits) {
        EXPECT_EQ(edit(e.name)->text(), record().*e.field) << e.name;
    }
    type("isolatorAddressEdit", QStringLiteral("typed but cancelled"));
    click("cancelButton");
    EXPECT_FALSE(m_dialog->isVisible());

    record().isolatorPort = QStringLiteral("5000");
    show();
    EXPECT_EQ(edit("isolatorAddressEdit")->text(), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(edit("isolatorPortEdit")->text(), QStringLiteral("5000"));
}

TEST_F(CCfgDlgTest, TheInspectionGroupRoundTripsItsKeysAndTestsTheConnection) {
    auto *content = m_dialog->findChild<QCheckBox *>(QStringLiteral("checkContentBox"));
    auto *archives = m_dialog->findChild<QCheckBox *>(QStringLiteral("openArchivesBox"));
    auto *scanner = m_dialog->findChild<QComboBox *>(QStringLiteral("scannerCombo"));
    auto *answer = m_dialog->findChild<QLabel *>(QStringLiteral("inspectionText"));
    ASSERT_TRUE(content && archives && scanner && answer);
    record() = sample();
    show();
    click("okButton");
    EXPECT_FALSE(TestFiles::read(settingsPath()).contains("Inspection")) << "no key is written until set";

    record().checkContent = QStringLiteral("1");
    record().scanner = QStringLiteral("clamd");
    record().clamdAddress = QStringLiteral("127.0.0.1:3310");
    show();
    EXPECT_TRUE(content->isChecked());
    EXPECT_FALSE(archives->isChecked());
    EXPECT_EQ(scanner->currentText(), QStringLiteral("clamd"));
    EXPECT_EQ(edit("clamdAddressEdit")->text(), QStringLiteral("127.0.0.1:3310"));
    content->setChecked(false);
    archives->setChecked(true);
    click("okButton");
    const SettingsRecord stored = saved();
    EXPECT_EQ(stored.checkContent, QString());
    EXPECT_EQ(stored.openArchives, QStringLiteral("1"));
    EXPECT_EQ(stored.scanner, QStringLiteral("clamd"));
    EXPECT_EQ(stored.clamdAddress, QStringLiteral("127.0.0.1:3310"));

    // Both a socket and an address make no sense: said in the group, and OK refuses.
    record().clamdSocket = QStringLiteral("/run/clamd.sock");
    show();
    EXPECT_EQ(answer->toolTip(), QStringLiteral("设置有误：ClamdSocket 与 ClamdAddress 只能设置其中一个"));
    click("okButton");
    EXPECT_TRUE(m_dialog->isVisible());
    ASSERT_EQ(m_responder.notices.size(), 1);
    EXPECT_EQ(m_responder.notices.last().text,
              QStringLiteral("病毒扫描设置有误：ClamdSocket 与 ClamdAddress 只能设置其中一个。"));

    // A socket nobody listens on: the test says why, on its thread, and the dialog goes on answering.
    const QString missing = at(QStringLiteral("no-clamd.sock"));
    type("clamdAddressEdit", QString());
    type("clamdSocketEdit", missing);
    click("testClamdButton");
    ASSERT_TRUE(QTest::qWaitFor(
        [answer] { return !answer->toolTip().startsWith(QStringLiteral("正在连接")); }, 10000));
    EXPECT_EQ(answer->toolTip(), ClamdClient(ClamdEndpoint::localSocket(missing)).version().sentence());
    EXPECT_TRUE(m_dialog->findChild<QPushButton *>(QStringLiteral("testClamdButton"))->isEnabled());
}

// A settle time the file holds out of range is shown as the station uses it, and said.
TEST_F(CCfgDlgTest, TheAutomaticGroupShowsTheSettleTimeInUseAndSavesItsKeys) {
    auto *settle = m_dialog->findChild<QSpinBox *>(QStringLiteral("settleSecondsSpin"));
    auto *start = m_dialog->findChild<QCheckBox *>(QStringLiteral("startUploadingBox"));
    auto *problem = m_dialog->findChild<QLabel *>(QStringLiteral("automaticText"));
    ASSERT_TRUE(settle && start && problem);
    record() = sample();
    record().settleSeconds = QStringLiteral("0");
    show();
    EXPECT_EQ(settle->value(), 1);
    EXPECT_EQ(problem->toolTip(),
              QStringLiteral("设置有误：稳定时间“0”不是 1 到 3600 之间的整秒数，按 1 秒计"));
    EXPECT_FALSE(start->isChecked());
    settle->setValue(30);
    start->setChecked(true);
    click("okButton");
    ASSERT_FALSE(m_dialog->isVisible());
    const SettingsRecord stored = saved();
    EXPECT_EQ(stored.settleSeconds, QStringLiteral("30"));
    EXPECT_EQ(stored.startUploading, QStringLiteral("1"));
    show();
    EXPECT_EQ(problem->toolTip(), QString());
}

TEST_F(CCfgDlgTest, OkWithARequiredFolderEmptyStaysOpenAndWritesNothing) {
    const struct {
        const char *editName;
        const char *label;
    } required[] = {{"completionFolderEdit", "回收目录"},
                    {"transitFolderEdit", "中转目录"},
                    {"uploadFolderEdit", "上传目录"}};
    for (const auto &field : required) {
        SCOPED_TRACE(field.editName);
        m_responder.notices.clear();
        record() = sample();
        show();
        type(field.editName, QString());
        type("isolatorPortEdit", QStringLiteral("4001"));
        click("okButton");

        EXPECT_TRUE(m_dialog->isVisible());
        EXPECT_FALSE(QFile::exists(settingsPath()));
        ASSERT_EQ(m_responder.notices.size(), 1);
        EXPECT_TRUE(m_responder.notices[0].text.contains(QString::fromUtf8(field.label)));
        EXPECT_TRUE(edit(field.editName)->hasFocus());
        // The refused OK still took the edits into the record.
        EXPECT_EQ(record().isolatorPort, QStringLiteral("4001"));
        click("cancelButton");
    }
}

// Each row: what the operator typed into one field, and the field the refusal must name.
TEST_F(CCfgDlgTest, OkNamesTheFieldItRefusesAndKeepsTheDialogOpen) {
    const struct {
        const char *editName;
        QString typed;
        const char *named;
    } cases[] = {
        {"recordFolderEdit", QString(), "记录目录"},
        {"isolatorAddressEdit", QString(), "隔离器地址"},
        {"isolatorAddressEdit", QStringLiteral("17001"), "隔离器地址"},
        {"isolatorAddressEdit", QStringLiteral("10.0.0.256"), "隔离器地址"},
        {"isolatorAddressEdit", QStringLiteral("10.0.0.1:4000"), "隔离器地址"},
        {"isolatorPortEdit", QString(), "隔离器端口"},
        {"isolatorPortEdit", QStringLiteral("0"), "隔离器端口"},
        {"isolatorPortEdit", QStringLiteral("65536"), "隔离器端口"},
        {"isolatorPortEdit", QStringLiteral("40a"), "隔离器端口"},
        {"bandwidthLimitEdit", QStringLiteral("10 MB"), "传输限速"},
        {"uploadFolderEdit", QStringLiteral("%1/transit"), "上传目录"},
        {"recordFolderEdit", QStringLiteral("%1/transit/log/"), "记录目录"},
        {"completionFolderEdit", QStringLiteral("%1/"), "回收目录"},
        {"allowedTypesEdit", QString(), "允许上传的文件类型"},
        {"allowedTypesEdit", QStringLiteral("txt:tar.gz"), "tar.gz"},
    };
    for (const auto &c : cases) {
        const QString typed = c.typed.contains(u'%') ? c.typed.arg(m_dir.path()) : c.typed;
        SCOPED_TRACE(std::string(c.editName) + " = " + typed.toStdString());
        m_responder.notices.clear();
        record() = sample();
        show();
        type(c.editName, typed);
        click("okButton");

        EXPECT_TRUE(m_dialog->isVisible());
        EXPECT_FALSE(QFile::exists(settingsPath()));
        ASSERT_EQ(m_responder.notices.size(), 1);
        EXPECT_EQ(m_responder.notices[0].caption, QStringLiteral("错误"));
        EXPECT_TRUE(m_responder.notices[0].text.contains(QString::fromUtf8(c.named)))
            << m_responder.notices[0].text.toStdString();
        EXPECT_TRUE(edit(c.editName)->hasFocus());
        click("cancelButton");
    }
    EXPECT_EQ(m_filter.text(), QStringLiteral("txt:doc:"));
}

TEST_F(CCfgDlgTest, OkTrimsTheAddressEndsFoldersWithASeparatorAndWritesTheAllowList) {
    record() = sample();
    show();
    EXPECT_EQ(edit("allowedTypesEdit")->text(), QStringLiteral("txt:doc"));
    type("isolatorAddressEdit", QStringLiteral(" 127.0.0.1 "));
    type("isolatorPortEdit", QStringLiteral("17001 "));
    type("recordFolderEdit", at(QStringLiteral("log")));
    type("allowedTypesEdit", QStringLiteral("TXT, .pdf ：文档"));
    click("okButton");

    ASSERT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(saved().isolatorAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(saved().isolatorPort, QStringLiteral("17001"));
    EXPECT_EQ(saved().recordFolder, at(QStringLiteral("log")) + QDir::separator());
    EXPECT_FALSE(TestFiles::read(settingsPath()).contains('"'));
    FileTypeFilter reread(m_filter.filePath());
    ASSERT_TRUE(reread.load());
    EXPECT_EQ(reread.text(), QStringLiteral("TXT:pdf:文档:"));
    EXPECT_EQ(m_filter.text(), reread.text()) << "the station's filter is reloaded at once";
}

// Types left as shown are never rewritten: the file keeps entries the form would fold or refuse.
TEST_F(CCfgDlgTest, UntouchedTypesLeaveTheFilterFileAsItIs) {
    for (const QString &kept : {QStringLiteral("txt::TXT:doc:"), QStringLiteral("txt:tar.gz:")}) {
        SCOPED_TRACE(kept.toStdString());
        ASSERT_EQ(m_filter.write(kept).outcome, FileTypeFilter::WriteResult::Outcome::Written);
        record() = sample();
        show();
        type("isolatorPortEdit", QStringLiteral("4001"));
        click("okButton");
        ASSERT_FALSE(m_dialog->isVisible()) << "the other settings are saved";
        EXPECT_EQ(TestFiles::read(m_filter.filePath()), FileTypeFilter::scramble(kept.toLatin1()));
    }
}

TEST_F(CCfgDlgTest, AMissingFolderIsCreatedOnlyWhenTheOperatorAgrees) {
    record() = sample();
    const QString missing = at(QStringLiteral("new/records/"));
    show();
    type("recordFolderEdit", missing);
    m_responder.answer = false;
    click("okButton");
    EXPECT_TRUE(m_dialog->isVisible());
    ASSERT_EQ(m_responder.questions.size(), 1);
    EXPECT_TRUE(m_responder.questions[0].contains(QStringLiteral("记录目录")));
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_FALSE(QFile::exists(settingsPath()));

    m_responder.answer = true;
    click("okButton");
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_TRUE(QFileInfo(missing).isDir());
    EXPECT_EQ(saved().recordFolder, missing);

    // A folder that cannot be made (a file stands in its way) is refused with the system's reason.
    TestFiles::write(at(QStringLiteral("plain-file")), "x");
    show();
    type("uploadFolderEdit", at(QStringLiteral("plain-file/up/")));
    click("okButton");
    EXPECT_TRUE(m_dialog->isVisible());
    ASSERT_EQ(m_responder.notices.size(), 1);
    EXPECT_TRUE(m_responder.notices[0].text.contains(QStringLiteral("plain-file/up/")));

    // An existing folder that takes no new file is refused with the system's reason, and nothing saved.
    const QByteArray before = TestFiles::read(settingsPath());
    m_dialog->setWriteProbe([this](const QString &folder) {
        return folder == at(QStringLiteral("done/")) ? QStringLiteral("只读文件系统") : QString();
    });
    m_responder.notices.clear();
    type("uploadFolderEdit", at(QStringLiteral("up/")));
    click("okButton");
    EXPECT_TRUE(m_dialog->isVisible());
    ASSERT_EQ(m_responder.notices.size(), 1);
    EXPECT_EQ(m_responder.notices[0].text,
              QStringLiteral("回收目录“%1”无法写入：只读文件系统。请选择可以写入的文件夹。")
                  .arg(at(QStringLiteral("done/"))));
    EXPECT_TRUE(edit("completionFolderEdit")->hasFocus());
    EXPECT_EQ(TestFiles::read(settingsPath()), before);
}

TEST_F(CCfgDlgTest, TheHiddenFileTypesSurviveOk) {
    record() = sample();
    show();
    EXPECT_FALSE(edit("fileTypesEdit")->isVisible());
    EXPECT_FALSE(m_dialog->findChild<QLabel *>("fileTypesLabel")->isVisible());
    click("okButton");
    EXPECT_EQ(saved().fileTypes, QStringLiteral("txt|doc"));
    EXPECT_EQ(record().fileTypes, QStringLiteral("txt|doc"));
}

TEST_F(CCfgDlgTest, AValueWithNoCodePage936FormIsRefusedWithANotice) {
    record() = sample();
    show();
    TestFiles::makeFolder(at(QStringLiteral("한")));
    type("recordFolderEdit", at(QStringLiteral("한/")));
    click("okButton");
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_FALSE(QFile::exists(settingsPath()));
    ASSERT_EQ(m_responder.notices.size(), 1);
    EXPECT_EQ(m_responder.notices[0].caption, QStringLiteral("错误"));
    EXPECT_TRUE(m_responder.notices[0].text.contains(QStringLiteral("记录目录")));
}

TEST_F(CCfgDlgTest, BrowseFillsTheFolderWithASeparatorAndRefreshesEveryEdit) {
    const struct {
        const char *button;
        QString SettingsRecord::*field;
        const char *editName;
    } buttons[] = {
        {"transitBrowseButton", &SettingsRecord::transitFolder, "transitFolderEdit"},
        {"uploadBrowseButton", &SettingsRecord::uploadFolder, "uploadFolderEdit"},
        {"completionBrowseButton", &SettingsRecord::completionFolder, "completionFolderEdit"},
        {"recordBrowseButton", &SettingsRecord::recordFolder, "recordFolderEdit"},
    };
    const QString separator = QDir::separator();
    for (const auto &b : buttons) {
        SCOPED_TRACE(b.button);
        record() = sample();
        show();
        type("isolatorAddressEdit", QStringLiteral("9.9.9.9"));
        m_chosenFolder = QDir::toNativeSeparators(m_dir.path() + QStringLiteral("/chosen"));
        click(b.button);

        EXPECT_EQ(record().*b.field, m_chosenFolder + separator);
        EXPECT_EQ(edit(b.editName)->text(), m_chosenFolder + separator);
        // Every edit shows the record again, so the typed address gives way to the record's.
        EXPECT_EQ(edit("isolatorAddressEdit")->text(), QStringLiteral("10.0.0.1"));
        click("cancelButton");
    }
    EXPECT_EQ(m_chooserTitles, QStringList(4, QStringLiteral("选择路径")));
}

TEST_F(CCfgDlgTest, BrowseKeepsAnEndingSeparatorAndCancellingTheChooserChangesNothing) {
    record() = sample();
    show();
    m_chosenFolder = QDir::rootPath();
    click("uploadBrowseButton");
    EXPECT_EQ(record().uploadFolder, QDir::toNativeSeparators(QDir::rootPath()));

    type("isolatorAddressEdit", QStringLiteral("9.9.9.9"));
    m_chosenFolder.clear();
    click("transitBrowseButton");
    EXPECT_EQ(record().transitFolder, at(QStringLiteral("transit/")));
    EXPECT_EQ(edit("isolatorAddressEdit")->text(), QStringLiteral("9.9.9.9"));
}

TEST_F(CCfgDlgTest, CancelKeepsWhatBrowseAndARefusedOkPutIntoTheRecord) {
    record() = sample();
    show();
    m_chosenFolder = at(QStringLiteral("new"));
    click("transitBrowseButton");
    type("uploadFolderEdit", QString());
    type("isolatorPortEdit", QStringLiteral("4001"));
    click("okButton");
    click("cancelButton");

    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(settingsPath()));
    EXPECT_EQ(record().transitFolder, QDir::toNativeSeparators(at(QStringLiteral("new/"))));
    EXPECT_EQ(record().uploadFolder, QString());
    EXPECT_EQ(record().isolatorPort, QStringLiteral("4001"));
}

TEST_F(CCfgDlgTest, EscClosesLikeCancel) {
    record() = sample();
    show();
    type("isolatorPortEdit", QStringLiteral("4001"));
    QTest::keyClick(edit("isolatorPortEdit"), Qt::Key_Escape);
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(settingsPath()));
    EXPECT_EQ(record(), sample());
}

TEST_F(CCfgDlgTest, InnerPathOpensTheMappingOfTheRecordsTransitFolder) {
    const QString held = m_dir.path() + QStringLiteral("/held/");
    const QString typed = m_dir.path() + QStringLiteral("/typed/");
    TestFiles::makeFolder(held + QStringLiteral("甲"));
    TestFiles::makeFolder(held + QStringLiteral("乙"));
    TestFiles::makeFolder(typed + QStringLiteral("丙"));
    record() = sample();
    record().transitFolder = held;
    show();
    type("transitFolderEdit", typed);

    QStringList listed;
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        auto *inner = qobject_cast<CInnerPathDlg *>(QApplication::activeModalWidget());
        if (!inner) {
            return;
        }
        wasModal = inner->isModal();
        auto *list = inner->findChild<QTableWidget *>(QStringLiteral("mappingList"));
        for (int row = 0; row < list->rowCount(); ++row) {
            listed.append(list->item(row, 0)->text());
        }
        inner->reject();
    });
    click("innerPathButton");

    EXPECT_TRUE(wasModal);
    EXPECT_EQ(listed, (QStringList{"乙", "甲"}));
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_EQ(edit("transitFolderEdit")->text(), typed);
}

// Tab goes down the three folder edits before their browse buttons, as on the form the operator knows.
TEST_F(CCfgDlgTest, TabFollowsTheFormsOrder) {
    show();
    QStringList order;
    QWidget *widget = m_dialog->findChild<QPushButton *>(QStringLiteral("okButton"));
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(m_dialog.get())) {
            order.append(widget->objectName());
        }
        widget = widget->nextInFocusChain();
    } while (widget->objectName() != QStringLiteral("okButton"));
    EXPECT_EQ(
        order.join(u' ').toStdString(),
        "okButton cancelButton transitFolderEdit uploadFolderEdit completionFolderEdit "
        "transitBrowseButton uploadBrowseButton completionBrowseButton recordFolderEdit recordBrowseButton "
        "isolatorAddressEdit isolatorPortEdit bandwidthLimitEdit innerPathButton allowedTypesEdit "
        "checkContentBox openArchivesBox scannerCombo testClamdButton clamdSocketEdit clamdAddressEdit "
        "settleSecondsSpin qt_spinbox_lineedit startUploadingBox");
}

TEST_F(CCfgDlgTest, LabelsFitTheirTextsBesideTheirEdits) {
    show();
    for (QLabel *label : m_dialog->findChildren<QLabel *>()) {
        if (label->isHidden()) {
            continue;
        }
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_LE(label->sizeHint().width(), label->width());
        // A spin box's edit included, where the dialog has it.
        for (QLineEdit *edit : m_dialog->findChildren<QLineEdit *>()) {
            const QRect placed(edit->mapTo(m_dialog.get(), QPoint()), edit->size());
            EXPECT_FALSE(label->geometry().intersects(placed)) << edit->objectName().toStdString();
        }
    }
}

TEST_F(CCfgDlgTest, ThePictureFillsTheBackground) {
    show();
    const QImage shown = m_dialog->grab().toImage();
    const QImage picture = ArtWork::settingsBackground().toImage().scaled(shown.size());
    // A corner no control covers.
    const QPoint corner(2, shown.height() - 3);
    const QColor expected = picture.pixelColor(corner);
    const QColor actual = shown.pixelColor(corner);
    EXPECT_NEAR(actual.red(), expected.red(), 2);
    EXPECT_NEAR(actual.green(), expected.green(), 2);
    EXPECT_NEAR(actual.blue(), expected.blue(), 2);
}

} // namespace
