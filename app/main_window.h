// The main window: builds the controls, creates the components and the window's parts, and
// passes each user action on to the class that does the work.
#pragma once

#include "app/conversion_list.h"
#include "app/conversion_list_model.h"
#include "app/drop_import.h"
#include "app/help.h"
#include "app/settings_store.h"
#include "app/window_parts.h"
#include "conversion/convert_interface.h"
#include "conversion/encoder_settings.h"
#include "conversion/information_interface.h"
#include "conversion/output_format.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTimer;
class QToolButton;

namespace quillotone {

class IUserInterface;
class TfrmMain;

struct MainWindowParts {
    // Either may throw ComponentError; the window then goes on without that component.
    std::function<std::unique_ptr<IAudioConvert>()> createConvert;
    // Optional: the further components of a run of several files at once; without it every run
    // converts one file at a time.
    std::function<std::unique_ptr<IAudioConvert>()> createFurtherConvert;
    std::function<std::unique_ptr<IAudioInformation2>()> createInformation;
    // Optional; made after the components.
    std::function<std::unique_ptr<IInspector>(TfrmMain&)> createInspector;
    // Made only when there is an inspector, which it works with.
    std::function<std::unique_ptr<IQualityChoices>(TfrmMain&, IInspector&)> createQualityChoices;
    std::function<std::unique_ptr<IConversionRun>(TfrmMain&)> createRun;
    std::function<std::unique_ptr<ITagEditor>(TfrmMain&)> createTagEditor;
};

class TfrmMain final : public QMainWindow {
    Q_OBJECT
public:
    TfrmMain(IUserInterface& ui, SettingsStore store, QString programFolder, ProductLinks links,
             MainWindowParts parts, QWidget* parent = nullptr);
    ~TfrmMain() override; // FormDestroy

    static constexpr int ClientWidth = 733;
    static constexpr int ClientHeight = 564;

    // What the window's parts work with. The components are null when they could not be created.
    IAudioConvert* Convert() { return convert_.get(); }
    bool CanMakeConvert() const { return bool(parts_.createFurtherConvert); }
    // A further component set up with the window's encoder settings for the format; throws
    // ComponentError.
    std::unique_ptr<IAudioConvert> MakeConvert(OutFormat format);
    IAudioInformation2* Information() { return information_.get(); }
    EncoderSettings& Settings() { return settings_; }
    ConversionList& List() { return list_; }
    ConversionListModel& ListModel() { return model_; }
    DropImport& Drops() { return drops_; }
    IUserInterface& Ui() { return ui_; }
    const QStringList& WmaQualities() const { return wmaQualities_; }
    bool IsConverting() const { return run_ && run_->IsConverting(); }
    int SelectedRowCount() const;
    // The options of the "Settings" tab and the bottom row, as they stand.
    WindowOptions Options() const;
    // Enables or disables every control that could change the list or the settings during a run.
    void SetRunControlsEnabled(bool on);

    // Handlers, public so that the parts and the tests can drive them.
    void ActaddFilesExecute();
    void actDelSelectedExecute() { list_.DeleteRows(selectedRows()); }
    void actDelunselectedExecute() { list_.DeleteRowsExcept(selectedRows()); }
    void actDelallExecute() { list_.DeleteAll(); }
    void actEdittagExecute();
    void ActConvertExecute() {
        if (run_) run_->ActConvertExecute();
    }
    void UpdateActions(); // every action's enable rule
    void PCChange(int index);
    void cmboutFormatChange() {
        if (quality_) quality_->cmboutFormatChange();
    }
    // The inspector's values become the settings (nothing without an inspector).
    void ReadInspector() {
        if (inspector_) inspector_->ReadInspector();
    }
    void edtoutFolderButtonClick();
    void chkRenameClick() { applyRenameRules(true); }
    void rdprefixClick() { applyRenameRules(false); }
    void rdPropertyClick() { applyRenameRules(false); }
    void LoadSettings();
    void SaveSettings();
    // The window's place and the list's column widths, as they would be stored.
    WindowLayout Layout() const;
    // A setting changed: saved once the changes pause (SaveDelayMs), so a crash loses little.
    void SettingsChanged();
    static constexpr int SaveDelayMs = 500;

    // Dropped files and folders, by the drop import (Drops()).
    void AddPaths(const QStringList& paths) { drops_.AddPaths(paths, *this, ui_); }
    void DiskScanFileFound(const QString& path) { drops_.DiskScanFileFound(path); }
    void DiskScanScanDone() { drops_.DiskScanScanDone(); }
    void DiskScanStopped() { drops_.DiskScanStopped(); }

    // Controls, by their form names.
    QTabWidget* PC;
    QWidget* tsGeneral;
    QWidget* tsSettings;
    QToolButton* btnAddFiles;
    QToolButton* btnDelete;
    QToolButton* btnEdittag;
    QToolButton* btnHelp;
    QMenu* PopupMenu;
    QMenu* popHelp;
    QTableView* gvConvert;
    QComboBox* cmbReadpriority;
    QComboBox* cmbWriteFormat;
    QCheckBox* chkCopyTags;
    QGroupBox* gbFileaname;
    QCheckBox* chkRename;
    QRadioButton* rdprefix;
    QLineEdit* edtPrefix;
    QSpinBox* edtStartat;
    QSpinBox* edtPadding;
    QRadioButton* rdProperty;
    QComboBox* cmbRename;
    QCheckBox* chkPromptExist;
    QCheckBox* chkShowSucc;
    QCheckBox* chkOpenDst;
    QCheckBox* chkGoOn;
    QCheckBox* chkKeepTree;
    QSpinBox* edtFilesAtOnce;
    QWidget* Inspector; // a placeholder until the inspector is provided
    QLineEdit* edtoutFolder;
    QAction* actBrowseFolder;
    QComboBox* cmboutFormat;
    QComboBox* cmbQuality;
    QPushButton* btnConvert;
    QProgressBar* ProgressBar;
    QLabel* spListcount;
    QLabel* spQuality;
    QTimer* TimeState;

    QAction* ActaddFiles;
    QAction* ActConvert;
    QAction* actDelSelected;
    QAction* actDelunselected;
    QAction* actDelall;
    QAction* actEdittag;
    QAction* mnuHelp;
    QAction* mnuHomepage;
    QAction* mnuAbout;

protected:
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery

private:
    void buildControls();
    QWidget* buildGeneralTab();
    QWidget* buildSettingsTab();
    QWidget* buildBottomRow();
    void bindActions();
    void FormCreate();
    void createComponents();
    void createParts();
    void fillWmaQualities();
    void applyRenameRules(bool all);
    void applyOptions(const WindowOptions& options);
    void applyLayout();
    std::vector<int> selectedRows() const;
    void showListCount(int rows);
    void watchSettings();

    IUserInterface& ui_;
    SettingsStore store_;
    Help help_;
    MainWindowParts parts_;
    ConversionListModel model_;
    ConversionList list_;
    DropImport drops_;
    EncoderSettings settings_;
    QStringList wmaQualities_;
    WindowLayout layout_; // as loaded, until applied
    QTimer* saveTimer_ = nullptr;

    std::unique_ptr<IAudioConvert> convert_;
    std::unique_ptr<IAudioInformation2> information_;
    std::unique_ptr<IInspector> inspector_;
    std::unique_ptr<IQualityChoices> quality_;
    std::unique_ptr<IConversionRun> run_;
    std::unique_ptr<ITagEditor> tagEditor_;
};

} // namespace quillotone
