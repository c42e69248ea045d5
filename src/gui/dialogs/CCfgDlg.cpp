#include "gui/dialogs/CCfgDlg.h"

#include "core/common/FileMove.h"
#include "core/common/Paths.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsStore.h"
#include "core/inspection/ClamdClient.h"
#include "core/inspection/InspectionSettings.h"
#include "core/queue/AutomaticSettings.h"
#include "gui/dialogs/CInnerPathDlg.h"
#include "gui/widgets/ArtWork.h"
#include "gui/widgets/DialogUnits.h"
#include "gui/widgets/OperatorMessages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <algorithm>
#include <utility>

namespace {

QString chooseWithPlatformDialog(QWidget *parent, const QString &title, const QString &startFolder) {
    return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

// Where a setting stands on the form, in dialog units, and the object names of its controls. A label is
// 8 units high, an edit 12; a folder's "..." button stands at the right of its edit.
struct Place {
    SettingsField field;
    const char *name; // of the label and the edit: <name>Label, <name>Edit
    int labelLeft, labelTop, labelWidth;
    int editLeft, editTop, editWidth;
    const char *browseButton = nullptr;
    const char16_t *placeholder = nullptr;
    bool shown = true;
};

const Place kPlaces[] = {
    {SettingsField::TransitFolder, "transitFolder", 19, 26, 33, 61, 24, 128, "transitBrowseButton"},
    {SettingsField::UploadFolder, "uploadFolder", 19, 49, 33, 61, 47, 128, "uploadBrowseButton"},
    {SettingsField::CompletionFolder, "completionFolder", 19, 72, 33, 61, 70, 128, "completionBrowseButton"},
    // The file types are kept in the settings file but not offered for editing: the pair is never
    // shown, yet the value passes through every OK unchanged.
    {SettingsField::FileTypes, "fileTypes", 23, 246, 33, 67, 245, 143, nullptr, nullptr, false},
    {SettingsField::RecordFolder, "recordFolder", 19, 95, 33, 61, 93, 128, "recordBrowseButton"},
    {SettingsField::IsolatorAddress, "isolatorAddress", 19, 140, 41, 66, 139, 143, nullptr,
     u"如 192.168.1.20"},
    {SettingsField::IsolatorPort, "isolatorPort", 19, 162, 41, 66, 160, 44, nullptr, u"1-65535"},
    {SettingsField::BandwidthLimit, "bandwidthLimit", 19, 184, 41, 66, 182, 44, nullptr, u"0"},
};

// The connection test waits no longer than this at each step, so it ends within seconds.
const ClamdTiming kTestTiming{std::chrono::milliseconds(3000), std::chrono::milliseconds(3000)};

// The group 内容检查 stands below the file types, 自动上传 below it; the buttons and the work folder below
// them.
constexpr int kInspectionTop = 243;
constexpr int kInspectionHeight = 84;
constexpr int kAutomaticTop = kInspectionTop + kInspectionHeight + 5;
constexpr int kAutomaticHeight = 40;
constexpr int kButtonsTop = kAutomaticTop + kAutomaticHeight + 6;

const Place *placeOf(SettingsField field) {
    for (const Place &place : kPlaces) {
        if (place.field == field) {
            return &place;
        }
    }
    return nullptr;
}

} // namespace

CCfgDlg::CCfgDlg(SettingsRecord &record, const SettingsStore &store, const InnerPathMapping &mapping,
                 FileTypeFilter &filter, QWidget *parent)
    : QDialog(parent), m_record(record), m_store(store), m_mapping(mapping), m_filter(filter),
      m_folderChooser(chooseWithPlatformDialog) {
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(QStringLiteral("设置"));
    // A caption without a close box: the dialog is left through OK, Cancel or Esc.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    createControls();
}

CCfgDlg::~CCfgDlg() {
    if (m_clamdTest) {
        m_clamdTest->wait();
    }
}

void CCfgDlg::setFolderChooser(FolderChooser chooser) {
    m_folderChooser = std::move(chooser);
}

void CCfgDlg::createControls() {
    const DialogUnits du(font());
    setFixedSize(du.x(228), du.y(kButtonsTop + 32));

    // A label is never cut short: where the font runs wider than the layout allows, it takes the room
    // it needs (the layout leaves a gap before every edit).
    const auto addLabel = [this, &du](const QString &text, const QString &name, int left, int top,
                                      int width) {
        auto *label = new QLabel(text, this);
        label->setObjectName(name);
        QRect geometry = du.rect(left, top, width, 8);
        geometry.setWidth(std::max(geometry.width(), label->sizeHint().width()));
        label->setGeometry(geometry);
        return label;
    };

    auto *ok = new QPushButton(QStringLiteral("确　定"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    ok->setGeometry(du.rect(46, kButtonsTop, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CCfgDlg::onOk);

    auto *cancel = new QPushButton(QStringLiteral("取　消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setGeometry(du.rect(128, kButtonsTop, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *folders = new QGroupBox(QStringLiteral("目录设置"), this);
    folders->setObjectName(QStringLiteral("folderGroup"));
    folders->setGeometry(du.rect(7, 7, 214, 111));

    auto *server = new QGroupBox(QStringLiteral("服务器设置"), this);
    server->setObjectName(QStringLiteral("serverGroup"));
    server->setGeometry(du.rect(7, 125, 214, 79));

    // The allow-list lives in the filter file, not in the settings file.
    auto *types = new QGroupBox(QStringLiteral("文件类型设置"), this);
    types->setObjectName(QStringLiteral("fileTypeGroup"));
    types->setGeometry(du.rect(7, 209, 214, 29));

    for (const SettingDefinition *setting : kSettingsInFieldOrder) {
        const Place *place = placeOf(setting->field);
        if (!place) {
            continue;
        }
        const QString name = QLatin1String(place->name);
        QLabel *label = addLabel(setting->label.toString(), name + QStringLiteral("Label"), place->labelLeft,
                                 place->labelTop, place->labelWidth);
        auto *edit = new QLineEdit(this);
        edit->setObjectName(name + QStringLiteral("Edit"));
        label->setBuddy(edit);
        edit->setGeometry(du.rect(place->editLeft, place->editTop, place->editWidth, 12));
        if (place->placeholder) {
            edit->setPlaceholderText(QString::fromUtf16(place->placeholder));
        }
        if (!place->shown) {
            label->setVisible(false);
            edit->setVisible(false);
        }
        m_bindings.append({edit, setting->member});
        if (place->browseButton) {
            auto *button = new QPushButton(QStringLiteral("..."), this);
            button->setObjectName(QLatin1String(place->browseButton));
            // Every such button reads "...": a screen reader says which folder it chooses.
            button->setAccessibleName(QStringLiteral("选择") + setting->label.toString());
            button->setGeometry(du.rect(192, place->editTop, 13, 14));
            connect(button, &QPushButton::clicked, this, [this, setting] { browseFor(setting->member); });
        }
    }
    // Tab goes down the three folder edits before it goes to their browse buttons, as it always has.
    setTabOrder(editFor(SettingsField::TransitFolder), editFor(SettingsField::UploadFolder));
    setTabOrder(editFor(SettingsField::UploadFolder), editFor(SettingsField::CompletionFolder));

    QLineEdit *limit = editFor(SettingsField::BandwidthLimit);
    limit->setToolTip(QStringLiteral("发送速度的上限，单位 KB/s（1 KB = 1000 字节）；0 或不填为不限速"));
    addLabel(QStringLiteral("KB/s（0 为不限速）"), QStringLiteral("bandwidthUnitLabel"), 114, 184, 80);

    auto *innerPath = new QPushButton(QStringLiteral("内网路径"), this);
    innerPath->setObjectName(QStringLiteral("innerPathButton"));
    innerPath->setGeometry(du.rect(153, 157, 50, 14));
    connect(innerPath, &QPushButton::clicked, this, &CCfgDlg::onInnerPath);

    QLabel *typesLabel =
        addLabel(QStringLiteral("允许上传的文件类型"), QStringLiteral("allowedTypesLabel"), 19, 223, 72);
    m_fileTypesEdit = new QLineEdit(this);
    typesLabel->setBuddy(m_fileTypesEdit);
    m_fileTypesEdit->setObjectName(QStringLiteral("allowedTypesEdit"));
    m_fileTypesEdit->setPlaceholderText(QStringLiteral("如 txt:doc:pdf"));
    m_fileTypesEdit->setGeometry(du.rect(98, 221, 111, 12));

    createInspectionControls(du);
    createAutomaticControls(du);

    // Below the buttons, the folder the three configuration files live in, cut short in the middle when
    // it is long.
    const QString workFolder =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(m_store.filePath()).absolutePath()));
    auto *folder = new QLabel(this);
    folder->setObjectName(QStringLiteral("workFolderLabel"));
    folder->setGeometry(du.rect(9, kButtonsTop + 18, 210, 10));
    folder->setToolTip(workFolder);
    folder->setText(folder->fontMetrics().elidedText(QStringLiteral("工作目录：%1").arg(workFolder),
                                                     Qt::ElideMiddle, folder->width()));
}

void CCfgDlg::setVisible(bool visible) {
    // Every showing starts from the record, which may have changed since the last one.
    if (visible && !isVisible()) {
        showRecord();
        m_filter.load();
        m_shownFileTypes = FileTypeFilter::typedList(m_filter.text());
        m_fileTypesEdit->setText(m_shownFileTypes);
        showInspection();
        showAutomatic();
    }
    QDialog::setVisible(visible);
}

void CCfgDlg::paintEvent(QPaintEvent *) {
    // Drawn at the first painting rather than at construction; a failed attempt is simply retried.
    if (m_background.isNull()) {
        m_background = ArtWork::settingsBackground();
    }
    QPainter painter(this);
    painter.drawPixmap(rect(), m_background);
}

void CCfgDlg::showRecord() {
    for (const Binding &binding : std::as_const(m_bindings)) {
        binding.edit->setText(m_record.*binding.field);
    }
}

void CCfgDlg::takeEdits() {
    for (const Binding &binding : std::as_const(m_bindings)) {
        m_record.*binding.field = binding.edit->text();
    }
    for (const SettingDefinition &setting : kSettings) {
        QString &value = m_record.*setting.member;
        if (dropsBlanks(setting.check)) {
            value = value.trimmed();
        }
        // A folder ends with its separator, so the station appends names to it directly.
        if (isFolder(setting.check) && !value.trimmed().isEmpty()) {
            value = Paths::withTrailingSeparator(value);
        }
    }
    showRecord();
}

void CCfgDlg::browseFor(QString SettingsRecord::*field) {
    QString folder = m_folderChooser(this, QStringLiteral("选择路径"), m_record.*field);
    if (folder.isEmpty()) {
        return;
    }
    // A chosen folder always ends with the separator, so names can be appended to it directly.
    folder = QDir::toNativeSeparators(folder);
    if (!folder.endsWith(QDir::separator())) {
        folder += QDir::separator();
    }
    m_record.*field = folder;
    showRecord();
}

void CCfgDlg::onInnerPath() {
    // The folder the record holds, not what may have been typed since: the mapping belongs to the
    // transit folder the station is working with.
    CInnerPathDlg dialog(m_record.transitFolder, m_mapping, m_record.autoFolders, this);
    if (dialog.exec() != QDialog::Accepted || dialog.automaticFolders() == m_record.autoFolders) {
        return;
    }
    // Saved at once, as the mapping is, and alone: what the operator typed here waits for OK.
    SettingsRecord stored;
    if (m_store.load(stored)) {
        stored.autoFolders = dialog.automaticFolders();
        const SettingsStore::SaveResult result = m_store.save(stored);
        if (result.outcome == SettingsStore::SaveResult::Outcome::Failed) {
            OperatorMessages::show(this, result.notice);
            return;
        }
    }
    m_record.autoFolders = dialog.automaticFolders();
}

QLineEdit *CCfgDlg::editFor(SettingsCheck::Field field) const {
    for (const Binding &binding : m_bindings) {
        if (binding.field == SettingsCheck::member(field)) {
            return binding.edit;
        }
    }
    return nullptr;
}

// Shows why OK did not go through and puts the cursor where the fault is; always false.
bool CCfgDlg::refuse(QLineEdit *edit, const QString &text) {
    OperatorMessages::show(this, Notice{NoticeCaption::kError, text});
    if (edit) {
        edit->setFocus();
        edit->selectAll();
    }
    return false;
}

bool CCfgDlg::checkFields() {
    const SettingsCheck::Problem problem = SettingsCheck::firstProblem(m_record);
    return problem.text.isEmpty() || refuse(editFor(problem.field), problem.text);
}

bool CCfgDlg::makeMissingFolders() {
    for (const SettingsCheck::Field field : SettingsCheck::missingFolders(m_record)) {
        const QString folder = m_record.*SettingsCheck::member(field);
        QLineEdit *edit = editFor(field);
        if (!OperatorMessages::ask(
                this, QStringLiteral("%1“%2”不存在，是否创建？").arg(SettingsCheck::label(field), folder))) {
            edit->setFocus();
            return false;
        }
        const QString failure = FileMove::makeFolder(folder);
        if (!failure.isEmpty()) {
            return refuse(
                edit, QStringLiteral("无法创建%1“%2”：%3").arg(SettingsCheck::label(field), folder, failure));
        }
    }
    return true;
}

bool CCfgDlg::checkWritable() {
    const SettingsCheck::Problem problem = SettingsCheck::unwritableFolder(m_record, m_writeProbe);
    return problem.text.isEmpty() || refuse(editFor(problem.field), problem.text);
}

// Writes the allow-list to the filter file when the operator edited it, and reloads the filter. Types left
// as shown are not written: the file keeps its entries exactly (an empty one, two differing in case, one
// this form would refuse such as "tar.gz"), and a filter written meanwhile by another program stays.
bool CCfgDlg::writeFileTypes() {
    if (m_fileTypesEdit->text() == m_shownFileTypes && !m_shownFileTypes.isEmpty()) {
        return true;
    }
    QString text;
    QString bad;
    if (!FileTypeFilter::fromTypedList(m_fileTypesEdit->text(), &text, &bad)) {
        return refuse(
            m_fileTypesEdit,
            QStringLiteral("允许上传的文件类型中“%1”不是扩展名：请只填写扩展名，用冒号分开，如 txt:doc:pdf。")
                .arg(bad));
    }
    if (text.isEmpty()) {
        return refuse(m_fileTypesEdit,
                      QStringLiteral("请填写“允许上传的文件类型”，用冒号分开，如 txt:doc:pdf。"));
    }
    m_fileTypesEdit->setText(FileTypeFilter::typedList(text));
    m_filter.load();
    if (text == m_filter.text()) {
        return true;
    }
    using Outcome = FileTypeFilter::WriteResult::Outcome;
    const FileTypeFilter::WriteResult written = m_filter.write(text);
    switch (written.outcome) {
    case Outcome::Written:
        m_filter.load();
        return true;
    case Outcome::NoCodePage936Form:
    case Outcome::HoldsZeroByte:
        return refuse(m_fileTypesEdit,
                      QStringLiteral("“允许上传的文件类型”含有无法保存的字符，设置未保存。"));
    case Outcome::TooLong:
        return refuse(m_fileTypesEdit,
                      QStringLiteral("“允许上传的文件类型”过长（%1 字节，最多 %2 字节），设置未保存。")
                          .arg(written.storedBytes)
                          .arg(FileTypeFilter::kReadLimit));
    case Outcome::CannotWrite:
        break;
    }
    return refuse(m_fileTypesEdit,
                  QStringLiteral("无法写入文件类型文件 %1：%2").arg(m_filter.filePath(), written.error));
}

void CCfgDlg::onOk() {
    takeEdits();
    // The folders are checked again once created: a new folder may resolve through a link.
    if (!checkFields() || !makeMissingFolders() || !checkFields() || !checkWritable() || !takeInspection() ||
        !writeFileTypes()) {
        return;
    }
    takeAutomatic();
    const SettingsStore::SaveResult result = m_store.save(m_record);
    switch (result.outcome) {
    case SettingsStore::SaveResult::Outcome::Saved:
        accept();
        break;
    case SettingsStore::SaveResult::Outcome::Refused:
        break;
    case SettingsStore::SaveResult::Outcome::Failed:
        OperatorMessages::show(this, result.notice);
        break;
    }
}

void CCfgDlg::createInspectionControls(const DialogUnits &du) {
    auto *group = new QGroupBox(QStringLiteral("内容检查"), this);
    group->setObjectName(QStringLiteral("inspectionGroup"));
    group->setGeometry(du.rect(7, kInspectionTop, 214, kInspectionHeight));

    const auto named = [](QWidget *widget, const char *name, const QString &spoken) {
        widget->setObjectName(QLatin1String(name));
        widget->setAccessibleName(spoken);
    };
    const auto addLabel = [this, &du](const QString &text, const char *name, int top, QWidget *buddy) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QLatin1String(name));
        QRect geometry = du.rect(19, top, 40, 8);
        geometry.setWidth(std::max(geometry.width(), label->sizeHint().width()));
        label->setGeometry(geometry);
        label->setBuddy(buddy);
    };

    m_checkContentBox = new QCheckBox(QStringLiteral("检查文件真实类型"), this);
    named(m_checkContentBox, "checkContentBox", QStringLiteral("检查文件真实类型"));
    m_checkContentBox->setToolTip(QStringLiteral("添加记录时按内容判断文件类型，与扩展名不符的文件不添加"));
    m_checkContentBox->setGeometry(du.rect(19, 255, 92, 10));
    m_openArchivesBox = new QCheckBox(QStringLiteral("检查压缩包内容"), this);
    named(m_openArchivesBox, "openArchivesBox", QStringLiteral("检查压缩包内容"));
    m_openArchivesBox->setToolTip(
        QStringLiteral("添加记录时检查压缩包里的每个文件，含不允许类型的压缩包不添加"));
    m_openArchivesBox->setGeometry(du.rect(115, 255, 92, 10));

    m_scannerCombo = new QComboBox(this);
    named(m_scannerCombo, "scannerCombo", QStringLiteral("病毒扫描"));
    m_scannerCombo->addItems({QStringLiteral("无"), QStringLiteral("clamd")});
    m_scannerCombo->setGeometry(du.rect(61, 268, 50, 12));
    addLabel(QStringLiteral("病毒扫描"), "scannerLabel", 270, m_scannerCombo);
    m_testClamdButton = new QPushButton(QStringLiteral("测试连接"), this);
    named(m_testClamdButton, "testClamdButton", QStringLiteral("测试与病毒扫描服务的连接"));
    m_testClamdButton->setGeometry(du.rect(153, 267, 50, 14));
    connect(m_testClamdButton, &QPushButton::clicked, this, &CCfgDlg::onTestClamd);

    m_clamdSocketEdit = new QLineEdit(this);
    named(m_clamdSocketEdit, "clamdSocketEdit", QStringLiteral("ClamD 套接字路径"));
    m_clamdSocketEdit->setPlaceholderText(ClamdEndpoint::kDefaultSocket.toString());
    m_clamdSocketEdit->setGeometry(du.rect(66, 283, 143, 12));
    addLabel(QStringLiteral("套接字"), "clamdSocketLabel", 285, m_clamdSocketEdit);
    m_clamdAddressEdit = new QLineEdit(this);
    named(m_clamdAddressEdit, "clamdAddressEdit", QStringLiteral("ClamD 地址和端口"));
    m_clamdAddressEdit->setPlaceholderText(QStringLiteral("或 IPv4地址:端口，如 127.0.0.1:3310"));
    m_clamdAddressEdit->setGeometry(du.rect(66, 298, 143, 12));
    addLabel(QStringLiteral("地址"), "clamdAddressLabel", 300, m_clamdAddressEdit);

    // One line: the whole text is its tooltip and what a screen reader says.
    m_inspectionText = new QLabel(this);
    m_inspectionText->setObjectName(QStringLiteral("inspectionText"));
    m_inspectionText->setGeometry(du.rect(19, 313, 190, 10));
}

void CCfgDlg::showInspectionText(const QString &text) {
    m_inspectionText->setToolTip(text);
    m_inspectionText->setAccessibleName(text);
    m_inspectionText->setText(
        m_inspectionText->fontMetrics().elidedText(text, Qt::ElideRight, m_inspectionText->width()));
}

// The values as the record holds them: the socket and the address as written, whatever they mean.
void CCfgDlg::showInspection() {
    const InspectionSettings settings = InspectionSettings::from(m_record);
    m_checkContentBox->setChecked(settings.checkContent);
    m_openArchivesBox->setChecked(settings.openArchives);
    m_scannerCombo->setCurrentIndex(settings.scanner == InspectionSettings::Scanner::Clamd ? 1 : 0);
    m_clamdSocketEdit->setText(m_record.clamdSocket);
    m_clamdAddressEdit->setText(m_record.clamdAddress);
    showInspectionText(settings.problem.isEmpty() ? QString()
                                                  : QStringLiteral("设置有误：%1").arg(settings.problem));
}

InspectionSettings CCfgDlg::shownInspection() const {
    InspectionSettings settings;
    settings.checkContent = m_checkContentBox->isChecked();
    settings.openArchives = m_openArchivesBox->isChecked();
    settings.scanner = m_scannerCombo->currentIndex() == 1 ? InspectionSettings::Scanner::Clamd
                                                           : InspectionSettings::Scanner::None;
    settings.clamd = ClamdEndpoint::fromSettings(m_clamdSocketEdit->text(), m_clamdAddressEdit->text());
    return settings;
}

// Puts the group's values into the record; a clamd it could not reach by them is refused.
bool CCfgDlg::takeInspection() {
    const InspectionSettings settings = shownInspection();
    if (settings.scanner == InspectionSettings::Scanner::Clamd && !settings.clamd.valid()) {
        QLineEdit *edit =
            m_clamdAddressEdit->text().trimmed().isEmpty() ? m_clamdSocketEdit : m_clamdAddressEdit;
        showInspectionText(QStringLiteral("设置有误：%1").arg(settings.clamd.problem));
        return refuse(edit, QStringLiteral("病毒扫描设置有误：%1。").arg(settings.clamd.problem));
    }
    settings.applyTo(m_record);
    return true;
}

void CCfgDlg::onTestClamd() {
    const ClamdEndpoint endpoint =
        ClamdEndpoint::fromSettings(m_clamdSocketEdit->text(), m_clamdAddressEdit->text());
    if (!endpoint.valid()) {
        showInspectionText(QStringLiteral("设置有误：%1").arg(endpoint.problem));
        return;
    }
    m_testClamdButton->setEnabled(false);
    showInspectionText(QStringLiteral("正在连接 %1…").arg(endpoint.text()));
    m_clamdTest = QThread::create([this, endpoint] {
        const ClamdClient::Answer answer = ClamdClient(endpoint, kTestTiming).version();
        QMetaObject::invokeMethod(
            this,
            [this, answer] {
                m_testClamdButton->setEnabled(true);
                showInspectionText(answer.ok ? QStringLiteral("连接成功：%1").arg(answer.text)
                                             : answer.sentence());
            },
            Qt::QueuedConnection);
    });
    connect(m_clamdTest, &QThread::finished, m_clamdTest, &QObject::deleteLater);
    m_clamdTest->start();
}

void CCfgDlg::createAutomaticControls(const DialogUnits &du) {
    auto *group = new QGroupBox(QStringLiteral("自动上传"), this);
    group->setObjectName(QStringLiteral("automaticGroup"));
    group->setGeometry(du.rect(7, kAutomaticTop, 214, kAutomaticHeight));

    const QString settleLabel = settingOf(SettingsField::SettleSeconds).label.toString();
    m_settleSpin = new QSpinBox(this);
    m_settleSpin->setObjectName(QStringLiteral("settleSecondsSpin"));
    m_settleSpin->setAccessibleName(settleLabel);
    m_settleSpin->setRange(AutomaticSettings::kMinSettleSeconds, AutomaticSettings::kMaxSettleSeconds);
    m_settleSpin->setToolTip(QStringLiteral("自动上传子文件夹中的文件须保持不变这么多秒，且没有程序正在写入，"
                                            "才自动加入上传队列（%1 到 %2 秒）")
                                 .arg(AutomaticSettings::kMinSettleSeconds)
                                 .arg(AutomaticSettings::kMaxSettleSeconds));
    m_settleSpin->setGeometry(du.rect(66, kAutomaticTop + 12, 44, 12));
    auto *label = new QLabel(settleLabel, this);
    label->setObjectName(QStringLiteral("settleSecondsLabel"));
    QRect geometry = du.rect(19, kAutomaticTop + 14, 45, 8);
    geometry.setWidth(std::max(geometry.width(), label->sizeHint().width()));
    label->setGeometry(geometry);
    label->setBuddy(m_settleSpin);

    const QString startLabel = settingOf(SettingsField::StartUploading).label.toString();
    m_startUploadingBox = new QCheckBox(startLabel, this);
    m_startUploadingBox->setObjectName(QStringLiteral("startUploadingBox"));
    m_startUploadingBox->setAccessibleName(startLabel);
    m_startUploadingBox->setToolTip(QStringLiteral("软件启动后即开始上传队列中的文件，无需点击“开始上传”"));
    m_startUploadingBox->setGeometry(du.rect(120, kAutomaticTop + 13, 92, 10));

    m_automaticText = new QLabel(this);
    m_automaticText->setObjectName(QStringLiteral("automaticText"));
    m_automaticText->setGeometry(du.rect(19, kAutomaticTop + 27, 190, 10));
}

// The values the station uses; a settle time the file holds out of range is shown as used, and said.
void CCfgDlg::showAutomatic() {
    const AutomaticSettings settings = AutomaticSettings::from(m_record);
    m_settleSpin->setValue(settings.settleSeconds);
    m_startUploadingBox->setChecked(settings.startUploading);
    const QString text =
        settings.problem.isEmpty() ? QString() : QStringLiteral("设置有误：%1").arg(settings.problem);
    m_automaticText->setToolTip(text);
    m_automaticText->setAccessibleName(text);
    m_automaticText->setText(
        m_automaticText->fontMetrics().elidedText(text, Qt::ElideRight, m_automaticText->width()));
}

void CCfgDlg::takeAutomatic() {
    AutomaticSettings settings = AutomaticSettings::from(m_record);
    settings.settleSeconds = m_settleSpin->value();
    settings.startUploading = m_startUploadingBox->isChecked();
    settings.applyTo(m_record);
}
