// The main window: builds the controls, creates the components and the window's parts, and
// passes each user action on to the class that does the work.
#pragma once

#include "app/conversion_list.h"
#include "app/conversion_list_model.h"
#include "app/help.h"
#include "app/settings_store.h"
#include "app/window_parts.h"
#include "conversion/audio_convert.h"
#include "conversion/audio_information.h"
#include "conversion/encoder_settings.h"
#include "scan/disk_scanner.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QEventLoop;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTimer;
class QToolButton;

namespace quillotone {

class IUserInterface;
class TfrmLoad;
class TfrmMain;

struct MainWindowParts {
    // Either may throw ComponentError; the window then goes on without that component.
    std::function<std::unique_ptr<IAudioConvert>()> createConvert;
    std::function<std::unique_ptr<IAudioInformation2>()> createInformation;
    // Optional; made after the components.
    std::function<std::unique_ptr<IInspector>(TfrmMain&)> createInspector;
    std::function<std::unique_ptr<IQualityChoices>(TfrmMain&)> createQualityChoices;
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
    IAudioInformation2* Information() { return information_.get(); }
    EncoderSettings& Settings() { return settings_; }
    ConversionList& List() { return list_; }
    ConversionListModel& ListModel() { return model_; }
    IUserInterface& Ui() { return ui_; }
    const QStringList& WmaQualities() const { return wmaQualities_; }
    bool IsConverting() const { return run_ && run_->IsConverting(); }
    int SelectedRowCount() const;

    // Handlers, public so that the parts and the tests can drive them.
    void ActaddFilesExecute();
    void actDelSelectedExecute();
    void actDelunselectedExecute();
    void actDelallExecute();
    void actEdittagExecute();
    void ActConvertExecute();
    void UpdateActions(); // every action's enable rule
    void PCChange(int index);
    void cmboutFormatChange();
    // The inspector's values become the settings (nothing without an inspector).
    void ReadInspector();
    void edtoutFolderButtonClick();
    void chkRenameClick();
    void rdprefixClick();
    void rdPropertyClick();
    void LoadSettings();
    void SaveSettings();

    // Dropped files and folders: files are taken as they are, folders are searched with their
    // sub-folders; duplicates and files the information component refuses are skipped silently.
    void AddPaths(const QStringList& paths);
    void DiskScanFileFound(const QString& path);
    void DiskScanScanDone();
    void DiskScanStopped();
    // What a drop of `paths` keeps: files with one of the four extensions, and folders, in order.
    static QStringList DroppedPaths(const QStringList& paths);

    TdcMultiDiskScanner DiskScan;
    bool ScanFinished = true;

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
    QWidget* Inspector; // a placeholder until the inspector is provided
    QLineEdit* edtoutFolder;
    QAction* actBrowseFolder;
    QComboBox* cmboutFormat;
    QComboBox* cmbQuality;
    QToolButton* btnConvert;
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

    static const QStringList& OutputFormatNames();
    static const QStringList& RenamePatterns();
    static QString OpenDialogFilters();

protected:
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery
    // Drops on the list's viewport.
    bool eventFilter(QObject* watched, QEvent* event) override;

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
    WindowOptions collectOptions() const;
    void showComponentError(const QString& text);
    std::vector<int> selectedRows() const;
    void showListCount(int rows);
    void bindDrops();
    bool scanFolder(const QString& folder, TfrmLoad& load);
    void waitUntil(const std::function<bool()>& done);
    void wakeWait();

    IUserInterface& ui_;
    SettingsStore store_;
    Help help_;
    MainWindowParts parts_;
    ConversionListModel model_;
    ConversionList list_;
    EncoderSettings settings_;
    QStringList wmaQualities_;

    std::unique_ptr<IAudioConvert> convert_;
    std::unique_ptr<IAudioInformation2> information_;
    std::unique_ptr<IInspector> inspector_;
    std::unique_ptr<IQualityChoices> quality_;
    std::unique_ptr<IConversionRun> run_;
    std::unique_ptr<ITagEditor> tagEditor_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;

    TfrmLoad* load_ = nullptr;   // the load dialog while AddPaths runs
    QEventLoop* wait_ = nullptr; // AddPaths' wait for the scanner
    bool scanPending_ = false;   // a started scan whose worker has not reported its end yet
    QString scanError_;          // an error raised while a found file was added
};

} // namespace quillotone
