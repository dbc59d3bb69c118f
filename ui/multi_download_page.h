// CMultiDownloadPage: the page for upgrading many phones at once from one image folder, chosen by
// picking the folder's rawprogram*.xml. Every listed port is a row with its own worker; the page
// hands each the flash type "MULTI" and the folder, converts the folder's RAM programmer from
// Intel HEX after each browse, and keeps the pass and fail counters of the registry.
#pragma once

#include "ui/download_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QGroupBox;

namespace fendrel::ui {

class CMultiDownloadPage final : public DownloadPage {
  public:
    // The page's background colour.
    static constexpr QRgb kBackground = qRgb(204, 218, 242);
    // The pause after finding each programmer candidate.
    static constexpr std::chrono::milliseconds kProgrammerPause{1000};

    CMultiDownloadPage(const PageServices& services, QWidget* parent = nullptr);

    const std::string& image_folder() const { return image_folder_; }
    // The binary the last programmer conversion wrote; empty before the first.
    const std::string& programmer_binary() const { return programmer_binary_; }

    // The handlers of the page's buttons.
    void Browse();
    void Refresh() {
        BuildRows();
        failure_counted_.clear();
    }
    void StartAll();

  protected:
    void OnRowButton(int row) override;
    void OnEnd() override;
    void OnPassCounted(std::optional<std::uint32_t> count) override;
    bool OnError(int row) override;

  private:
    void LoadConfiguration();
    void LoadRegistry();
    void ConvertProgrammer();
    DOWNLOAD_PARAM Settings() const;
    void OnEsnOrRf(bool esn);

    QLineEdit* pass_edit_;
    QLineEdit* fail_edit_;
    QLineEdit* information_edit_;
    QLineEdit* folder_edit_;
    QLineEdit* spc_edit_;
    QPushButton* browse_;
    QPushButton* refresh_;
    QPushButton* start_all_;
    QComboBox* baud_list_;
    QCheckBox* file_path_box_;
    QCheckBox* esn_box_;
    QCheckBox* rf_box_;
    QCheckBox* option_6800_box_;
    QCheckBox* erase_box_;
    QCheckBox* spc_box_;

    // Per row: the running run's failure is counted already. A failing run reports ERROR with
    // its reason and again as its verdict; iFail counts failed upgrades, not reports.
    std::vector<bool> failure_counted_;
    std::string image_folder_;
    std::string programmer_binary_;
};

}  // namespace fendrel::ui
