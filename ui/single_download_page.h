// CSingleDownloadPage: the page for upgrading phones from an app folder (and, where a site
// offers it, a boot folder) with the options of a service counter: baud rate, erase EFS, ESN and
// RF backup, the service programming code. Every listed port is a row with its own worker. The
// recent app and boot entries live in the registry between runs.
#pragma once

#include <deque>

#include "app/ini_file.h"
#include "ui/download_page.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;

namespace fendrel::ui {

class CSingleDownloadPage final : public DownloadPage {
  public:
    // The title of the folder chooser: "choose a folder", with its trailing space.
    static const QString kFolderChooserTitle;
    // A combo box keeps at most this many entries before it takes a new one at the top.
    static constexpr int kMaxComboEntries = 10;

    CSingleDownloadPage(const PageServices& services, QWidget* parent = nullptr);
    // Saves the combo boxes' entries, then the workers are retired.
    ~CSingleDownloadPage() override;

    // The files the last browse collected, the one found last first.
    const std::deque<std::string>& app_files() const { return app_files_; }
    const std::deque<std::string>& boot_files() const { return boot_files_; }

    // The handlers of the page's buttons.
    void BrowseApp();
    void BrowseBoot();
    void Refresh() { BuildRows(); }
    void StartAll();

  protected:
    void OnRowButton(int row) override;
    bool OnError(int row) override { return row < 0; }  // no row: nothing at all

  private:
    void LoadFileLists();
    void SaveFileList(std::string_view key_path, const QComboBox& combo) const;
    void ApplyConfiguration();
    void ApplyDefaults();
    // Puts `text` at the top of `combo` and selects it.
    static void InsertEntry(QComboBox& combo, const QString& text);
    // Adds the folder's own files that end in `suffix` at the head of `files`; false when none
    // matched or the listing failed (after telling so).
    static bool ScanFiles(const std::string& folder, std::string_view suffix,
                          std::deque<std::string>& files);
    void ScanAppFolder(const std::string& folder);
    void CollectSubfolders(const std::string& folder);

    // Shows the folder chooser; the chosen folder goes into `folder` (with its space) and, with a
    // separator, at the top of `combo`. None when cancelled.
    std::optional<std::string> ChooseFolder(QComboBox& combo, std::string& folder);
    // True unless `box` is ticked and `combo` has no selected entry (text `select_text`) or
    // `path` does not open (text `missing_text`), which the operator is told.
    static bool ImageReady(const QCheckBox& box, const QComboBox& combo, const std::string& path,
                           int select_text, int missing_text);

    void OnSpcBox();
    void OnEraseBox();
    void OnBackupBox(bool esn);

    std::unique_ptr<CIniFile> ini_;  // null when config.ini was refused
    std::string app_folder_;         // the chosen folder, followed by one space
    std::string boot_folder_;
    std::deque<std::string> app_files_;
    std::deque<std::string> boot_files_;
    std::deque<std::string> subfolders_;

    QCheckBox* app_box_;
    QComboBox* app_combo_;
    QPushButton* app_browse_;
    QCheckBox* boot_box_;
    QComboBox* boot_combo_;
    QPushButton* boot_browse_;
    QGroupBox* erase_group_;
    QCheckBox* erase_box_;
    QCheckBox* esn_box_;
    QCheckBox* rf_box_;
    QComboBox* baud_list_;
    QCheckBox* spc_box_;
    QLineEdit* spc_edit_;
    QPushButton* start_all_;
    QPushButton* refresh_;
};

}  // namespace fendrel::ui
