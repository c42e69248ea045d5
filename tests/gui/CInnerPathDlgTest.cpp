#include "gui/dialogs/CInnerPathDlg.h"

#include "gui/widgets/OperatorMessages.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "support/RecordingResponder.h"

namespace {

// A transit folder in a temporary directory, the mapping file beside it, and the dialog on them.
class CInnerPathDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_transit = m_dir.path() + QStringLiteral("/transit/");
        TestFiles::makeFolder(m_transit);
        OperatorMessages::setResponder(&m_responder);
    }
    void TearDown() override { OperatorMessages::setResponder(nullptr); }

    QString mappingPath() const { return m_dir.path() + QStringLiteral("/Brelvantis.path"); }

    void makeSubfolders(const QStringList &names) {
        for (const QString &name : names) {
            TestFiles::makeFolder(m_transit + name);
        }
    }

    void open(const QString &transitFolder, const QStringList &automatic = {}) {
        m_dialog = std::make_unique<CInnerPathDlg>(transitFolder, m_mapping, automatic);
        m_dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
    }
    void open() { open(m_transit); }

    QTableWidget *list() const { return m_dialog->findChild<QTableWidget *>(QStringLiteral("mappingList")); }
    QLineEdit *pathEdit() const { return m_dialog->findChild<QLineEdit *>(QStringLiteral("innerPathEdit")); }
    QLineEdit *addressEdit() const {
        return m_dialog->findChild<QLineEdit *>(QStringLiteral("innerAddressEdit"));
    }

    void click(const char *buttonName) {
        auto *button = m_dialog->findChild<QPushButton *>(QLatin1String(buttonName));
        ASSERT_NE(button, nullptr) << buttonName;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    void clickRow(int row) {
        const QRect cell = list()->visualRect(list()->model()->index(row, 0));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }

    static void type(QLineEdit *edit, const QString &text) {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        // keyClicks knows Latin-1 only; other characters arrive as the text of an unnamed key.
        for (const QChar c : text) {
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    // Types the two edits and presses "修改".
    void modify(const QString &innerPath, const QString &innerAddress) {
        type(pathEdit(), innerPath);
        type(addressEdit(), innerAddress);
        click("modifyButton");
    }

    // Each row as "folder*path>address", the way the file would hold it.
    QStringList shownRows() const {
        QStringList rows;
        for (int row = 0; row < list()->rowCount(); ++row) {
            rows.append(list()->item(row, 0)->text() + '*' + list()->item(row, 2)->text() + '>' +
                        list()->item(row, 1)->text());
        }
        return rows;
    }

    QTemporaryDir m_dir;
    QString m_transit;
    InnerPathMapping m_mapping{mappingPath()};
    RecordingResponder m_responder;
    std::unique_ptr<CInnerPathDlg> m_dialog;
};

TEST_F(CInnerPathDlgTest, ListsOnlyTheSubfolders) {
    makeSubfolders({"b", "A", ".hidden"});
    TestFiles::write(m_transit + "file.txt", "not a folder");
    ASSERT_TRUE(QFile::link(m_transit + "A", m_transit + "linked"));
    open();
    EXPECT_EQ(shownRows(), (QStringList{".hidden*>", "A*>", "b*>"}));
}

TEST_F(CInnerPathDlgTest, MappingRoundTripWritesTheRecordsAndReopensWithThem) {
    makeSubfolders({"A", "B"});
    open();
    clickRow(0);
    modify(QStringLiteral("d://广告"), QStringLiteral("192.168.1.1:4321"));
    click("okButton");

    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
    EXPECT_EQ(TestFiles::read(mappingPath()), QByteArray("|A*d://\xB9\xE3\xB8\xE6>192.168.1.1:4321|B*>|"));
    EXPECT_TRUE(m_responder.notices.isEmpty());

    open();
    EXPECT_EQ(shownRows(), (QStringList{"A*d://广告>192.168.1.1:4321", "B*>"}));
}

// A subfolder missing for now keeps its setting; one without an inner path cannot be automatic.
TEST_F(CInnerPathDlgTest, TheAutomaticColumnRefusesAnUnmappedSubfolderWithItsReason) {
    makeSubfolders({"A", QStringLiteral("报表")});
    TestFiles::write(mappingPath(), "|A*pa>aa|");
    open(m_transit, {QStringLiteral("报表"), QStringLiteral("gone")});
    EXPECT_EQ(list()->item(0, 3)->checkState(), Qt::Unchecked) << "off by default";
    list()->item(0, 3)->setCheckState(Qt::Checked);
    click("okButton");
    ASSERT_EQ(m_responder.notices.size(), 1);
    EXPECT_EQ(m_responder.notices[0].text, QStringLiteral("“报表”尚未设置内网路径，不能自动上传。"));
    EXPECT_TRUE(m_dialog->isVisible());

    list()->item(1, 3)->setCheckState(Qt::Unchecked);
    click("okButton");
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog->automaticFolders(), (QStringList{"A", "gone"}));
}

TEST_F(CInnerPathDlgTest, LoadsWhatEachRecordHolds) {
    makeSubfolders({"A", "B", "C", "D"});
    // A complete; B without its address end; C absent; D written as the text's very first record.
    TestFiles::write(mappingPath(), "D*pd>ad|A*pa>aa|B*pb>ab");
    open();
    EXPECT_EQ(shownRows(), (QStringList{"A*pa>aa", "B*pb>", "C*>", "D*pd>ad"}));
}

TEST_F(CInnerPathDlgTest, ConfirmingDropsTheRecordsOfVanishedFoldersAndAddsNewOnes) {
    makeSubfolders({"A", "new"});
    TestFiles::write(mappingPath(), "|A*pa>aa|gone*pg>ag|");
    open();
    click("okButton");
    EXPECT_EQ(TestFiles::read(mappingPath()), QByteArray("|A*pa>aa|new*>|"));
}

// Each row: the path and address typed, and what the refusal must mention.
TEST_F(CInnerPathDlgTest, ModifyRefusesWithTheReasonAndChangesNothing) {
    makeSubfolders({"A"});
    open();
    clickRow(0);
    const struct {
        QString innerPath;
        QString innerAddress;
        QString mentioned;
    } refused[] = {
        {QString(), QStringLiteral("1.2.3.4:5"), QStringLiteral("请填写内网路径")},
        {QStringLiteral("C:\\x"), QStringLiteral("1.2.3.4:5"), QStringLiteral("c:盘")},
        {QStringLiteral("c://广告"), QStringLiteral("1.2.3.4:5"), QStringLiteral("c:盘")},
        {QStringLiteral("e://abc:d"), QStringLiteral("1.2.3.4:5"), QStringLiteral("冒号")},
        {QStringLiteral("d://a>b"), QStringLiteral("1.2.3.4:5"), QStringLiteral(">")},
        {QStringLiteral("d://../x"), QStringLiteral("1.2.3.4:5"), QStringLiteral("..")},
        {QStringLiteral("d://x"), QStringLiteral("1.2.3.4"), QStringLiteral("192.168.1.1:4321")},
        {QStringLiteral("d://x"), QStringLiteral("1.2.3:4321"), QStringLiteral("192.168.1.1:4321")},
        {QStringLiteral("d://x"), QStringLiteral("1.2.3.4:70000"), QStringLiteral("65535")},
    };
    for (const auto &r : refused) {
        SCOPED_TRACE((r.innerPath + u'|' + r.innerAddress).toStdString());
        m_responder.notices.clear();
        modify(r.innerPath, r.innerAddress);
        EXPECT_EQ(shownRows(), (QStringList{"A*>"}));
        ASSERT_EQ(m_responder.notices.size(), 1);
        EXPECT_EQ(m_responder.notices[0].caption, QStringLiteral("错误"));
        EXPECT_TRUE(m_responder.notices[0].text.contains(r.mentioned))
            << m_responder.notices[0].text.toStdString();
    }
    // An empty inner address is a record the mapping file and the queue take as it is.
    modify(QStringLiteral("d://x"), QString());
    EXPECT_EQ(shownRows(), (QStringList{"A*d://x>"}));
    // Blanks around the values are not kept; e: is a drive like any other.
    modify(QStringLiteral(" e:/资料/技术 "), QStringLiteral(" 192.168.1.20:4321 "));
    EXPECT_EQ(shownRows(), (QStringList{"A*e:/资料/技术>192.168.1.20:4321"}));
}

TEST_F(CInnerPathDlgTest, ModifyWithNoRowsDoesNothingAndOkWritesAnEmptyFile) {
    TestFiles::write(mappingPath(), "|old*p>a|");
    open();
    modify(QStringLiteral("d://x"), QStringLiteral("1.2.3.4:5"));
    EXPECT_EQ(list()->rowCount(), 0);
    click("okButton");
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_TRUE(QFile::exists(mappingPath()));
    EXPECT_EQ(TestFiles::read(mappingPath()), QByteArray());
}

TEST_F(CInnerPathDlgTest, ModifyBeforeAnyClickChangesTheFirstRow) {
    makeSubfolders({"A", "B"});
    open();
    modify(QStringLiteral("d://x"), QStringLiteral("1.2.3.4:5"));
    EXPECT_EQ(shownRows(), (QStringList{"A*d://x>1.2.3.4:5", "B*>"}));
}

// The edits always show the chosen row: an unmapped row clears them, so a mapping typed or shown for
// one folder is never given to another by mistake.
TEST_F(CInnerPathDlgTest, ChoosingARowShowsItsOwnValuesAndClearsThemForAnUnmappedRow) {
    makeSubfolders({"A", "B", "C"});
    TestFiles::write(mappingPath(), "|A*d://pa>1.1.1.1:1|B*d://pb>|");
    open();
    clickRow(0);
    EXPECT_EQ(pathEdit()->text(), QStringLiteral("d://pa"));
    EXPECT_EQ(addressEdit()->text(), QStringLiteral("1.1.1.1:1"));

    type(pathEdit(), QStringLiteral("d://typed"));
    clickRow(1);
    EXPECT_EQ(pathEdit()->text(), QStringLiteral("d://pb"));
    EXPECT_EQ(addressEdit()->text(), QString());
    clickRow(2);
    EXPECT_EQ(pathEdit()->text(), QString());
    EXPECT_EQ(addressEdit()->text(), QString());

    click("modifyButton");
    EXPECT_EQ(shownRows(), (QStringList{"A*d://pa>1.1.1.1:1", "B*d://pb>", "C*>"}));
    EXPECT_EQ(m_responder.notices.size(), 1);
}

TEST_F(CInnerPathDlgTest, MovingTheMarkWithTheKeyboardChoosesTheRowModifyChanges) {
    makeSubfolders({"A", "B"});
    open();
    clickRow(0);
    QTest::keyClick(list(), Qt::Key_Down);
    modify(QStringLiteral("d://x"), QStringLiteral("1.1.1.1:1"));
    EXPECT_EQ(shownRows(), (QStringList{"A*>", "B*d://x>1.1.1.1:1"}));
}

TEST_F(CInnerPathDlgTest, TheAddressEditTakesAtMostTwentyTwoCharacters) {
    open();
    type(addressEdit(), QStringLiteral("123.123.123.123:654321xyz"));
    EXPECT_EQ(addressEdit()->text(), QStringLiteral("123.123.123.123:654321"));
}

TEST_F(CInnerPathDlgTest, CancelAndTheCloseBoxWriteNothing) {
    makeSubfolders({"A"});
    TestFiles::write(mappingPath(), "|A*pa>aa|");
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Cancel");
        open();
        modify(QStringLiteral("d://changed"), QStringLiteral("1.1.1.1:1"));
        if (closeBox) {
            m_dialog->close();
        } else {
            click("cancelButton");
        }
        EXPECT_FALSE(m_dialog->isVisible());
        EXPECT_EQ(m_dialog->result(), QDialog::Rejected);
        EXPECT_EQ(TestFiles::read(mappingPath()), QByteArray("|A*pa>aa|"));
    }
}

// A file the dialog could not read in full would lose its unseen records if written back.
TEST_F(CInnerPathDlgTest, AFileLargerThanTheReadLimitIsNotOverwritten) {
    makeSubfolders({"A", "B"});
    const QByteArray large = "|A*pa>aa|" + QByteArray(InnerPathMapping::kReadLimit, 'x') + "|B*pb>ab|";
    TestFiles::write(mappingPath(), large);
    open();
    EXPECT_EQ(shownRows(), (QStringList{"A*pa>aa", "B*>"}));

    click("okButton");
    EXPECT_TRUE(m_dialog->isVisible());
    ASSERT_EQ(m_responder.notices.size(), 1);
    EXPECT_EQ(m_responder.notices[0].caption, QStringLiteral("错误"));
    EXPECT_TRUE(m_responder.notices[0].text.contains(mappingPath()));
    EXPECT_EQ(TestFiles::read(mappingPath()), large);
}

TEST_F(CInnerPathDlgTest, AnExistingFileThatCannotBeReadIsNotOverwritten) {
    makeSubfolders({"A"});
    TestFiles::write(mappingPath(), "|A*pa>aa|");
    m_mapping.setOpener([](QFile &) { return false; }); // there, but it cannot be read
    open();
    click("okButton");
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_EQ(m_responder.notices.size(), 1);
    EXPECT_EQ(TestFiles::read(mappingPath()), QByteArray("|A*pa>aa|"));
}

TEST_F(CInnerPathDlgTest, AFailedWriteIsShownAndKeepsTheDialogOpen) {
    makeSubfolders({"A"});
    open();
    // A character with no code page 936 form cannot be stored.
    modify(QStringLiteral("d://한"), QStringLiteral("1.1.1.1:1"));
    click("okButton");
    EXPECT_TRUE(m_dialog->isVisible());
    ASSERT_EQ(m_responder.notices.size(), 1);
    EXPECT_FALSE(QFile::exists(mappingPath()));
    EXPECT_EQ(shownRows(), (QStringList{"A*d://한>1.1.1.1:1"}));

    // A mapping file whose folder does not exist cannot be written either.
    const InnerPathMapping unwritable(m_dir.path() + QStringLiteral("/missing/Brelvantis.path"));
    CInnerPathDlg other(m_transit, unwritable);
    other.show();
    other.findChild<QPushButton *>(QStringLiteral("okButton"))->click();
    EXPECT_TRUE(other.isVisible());
    EXPECT_EQ(m_responder.notices.size(), 2);
}

TEST_F(CInnerPathDlgTest, LabelsShowTheirWholeTextBesideTheEdits) {
    open();
    for (QLabel *label : m_dialog->findChildren<QLabel *>()) {
        SCOPED_TRACE(label->text().toStdString());
        const QRect text(label->pos(), QSize(label->sizeHint().width(), label->height()));
        EXPECT_LE(label->sizeHint().width(), label->width());
        for (QLineEdit *edit : m_dialog->findChildren<QLineEdit *>()) {
            EXPECT_FALSE(text.intersects(edit->geometry())) << edit->objectName().toStdString();
        }
    }
}

} // namespace
