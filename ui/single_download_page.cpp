#include "ui/single_download_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "app/file_code.h"
#include "app/registry_keys.h"
#include "app/text_lookup.h"
#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/prompts.h"
#include "ui/choosers.h"

namespace fendrel::ui {
namespace {

QString Text(int id) {
    return QString::fromStdString(GetText(id));
}

constexpr QSize kListSize(900, 225);
const char* const kBaudRates[] = {"115200", "230400", "460800"};
constexpr char kDefaultServiceCode[] = "731406";
// The registry lists: values FILE00 up to this many.
constexpr int kMaxListedFiles = 10;
// What the app folder scan looks for, in this order.
const std::string_view kAppSuffixes[] = {".mbn", ".hex", ".txt"};

template <typename Widget>
Widget* Named(Widget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

bool Opens(const std::string& path) {
    return !path.empty() && platform::OpenInputFile(path) != nullptr;
}

std::string ValueName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "FILE%02d", index);
    return name;
}

// The folder text without the space that follows a chosen folder.
std::string WithoutSpace(const std::string& folder) {
    return folder.empty() ? folder : folder.substr(0, folder.size() - 1);
}

}  // namespace

const QString CSingleDownloadPage::kFolderChooserTitle = QStringLiteral("选择文件夹 ");

CSingleDownloadPage::CSingleDownloadPage(const PageServices& services, QWidget* parent)
    : DownloadPage(services, parent),
      app_box_(Named(new QCheckBox(this), 1001)),
      app_combo_(Named(new QComboBox(this), 1002)),
      app_browse_(Named(new QPushButton(this), 1003)),
      boot_box_(Named(new QCheckBox(this), 1004)),
      boot_combo_(Named(new QComboBox(this), 1005)),
      boot_browse_(Named(new QPushButton(this), 1006)),
      erase_group_(Named(new QGroupBox(this), 1010)),
      erase_box_(Named(new QCheckBox(QStringLiteral("ERASE"), this), 1043)),
      esn_box_(Named(new QCheckBox(this), 1013)),
      rf_box_(Named(new QCheckBox(this), 1016)),
      baud_list_(Named(new QComboBox(this), 1021)),
      spc_box_(Named(new QCheckBox(QStringLiteral("SPC"), this), 1042)),
      spc_edit_(Named(new QLineEdit(this), 1089)),
      start_all_(Named(new QPushButton(this), 1017)),
      refresh_(Named(new QPushButton(this), 1036)) {
    for (QComboBox* combo : {app_combo_, boot_combo_}) {
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumWidth(420);
    }
    for (const char* rate : kBaudRates)
        baud_list_->addItem(QString::fromLatin1(rate));  // already in sorted order
    spc_edit_->setMaxLength(6);
    // The boot side and the SPC controls start as the page's template has them.
    for (QWidget* widget : {static_cast<QWidget*>(boot_box_), static_cast<QWidget*>(boot_combo_),
                            static_cast<QWidget*>(boot_browse_)}) {
        widget->setVisible(false);
        widget->setEnabled(false);
    }
    spc_box_->setEnabled(false);
    spc_edit_->setEnabled(false);

    auto* backup_group = Named(new QGroupBox(Text(text::kBackupRestoreGroup), this), 1012);
    auto* baud_group = Named(new QGroupBox(Text(text::kBaudRateGroup), this), 1022);
    auto* spc_group = new QGroupBox(QStringLiteral("SPC"), this);

    LoadFileLists();
    app_box_->setText(Text(text::kAppImageBox));
    boot_box_->setText(Text(text::kBootImageBox));
    app_browse_->setText(Text(text::kBrowse));
    boot_browse_->setText(Text(text::kBrowse));
    erase_group_->setTitle(Text(text::kEraseEfsGroup));
    esn_box_->setText(Text(text::kEsn));
    rf_box_->setText(Text(text::kRf));
    start_all_->setText(Text(text::kStartAll));
    refresh_->setText(Text(text::kRefreshPort));

    if (CheckConfigFile(services_.config_path)) {
        ini_ = std::make_unique<CIniFile>(services_.config_path);
        ApplyConfiguration();
    } else {
        ApplyDefaults();
    }
    erase_box_->setEnabled(false);
    const int pages = ini_ ? ini_->GetInt(config::kPages) : 0;
    if (pages != 1) {
        erase_group_->setEnabled(true);
        erase_box_->setEnabled(true);
        spc_box_->setEnabled(false);
        spc_edit_->setEnabled(false);
    }

    // Layout: images on top, the option groups in a row, the buttons, the port list.
    auto* layout = new QVBoxLayout(this);
    auto* images = new QGridLayout;
    images->addWidget(app_box_, 0, 0);
    images->addWidget(app_combo_, 0, 1);
    images->addWidget(app_browse_, 0, 2);
    images->addWidget(boot_box_, 1, 0);
    images->addWidget(boot_combo_, 1, 1);
    images->addWidget(boot_browse_, 1, 2);
    images->setColumnStretch(3, 1);
    layout->addLayout(images);
    auto* options = new QHBoxLayout;
    (new QVBoxLayout(erase_group_))->addWidget(erase_box_);
    auto* backup_layout = new QVBoxLayout(backup_group);
    backup_layout->addWidget(esn_box_);
    backup_layout->addWidget(rf_box_);
    (new QVBoxLayout(baud_group))->addWidget(baud_list_);
    auto* spc_layout = new QVBoxLayout(spc_group);
    spc_layout->addWidget(spc_box_);
    spc_layout->addWidget(spc_edit_);
    for (QGroupBox* group : {erase_group_, backup_group, baud_group, spc_group})
        options->addWidget(group);
    options->addStretch(1);
    layout->addLayout(options);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_all_);
    buttons->addWidget(refresh_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addWidget(list_, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addStretch(1);
    list_->setFixedSize(kListSize);

    connect(app_browse_, &QPushButton::clicked, this, [this] { BrowseApp(); });
    connect(boot_browse_, &QPushButton::clicked, this, [this] { BrowseBoot(); });
    connect(app_box_, &QCheckBox::clicked, this, [this](bool checked) {
        app_combo_->setEnabled(checked);
        app_browse_->setEnabled(checked);
    });
    connect(boot_box_, &QCheckBox::clicked, this, [this](bool checked) {
        boot_combo_->setEnabled(checked);
        boot_browse_->setEnabled(checked);
    });
    connect(spc_box_, &QCheckBox::clicked, this, [this] { OnSpcBox(); });
    connect(erase_box_, &QCheckBox::clicked, this, [this] { OnEraseBox(); });
    connect(esn_box_, &QCheckBox::clicked, this, [this] { OnBackupBox(true); });
    connect(rf_box_, &QCheckBox::clicked, this, [this] { OnBackupBox(false); });
    connect(start_all_, &QPushButton::clicked, this, [this] { StartAll(); });
    connect(refresh_, &QPushButton::clicked, this, [this] { Refresh(); });
    SetIdleButtons(start_all_, refresh_);

    const int widths[7] = {105, 70, 120, 340, 90, 90, 105};
    BuildColumns(widths);
    BuildRows();
}

CSingleDownloadPage::~CSingleDownloadPage() {
    SaveFileList(registry::kAppFileListKey, *app_combo_);
    SaveFileList(registry::kBootFileListKey, *boot_combo_);
}

void CSingleDownloadPage::LoadFileLists() {
    const std::pair<std::string_view, QComboBox*> lists[] = {
        {registry::kAppFileListKey, app_combo_}, {registry::kBootFileListKey, boot_combo_}};
    for (const auto& [key_path, combo] : lists) {
        std::optional<platform::SettingsKey> key =
            services_.settings.OpenKey(platform::Hive::kLocalMachine, key_path);
        for (int index = 0; key && index < kMaxListedFiles; ++index) {
            const std::optional<std::string> file = key->QueryString(ValueName(index));
            if (!file)
                break;
            if (Opens(*file))
                combo->addItem(QString::fromStdString(*file));
        }
        combo->setCurrentIndex(combo->count() > 0 ? 0 : -1);
    }
}

void CSingleDownloadPage::SaveFileList(std::string_view key_path, const QComboBox& combo) const {
    std::optional<platform::SettingsKey> key =
        services_.settings.OpenKey(platform::Hive::kLocalMachine, key_path);
    for (int index = 0; key && index < combo.count(); ++index)
        key->SetString(ValueName(index), combo.itemText(index).toStdString());
}

void CSingleDownloadPage::ApplyConfiguration() {
    const CIniFile& ini = *ini_;
    app_box_->setEnabled(ini.GetInt(config::kAppCheck) != 0);
    app_combo_->setEnabled(ini.GetInt(config::kAppCombo) != 0);
    app_browse_->setEnabled(ini.GetInt(config::kAppButton) != 0);
    boot_box_->setEnabled(ini.GetInt(config::kBootCheck) != 0);
    boot_combo_->setEnabled(ini.GetInt(config::kBootCombo) != 0);
    boot_browse_->setEnabled(ini.GetInt(config::kBootButton) != 0);
    baud_list_->setEnabled(ini.GetInt(config::kBaudRateBox) != 0);
    esn_box_->setEnabled(ini.GetInt(config::kEsnCheck) != 0);
    rf_box_->setEnabled(ini.GetInt(config::kRfCheck) != 0);
    start_all_->setFont(button_font_);
    refresh_->setFont(button_font_);
    start_all_->setEnabled(true);
    refresh_->setEnabled(true);
    app_box_->setChecked(ini.GetInt(config::kAppSelect) != 0);
    const std::string app_file = ini.GetString(config::kAppFile);
    if (!app_file.empty()) {
        InsertEntry(*app_combo_,
                    QString::fromStdString(platform::ProgramDirectory() +
                                           platform::NativePath("App\\") + app_file + ".img"));
    }
    boot_box_->setChecked(ini.GetInt(config::kBootSelect) != 0);
    const std::string boot_file = ini.GetString(config::kBootFile);
    if (!boot_file.empty()) {
        InsertEntry(*boot_combo_,
                    QString::fromStdString(platform::ProgramDirectory() +
                                           platform::NativePath("Boot\\") + boot_file + ".img"));
    }
    const int baud_rate = ini.GetInt(config::kBaudRate);
    baud_list_->setCurrentIndex(baud_rate >= 0 && baud_rate < baud_list_->count() ? baud_rate : -1);
    erase_box_->setChecked(ini.GetInt(config::kEraseEfs) != 0);
    esn_box_->setChecked(ini.GetInt(config::kBackupEsn) != 0);
    rf_box_->setChecked(ini.GetInt(config::kBackupRf) != 0);
}

void CSingleDownloadPage::ApplyDefaults() {
    for (QWidget* widget : {static_cast<QWidget*>(app_box_), static_cast<QWidget*>(app_combo_),
                            static_cast<QWidget*>(app_browse_), static_cast<QWidget*>(boot_box_),
                            static_cast<QWidget*>(baud_list_), static_cast<QWidget*>(esn_box_),
                            static_cast<QWidget*>(rf_box_)})
        widget->setEnabled(true);
    boot_combo_->setEnabled(false);
    boot_browse_->setEnabled(false);
    start_all_->setFont(button_font_);
    refresh_->setFont(button_font_);
    start_all_->setEnabled(true);
    refresh_->setEnabled(true);
    app_box_->setChecked(true);
    boot_box_->setChecked(false);
    baud_list_->setCurrentIndex(0);
    erase_box_->setChecked(true);
    esn_box_->setChecked(false);
    rf_box_->setChecked(false);
}

void CSingleDownloadPage::InsertEntry(QComboBox& combo, const QString& text) {
    if (combo.count() > kMaxComboEntries)
        combo.removeItem(combo.count() - 1);
    combo.insertItem(0, text);
    combo.setCurrentIndex(0);
}

// ---- Browsing ----

bool CSingleDownloadPage::ScanFiles(const std::string& folder, std::string_view suffix,
                                    std::deque<std::string>& files) {
    namespace fs = std::filesystem;
    std::error_code code;
    fs::directory_iterator entries(folder, code);
    if (code)
        return false;  // nothing found there
    bool found = false;
    for (; entries != fs::directory_iterator(); entries.increment(code)) {
        if (code)
            break;
        const std::string name = entries->path().filename().string();
        std::error_code kind;
        if (entries->is_directory(kind) || name.size() <= suffix.size() ||
            !platform::EqualsIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix))
            continue;
        files.push_front(platform::JoinPath(folder, name));
        found = true;
    }
    if (code) {
        platform::ShowMessage("Can not find next!");
        return false;
    }
    return found;
}

void CSingleDownloadPage::ScanAppFolder(const std::string& folder) {
    for (const std::string_view suffix : kAppSuffixes) {
        if (!ScanFiles(folder, suffix, app_files_))
            return;
    }
    platform::ShowMessage("Read All!");
}

void CSingleDownloadPage::CollectSubfolders(const std::string& folder) {
    namespace fs = std::filesystem;
    if (folder.empty())
        return;
    std::error_code code;
    for (fs::directory_iterator entries(folder, code), end; !code && entries != end;
         entries.increment(code)) {
        std::error_code kind;
        // Links to folders are not followed: one that points back up would never end.
        if (entries->is_symlink(kind) || !entries->is_directory(kind))
            continue;
        const std::string path = entries->path().string();
        subfolders_.push_front(path);
        CollectSubfolders(path);
    }
}

std::optional<std::string> CSingleDownloadPage::ChooseFolder(QComboBox& combo,
                                                             std::string& folder) {
    const std::optional<std::string> chosen =
        services_.choosers.ChooseFolder(this, kFolderChooserTitle);
    if (!chosen)
        return std::nullopt;
    folder = *chosen + ' ';
    std::string entry = *chosen;
    if (entry.empty() || entry.back() != platform::kPathSeparator)
        entry += platform::kPathSeparator;
    InsertEntry(combo, QString::fromStdString(entry));
    return chosen;
}

void CSingleDownloadPage::BrowseApp() {
    const std::optional<std::string> chosen = ChooseFolder(*app_combo_, app_folder_);
    if (!chosen)
        return;
    app_files_.clear();
    subfolders_.clear();
    ScanAppFolder(*chosen);
    CollectSubfolders(*chosen);
    while (!subfolders_.empty()) {
        const std::string next = subfolders_.front();
        subfolders_.pop_front();
        ScanAppFolder(next);
    }
}

void CSingleDownloadPage::BrowseBoot() {
    const std::optional<std::string> chosen = ChooseFolder(*boot_combo_, boot_folder_);
    if (!chosen)
        return;
    boot_files_.clear();
    if (!ScanFiles(*chosen, ".img", boot_files_) && boot_files_.empty())
        platform::ShowMessage("wrong path,pls choose again");
}

// ---- Options ----

void CSingleDownloadPage::OnSpcBox() {
    spc_edit_->setEnabled(spc_box_->isChecked());
    spc_edit_->clear();
}

void CSingleDownloadPage::OnEraseBox() {
    if (erase_box_->isChecked()) {
        spc_box_->setEnabled(false);
        spc_edit_->setEnabled(false);
        spc_box_->setChecked(false);
    } else if (esn_box_->isChecked() || rf_box_->isChecked()) {
        spc_box_->setEnabled(true);
        spc_edit_->setEnabled(true);
    }
}

void CSingleDownloadPage::OnBackupBox(bool esn) {
    QCheckBox* box = esn ? esn_box_ : rf_box_;
    QCheckBox* other = esn ? rf_box_ : esn_box_;
    if (box->isChecked()) {
        if (!erase_box_->isChecked())
            spc_box_->setEnabled(true);
    } else if (!other->isChecked()) {
        spc_box_->setEnabled(false);
        spc_edit_->setEnabled(false);
        spc_box_->setChecked(false);
    }
}

// ---- Starting ----

bool CSingleDownloadPage::ImageReady(const QCheckBox& box, const QComboBox& combo,
                                     const std::string& path, int select_text, int missing_text) {
    if (!box.isChecked())
        return true;
    if (combo.currentIndex() < 0 || combo.currentText().isEmpty()) {
        platform::ShowMessage(GetText(select_text));
        return false;
    }
    if (!Opens(path)) {
        platform::ShowMessage(GetText(missing_text));
        return false;
    }
    return true;
}

void CSingleDownloadPage::StartAll() {
    // Here the selected entries must be files; a row's start takes the newest file found.
    if (!ImageReady(*app_box_, *app_combo_, app_combo_->currentText().toStdString(),
                    text::kSelectAppFile, text::kCanNotFindAppFile) ||
        !ImageReady(*boot_box_, *boot_combo_, boot_combo_->currentText().toStdString(),
                    text::kSelectBootFile, text::kCanNotFindBootFile))
        return;
    for (int row = 0; row < list_->GetItemCount(); ++row)
        OnRowButton(row);
}

void CSingleDownloadPage::OnRowButton(int row) {
    if (StopIfRunning(row))
        return;
    ResetRow(row);
    DOWNLOAD_PARAM params;
    params.baud_rate = baud_list_->currentIndex() < 0 ? 0 : baud_list_->currentText().toInt();
    if (app_box_->isChecked() && !app_files_.empty())
        params.app_path = app_files_.front();
    if (boot_box_->isChecked() && !boot_files_.empty())
        params.boot_path = boot_files_.front();
    if (!ImageReady(*app_box_, *app_combo_, params.app_path, text::kSelectAppFile,
                    text::kCanNotFindAppFile) ||
        !ImageReady(*boot_box_, *boot_combo_, params.boot_path, text::kSelectBootFile,
                    text::kCanNotFindBootFile))
        return;
    params.service_code = spc_edit_->text().toStdString();
    if (params.service_code.empty())
        params.service_code = kDefaultServiceCode;
    params.image_folder =
        WithoutSpace(!boot_folder_.empty() ? boot_folder_ : app_folder_) + platform::kPathSeparator;
    params.flash_type = "MULTI";
    params.erase_efs = erase_box_->isChecked() ? 1 : 0;
    params.backup_esn = esn_box_->isChecked() ? 1 : 0;
    params.backup_rf = rf_box_->isChecked() ? 1 : 0;
    params.check_sum = ini_ ? ini_->GetInt(config::kCheckSum) : 0;
    params.check_match = ini_ ? ini_->GetInt(config::kCheckMatch) : 0;
    StartWorker(row, params);
}

}  // namespace fendrel::ui
