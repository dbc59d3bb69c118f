#include "ui/multi_download_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "app/file_code.h"
#include "app/ini_file.h"
#include "app/text_lookup.h"
#include "engine/intel_hex.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/prompts.h"
#include "ui/choosers.h"

namespace fendrel::ui {
namespace {

QString Text(int id) {
    return QString::fromStdString(GetText(id));
}

// The port list's size on this page.
constexpr QSize kListSize(599, 225);
// The longest image folder taken from the registry, as the page's buffer holds.
constexpr std::size_t kMaxFolderLength = 260;
// The baud rates of the (hidden) baud list.
const char* const kBaudRates[] = {"115200", "230400", "460800"};
// The RAM programmers looked for, in this order; the last one found is converted.
const char* const kProgrammers[] = {"MPRG8X25Q.hex", "MPRG8X25.hex", "MPRG7627A.hex"};
// What the page hands a worker for an empty SPC field.
constexpr char kDefaultServiceCode[] = "731406";

template <typename Widget>
Widget* Named(Widget* widget, int id, bool hidden = false) {
    widget->setObjectName(QString::number(id));
    widget->setVisible(!hidden);
    return widget;
}

bool Opens(const std::string& path) {
    return platform::OpenInputFile(path) != nullptr;
}

}  // namespace

CMultiDownloadPage::CMultiDownloadPage(const PageServices& services, QWidget* parent)
    : DownloadPage(services, parent),
      pass_edit_(Named(new QLineEdit(this), 1107)),
      fail_edit_(Named(new QLineEdit(this), 1108)),
      information_edit_(Named(new QLineEdit(this), 1102, true)),
      folder_edit_(Named(new QLineEdit(this), 1038)),
      spc_edit_(Named(new QLineEdit(this), 1089, true)),
      browse_(Named(new QPushButton(this), 1041)),
      refresh_(Named(new QPushButton(this), 1036)),
      start_all_(Named(new QPushButton(this), 1017)),
      baud_list_(Named(new QComboBox(this), 1021, true)),
      file_path_box_(Named(new QCheckBox(this), 1040, true)),
      esn_box_(Named(new QCheckBox(QStringLiteral("ESN"), this), 1013, true)),
      rf_box_(Named(new QCheckBox(QStringLiteral("RF"), this), 1016, true)),
      option_6800_box_(Named(new QCheckBox(QStringLiteral("6800"), this), 1088, true)),
      erase_box_(Named(new QCheckBox(QStringLiteral("Erase"), this), 1090, true)),
      spc_box_(Named(new QCheckBox(QStringLiteral("SPC"), this), 1042, true)) {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(kBackground));
    setPalette(colours);

    pass_edit_->setReadOnly(true);
    fail_edit_->setReadOnly(true);
    folder_edit_->setReadOnly(true);
    spc_edit_->setMaxLength(6);
    for (const char* rate : kBaudRates)
        baud_list_->addItem(QString::fromLatin1(rate));
    auto* software_label = Named(new QLabel(QStringLiteral("software:"), this), 1105, true);
    auto* before_label = Named(new QLabel(Text(text::kSoftwareBeforeUpgrade), this), 1106, true);
    auto* status_icon = Named(new QLabel(this), 1101, true);
    auto* baud_group = Named(new QGroupBox(Text(text::kBaudRateGroup), this), 1022, true);
    auto* backup_group = Named(new QGroupBox(Text(text::kBackupRestoreGroup), this), 1012, true);
    auto* trust_group = Named(new QGroupBox(QStringLiteral("TrustMode"), this), 0, true);
    (void)software_label, (void)before_label, (void)status_icon, (void)baud_group,
        (void)backup_group, (void)trust_group;

    // Captions.
    file_path_box_->setText(Text(text::kFilePath));
    browse_->setText(Text(text::kBrowse));
    esn_box_->setText(Text(text::kEsn));
    rf_box_->setText(Text(text::kRf));
    start_all_->setText(Text(text::kStartAll));
    refresh_->setText(Text(text::kRefreshPort));
    file_path_box_->setChecked(true);
    browse_->setEnabled(true);

    LoadConfiguration();

    auto* layout = new QGridLayout(this);
    auto* folder_label = new QLabel(Text(text::kFilePath), this);
    layout->addWidget(folder_label, 0, 0);
    layout->addWidget(folder_edit_, 0, 1, 1, 3);
    layout->addWidget(browse_, 0, 4);
    layout->addWidget(new QLabel(QStringLiteral("PASS:"), this), 1, 0);
    layout->addWidget(pass_edit_, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("FAIL:"), this), 1, 2);
    layout->addWidget(fail_edit_, 1, 3);
    layout->addWidget(list_, 2, 0, 1, 5, Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(refresh_, 3, 0, 1, 2);
    layout->addWidget(start_all_, 3, 2, 1, 3);
    layout->setRowStretch(4, 1);
    list_->setFixedSize(kListSize);

    connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
    connect(refresh_, &QPushButton::clicked, this, [this] { Refresh(); });
    connect(start_all_, &QPushButton::clicked, this, [this] { StartAll(); });
    connect(file_path_box_, &QCheckBox::clicked, this,
            [this](bool checked) { browse_->setEnabled(checked); });
    connect(esn_box_, &QCheckBox::clicked, this, [this] { OnEsnOrRf(true); });
    connect(rf_box_, &QCheckBox::clicked, this, [this] { OnEsnOrRf(false); });
    connect(spc_box_, &QCheckBox::clicked, this, [this](bool checked) {
        spc_edit_->setEnabled(checked);
        spc_edit_->clear();
    });
    SetIdleButtons(start_all_, refresh_);

    const int widths[7] = {105, 98, 98, 294, 0, 0, 0};
    BuildColumns(widths);
    BuildRows();
    LoadRegistry();
}

void CMultiDownloadPage::LoadConfiguration() {
    bool baud_box = true, esn_check = true, rf_check = true;
    int baud_rate = 0;
    bool erase = true, backup_esn = false, backup_rf = false;
    if (CheckConfigFile(services_.config_path)) {
        const CIniFile ini(services_.config_path);
        baud_box = ini.GetInt(config::kBaudRateBox) != 0;
        esn_check = ini.GetInt(config::kEsnCheck) != 0;
        rf_check = ini.GetInt(config::kRfCheck) != 0;
        baud_rate = ini.GetInt(config::kBaudRate);
        erase = ini.GetInt(config::kEraseEfs) != 0;
        backup_esn = ini.GetInt(config::kBackupEsn) != 0;
        backup_rf = ini.GetInt(config::kBackupRf) != 0;
    }
    baud_list_->setEnabled(baud_box);
    esn_box_->setEnabled(esn_check);
    rf_box_->setEnabled(rf_check);
    baud_list_->setCurrentIndex(baud_rate >= 0 && baud_rate < baud_list_->count() ? baud_rate : -1);
    erase_box_->setChecked(erase);
    esn_box_->setChecked(backup_esn);
    rf_box_->setChecked(backup_rf);
    start_all_->setFont(button_font_);
    refresh_->setFont(list_font_);
    start_all_->setEnabled(true);
    refresh_->setEnabled(true);
    spc_box_->setChecked(false);
}

void CMultiDownloadPage::LoadRegistry() {
    std::optional<platform::SettingsKey> key = FendrelKey();
    if (!key)
        return;
    pass_edit_->setText(QString::number(key->QueryDword("iPass").value_or(0)));
    fail_edit_->setText(QString::number(key->QueryDword("iFail").value_or(0)));
    std::string folder = key->QueryString("sPath").value_or("");
    if (folder.size() >= kMaxFolderLength)
        folder.resize(kMaxFolderLength - 1);
    image_folder_ = folder;
    folder_edit_->setText(QString::fromStdString(image_folder_));
}

void CMultiDownloadPage::OnEsnOrRf(bool esn) {
    QCheckBox* box = esn ? esn_box_ : rf_box_;
    QCheckBox* other = esn ? rf_box_ : esn_box_;
    if (box->isChecked()) {
        spc_box_->setEnabled(true);
    } else if (!other->isChecked()) {
        spc_box_->setEnabled(false);
        spc_edit_->setEnabled(false);
        spc_box_->setChecked(false);
    }
}

DOWNLOAD_PARAM CMultiDownloadPage::Settings() const {
    DOWNLOAD_PARAM params;
    params.baud_rate = baud_list_->currentText().toInt();
    params.image_folder = image_folder_;
    params.flash_type = "MULTI";
    params.service_code = spc_edit_->text().toStdString();
    if (params.service_code.empty())
        params.service_code = kDefaultServiceCode;
    params.erase_efs = erase_box_->isChecked() ? 1 : 0;
    params.backup_esn = esn_box_->isChecked() ? 1 : 0;
    params.backup_rf = rf_box_->isChecked() ? 1 : 0;
    params.extra_weight = option_6800_box_->isChecked() ? 1 : 0;
    return params;
}

void CMultiDownloadPage::OnRowButton(int row) {
    if (image_folder_.empty()) {
        platform::ShowMessage("pls check the right path");
        return;
    }
    if (StopIfRunning(row))
        return;
    ResetRow(row);
    if (row >= 0 && row < list_->GetItemCount()) {
        failure_counted_.resize(static_cast<std::size_t>(list_->GetItemCount()));
        failure_counted_[static_cast<std::size_t>(row)] = false;
    }
    StartWorker(row, Settings());
}

void CMultiDownloadPage::StartAll() {
    if (image_folder_.empty()) {
        platform::ShowMessage("pls check the right path");
        return;
    }
    for (int row = 0; row < list_->GetItemCount(); ++row)
        OnRowButton(row);
}

void CMultiDownloadPage::Browse() {
    if (std::optional<platform::SettingsKey> key = FendrelKey())
        pass_edit_->setText(QString::number(key->QueryDword("iPass").value_or(0)));
    const std::optional<std::string> chosen = services_.choosers.ChooseOpenFile(
        this, QStringLiteral("choose rawprogram*.xml file"), QStringLiteral("rawprogram*.xml"),
        QStringLiteral(".xml (*.xml)"));
    if (chosen && !chosen->empty()) {
        const std::size_t last = chosen->find_last_of(platform::kPathSeparator);
        image_folder_ = last == std::string::npos ? std::string() : chosen->substr(0, last + 1);
        if (std::optional<platform::SettingsKey> key = FendrelKey())
            key->SetString("sPath", image_folder_);
        folder_edit_->setText(QString::fromStdString(image_folder_));
    }
    ConvertProgrammer();
}

void CMultiDownloadPage::ConvertProgrammer() {
    // A version folder holds its programmers itself; any other keeps them in VERSION below it.
    const bool version_folder = image_folder_.find("sion") != std::string::npos ||
                                image_folder_.find("SION") != std::string::npos;
    std::string source;
    for (const char* name : kProgrammers) {
        const std::string candidate =
            image_folder_ +
            (version_folder ? std::string(name) : platform::JoinPath("VERSION", name));
        if (!Opens(candidate))
            continue;
        source = candidate;
        programmer_binary_ = candidate.substr(0, candidate.size() - 4) + ".bin";
        services_.workers.clock.Sleep(kProgrammerPause);
    }
    if (!source.empty())
        ConvertHexFile(source, programmer_binary_);
}

void CMultiDownloadPage::OnEnd() {
    information_edit_->clear();
}

void CMultiDownloadPage::OnPassCounted(std::optional<std::uint32_t> count) {
    if (count)
        pass_edit_->setText(QString::number(*count));
}

bool CMultiDownloadPage::OnError(int row) {
    ShowFailure(row);
    if (row >= 0) {
        failure_counted_.resize(std::max(failure_counted_.size(), std::size_t(row) + 1));
        if (failure_counted_[static_cast<std::size_t>(row)])
            return true;
        failure_counted_[static_cast<std::size_t>(row)] = true;
    }
    if (std::optional<platform::SettingsKey> key = FendrelKey()) {
        if (const std::optional<std::uint32_t> count = key->IncrementDword("iFail"))
            fail_edit_->setText(QString::number(*count));
    }
    return true;
}

}  // namespace fendrel::ui
