#include "gui/dialogs/CCfgDlg.h"

#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsStore.h"
#include "gui/dialogs/CInnerPathDlg.h"
#include "gui/widgets/ArtWork.h"
#include "gui/widgets/OperatorMessages.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
        ASSERT_TRUE(dir.isValid());
        OperatorMessages::setResponder(&responder);
        dialog = std::make_unique<CCfgDlg>(m_record, store, mapping);
        dialog->setFolderChooser([this](QWidget *, const QString &title, const QString &) {
            chooserTitles.append(title);
            return chosenFolder;
        });
    }
    void TearDown() override { OperatorMessages::setResponder(nullptr); }

    QString settingsPath() const { return dir.path() + QStringLiteral("/Berlvantis.ini"); }

    // A record every required folder of which is filled.
    static SettingsRecord sample() {
        return {QStringLiteral("/srv/done/"), QStringLiteral("/srv/up/"),  QStringLiteral("/srv/transit/"),
                QStringLiteral("txt|doc"),    QStringLiteral("/srv/log/"), QStringLiteral("10.0.0.1"),
                QStringLiteral("4000")};
    }

    void show() {
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    QLineEdit *edit(const char *name) const {
        auto *edit = dialog->findChild<QLineEdit *>(QLatin1String(name));
        EXPECT_NE(edit, nullptr) << name;
        return edit;
    }

    void click(const char *buttonName) {
        auto *button = dialog->findChild<QPushButton *>(QLatin1String(buttonName));
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
        EXPECT_TRUE(store.load(loaded));
        return loaded;
    }

    QTemporaryDir dir;
    SettingsStore store{settingsPath()};
    InnerPathMapping mapping{dir.path() + QStringLiteral("/Brelvantis.path")};
    RecordingResponder responder;
    SettingsRecord m_record;
    std::unique_ptr<CCfgDlg> dialog;
    QString chosenFolder;
    QStringList chooserTitles;
};

TEST_F(CCfgDlgTest, EveryShowingStartsFromTheRecord) {
    record() = sample();
    show();
    for (const EditOf &e : kVisibleEdits) {
        EXPECT_EQ(edit(e.name)->text(), record().*e.field) << e.name;
    }
    type("isolatorAddressEdit", QStringLiteral("typed but cancelled"));
    click("cancelButton");
    EXPECT_FALSE(dialog->isVisible());

    record().isolatorPort = QStringLiteral("5000");
    show();
    EXPECT_EQ(edit("isolatorAddressEdit")->text(), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(edit("isolatorPortEdit")->text(), QStringLiteral("5000"));
}

TEST_F(CCfgDlgTest, OkWithARequiredFolderEmptyStaysOpenAndWritesNothing) {
    for (const char *required : {"completionFolderEdit", "transitFolderEdit", "uploadFolderEdit"}) {
        SCOPED_TRACE(required);
        record() = sample();
        show();
        type(required, QString());
        type("isolatorPortEdit", QStringLiteral("4001"));
        click("okButton");

        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(QFile::exists(settingsPath()));
        EXPECT_TRUE(responder.notices.isEmpty());
        // The refused OK still took the edits into the record.
        EXPECT_EQ(record().isolatorPort, QStringLiteral("4001"));
        click("cancelButton");
    }
}

TEST_F(CCfgDlgTest, OkAcceptsAnEmptyRecordFolderAddressAndPort) {
    record() = sample();
    show();
    type("recordFolderEdit", QString());
    type("isolatorAddressEdit", QString());
    type("isolatorPortEdit", QString());
    click("okButton");

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    SettingsRecord expected = sample();
    expected.recordFolder.clear();
    expected.isolatorAddress.clear();
    expected.isolatorPort.clear();
    EXPECT_EQ(saved(), expected);
    EXPECT_EQ(record(), expected);
}

TEST_F(CCfgDlgTest, TheHiddenFileTypesSurviveOk) {
    record() = sample();
    show();
    EXPECT_FALSE(edit("fileTypesEdit")->isVisible());
    EXPECT_FALSE(dialog->findChild<QLabel *>("fileTypesLabel")->isVisible());
    click("okButton");
    EXPECT_EQ(saved().fileTypes, QStringLiteral("txt|doc"));
    EXPECT_EQ(record().fileTypes, QStringLiteral("txt|doc"));
}

TEST_F(CCfgDlgTest, AValueWithNoCodePage936FormIsRefusedWithANotice) {
    record() = sample();
    show();
    type("recordFolderEdit", QStringLiteral("/srv/한/"));
    click("okButton");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(QFile::exists(settingsPath()));
    ASSERT_EQ(responder.notices.size(), 1);
    EXPECT_EQ(responder.notices[0].caption, QStringLiteral("错误"));
    EXPECT_TRUE(responder.notices[0].text.contains(QStringLiteral("记录目录")));
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
        chosenFolder = QDir::toNativeSeparators(dir.path() + QStringLiteral("/chosen"));
        click(b.button);

        EXPECT_EQ(record().*b.field, chosenFolder + separator);
        EXPECT_EQ(edit(b.editName)->text(), chosenFolder + separator);
        // Every edit shows the record again, so the typed address gives way to the record's.
        EXPECT_EQ(edit("isolatorAddressEdit")->text(), QStringLiteral("10.0.0.1"));
        click("cancelButton");
    }
    EXPECT_EQ(chooserTitles, QStringList(4, QStringLiteral("选择路径")));
}

TEST_F(CCfgDlgTest, BrowseKeepsAnEndingSeparatorAndCancellingTheChooserChangesNothing) {
    record() = sample();
    show();
    chosenFolder = QDir::rootPath();
    click("uploadBrowseButton");
    EXPECT_EQ(record().uploadFolder, QDir::toNativeSeparators(QDir::rootPath()));

    type("isolatorAddressEdit", QStringLiteral("9.9.9.9"));
    chosenFolder.clear();
    click("transitBrowseButton");
    EXPECT_EQ(record().transitFolder, QStringLiteral("/srv/transit/"));
    EXPECT_EQ(edit("isolatorAddressEdit")->text(), QStringLiteral("9.9.9.9"));
}

TEST_F(CCfgDlgTest, CancelKeepsWhatBrowseAndARefusedOkPutIntoTheRecord) {
    record() = sample();
    show();
    chosenFolder = QStringLiteral("/mnt/new");
    click("transitBrowseButton");
    type("uploadFolderEdit", QString());
    type("isolatorPortEdit", QStringLiteral("4001"));
    click("okButton");
    click("cancelButton");

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(settingsPath()));
    EXPECT_EQ(record().transitFolder, QDir::toNativeSeparators(QStringLiteral("/mnt/new/")));
    EXPECT_EQ(record().uploadFolder, QString());
    EXPECT_EQ(record().isolatorPort, QStringLiteral("4001"));
}

TEST_F(CCfgDlgTest, EscClosesLikeCancel) {
    record() = sample();
    show();
    type("isolatorPortEdit", QStringLiteral("4001"));
    QTest::keyClick(edit("isolatorPortEdit"), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(settingsPath()));
    EXPECT_EQ(record(), sample());
}

TEST_F(CCfgDlgTest, InnerPathOpensTheMappingOfTheRecordsTransitFolder) {
    const QString held = dir.path() + QStringLiteral("/held/");
    const QString typed = dir.path() + QStringLiteral("/typed/");
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
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(edit("transitFolderEdit")->text(), typed);
}

TEST_F(CCfgDlgTest, LabelsFitTheirTextsBesideTheirEdits) {
    show();
    for (QLabel *label : dialog->findChildren<QLabel *>()) {
        if (label->isHidden()) {
            continue;
        }
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_LE(label->sizeHint().width(), label->width());
        for (QLineEdit *edit : dialog->findChildren<QLineEdit *>()) {
            EXPECT_FALSE(label->geometry().intersects(edit->geometry())) << edit->objectName().toStdString();
        }
    }
}

TEST_F(CCfgDlgTest, ThePictureFillsTheBackground) {
    show();
    const QImage shown = dialog->grab().toImage();
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
