#include "app/main_window.h"

#include "app/app_icon.h"
#include "app/audio_extensions.h"
#include "app/banner.h"
#include "app/conversion_list_view.h"
#include "app/popup_combo_box.h"
#include "app/property_grid.h"
#include "app/user_interface.h"
#include "conversion/encoder_apply.h"
#include "conversion/output_format.h"
#include "conversion/output_naming.h"
#include "conversion/quality_choices.h"
#include "tagedit/format_tags.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

namespace quillotone {

namespace {

QLabel* label(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    if (buddy) l->setBuddy(buddy);
    return l;
}

// Controls carry their form names.
template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QAction* action(const QString& text, const char* name, QObject* parent, const QIcon& icon = {}) {
    return named(new QAction(icon, text, parent), name);
}

QToolButton* toolButton(QWidget* parent, const char* name) {
    auto* b = named(new QToolButton(parent), name);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(false);
    b->setMinimumHeight(28);
    return b;
}

} // namespace

TfrmMain::TfrmMain(IUserInterface& ui, SettingsStore store, QString programFolder, ProductLinks links,
                   MainWindowParts parts, QWidget* parent)
    : QMainWindow(parent), ui_(ui), store_(std::move(store)),
      help_(ui, std::move(programFolder), std::move(links)), parts_(std::move(parts)), list_(model_, ui),
      drops_(list_) {
    setObjectName("frmMain");
    setWindowTitle("Quillotone");
    setWindowIcon(AppIcon());
    buildControls();
    applyOptions(WindowOptions{}); // the state before the settings are read
    bindActions();
    drops_.AcceptDrops(*gvConvert->viewport(), *this, ui_);
    // The first-start size is also the smallest: below it the controls would overlap.
    setMinimumSize(ClientWidth, ClientHeight);
    resize(ClientWidth, ClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormCreate();
    applyLayout();
}

TfrmMain::~TfrmMain() {
    // FormDestroy: the run and the parts that use the components go first, then the components,
    // then the settings are saved. A scan still under way is stopped before the list goes.
    drops_.DiskScan.StopScan();
    run_.reset();
    tagEditor_.reset();
    quality_.reset();
    convert_.reset();
    information_.reset();
    list_.SetInformation(nullptr);
    SaveSettings();
    inspector_.reset();
}

// ---- building -------------------------------------------------------------------------------

void TfrmMain::buildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(new Banner(central));

    PC = named(new QTabWidget(central), "PC");
    tsGeneral = buildGeneralTab();
    tsSettings = buildSettingsTab();
    PC->addTab(tsGeneral, "General");
    PC->addTab(tsSettings, "Settings");
    PC->setCurrentIndex(0);
    auto* tabs = new QHBoxLayout;
    tabs->setContentsMargins(6, 0, 6, 0);
    tabs->addWidget(PC);
    layout->addLayout(tabs, 1);

    layout->addWidget(buildBottomRow());

    ProgressBar = named(new QProgressBar(central), "ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->setFixedHeight(8);
    // Keeps its place while hidden, so the rest of the window does not move during a run.
    QSizePolicy keep = ProgressBar->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    ProgressBar->setSizePolicy(keep);
    ProgressBar->hide();
    layout->addWidget(ProgressBar);
    setCentralWidget(central);

    spListcount = named(new QLabel(this), "spListcount");
    spListcount->setFixedWidth(200);
    spQuality = named(new QLabel(this), "spQuality");
    statusBar()->addWidget(spListcount);
    statusBar()->addWidget(spQuality, 1);
    statusBar()->setSizeGripEnabled(false);

    TimeState = named(new QTimer(this), "TimeState");
    TimeState->setInterval(100);
    TimeState->setSingleShot(true);
}

QWidget* TfrmMain::buildGeneralTab() {
    auto* page = new QWidget;
    QStyle* st = style();

    ActaddFiles = action("Add Files", "ActaddFiles", this, st->standardIcon(QStyle::SP_FileDialogNewFolder));
    actDelSelected = action("Delete Selected", "actDelSelected", this);
    actDelunselected = action("Delete unselected", "actDelunselected", this);
    actDelall = action("Delete All", "actDelall", this);
    actEdittag = action("Edit Tag", "actEdittag", this, st->standardIcon(QStyle::SP_FileDialogDetailedView));
    mnuHelp = action("Help", "mnuHelp", this);
    mnuHomepage = action("Homepage", "mnuHomepage", this);
    mnuAbout = action("About...", "mnuAbout", this);

    PopupMenu = named(new QMenu(this), "PopupMenu");
    PopupMenu->addActions({actDelSelected, actDelunselected, actDelall});
    popHelp = named(new QMenu(this), "popHelp");
    popHelp->addAction(mnuHelp);
    popHelp->addAction(mnuHomepage);
    popHelp->addSeparator();
    popHelp->addAction(mnuAbout);

    btnAddFiles = toolButton(page, "btnAddFiles");
    btnAddFiles->setDefaultAction(ActaddFiles);
    btnDelete = toolButton(page, "btnDelete");
    btnDelete->setText("Delete");
    btnDelete->setIcon(st->standardIcon(QStyle::SP_TrashIcon));
    btnDelete->setMenu(PopupMenu);
    btnDelete->setPopupMode(QToolButton::InstantPopup);
    btnEdittag = toolButton(page, "btnEdittag");
    btnEdittag->setDefaultAction(actEdittag);
    btnHelp = toolButton(page, "btnHelp");
    btnHelp->setText("Help");
    btnHelp->setIcon(st->standardIcon(QStyle::SP_DialogHelpButton));
    btnHelp->setMenu(popHelp);
    btnHelp->setPopupMode(QToolButton::InstantPopup);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(btnAddFiles);
    buttons->addWidget(btnDelete);
    buttons->addWidget(btnEdittag);
    buttons->addWidget(btnHelp);
    buttons->addStretch(1);

    gvConvert = new ConversionListView(model_, page);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(gvConvert, 1);
    return page;
}

QWidget* TfrmMain::buildSettingsTab() {
    auto* page = new QWidget;
    auto* frame = named(new QFrame(page), "SettingsFrame");
    frame->setFrameShape(QFrame::StyledPanel);

    // Tag
    auto* gbTag = named(new QGroupBox("Tag", frame), "gbTag");
    cmbReadpriority = named(new PopupComboBox(gbTag), "cmbReadpriority");
    for (const tagedit::ReadPriorityEntry& e : tagedit::ReadPriorities)
        cmbReadpriority->addItem(QString::fromUtf8(e.text.data(), qsizetype(e.text.size())));
    cmbWriteFormat = named(new PopupComboBox(gbTag), "cmbWriteFormat");
    for (const tagedit::WriteFormatEntry& e : tagedit::WriteFormats)
        cmbWriteFormat->addItem(QString::fromUtf8(e.text.data(), qsizetype(e.text.size())));
    chkCopyTags = named(new QCheckBox("Copy pictures and other tags from the source", gbTag), "chkCopyTags");
    auto* tagGrid = new QGridLayout(gbTag);
    tagGrid->addWidget(label("Read priority: ", cmbReadpriority, gbTag), 0, 0);
    tagGrid->addWidget(cmbReadpriority, 0, 1);
    tagGrid->addWidget(label("Write format: ", cmbWriteFormat, gbTag), 1, 0);
    tagGrid->addWidget(cmbWriteFormat, 1, 1);
    tagGrid->addWidget(chkCopyTags, 2, 0, 1, 2);
    tagGrid->setColumnStretch(1, 1);

    // Rename
    gbFileaname = named(new QGroupBox(frame), "gbFileaname");
    chkRename = named(new QCheckBox("Rename File", gbFileaname), "chkRename");
    rdprefix = named(new QRadioButton("&prefix:", gbFileaname), "rdprefix");
    edtPrefix = named(new QLineEdit(gbFileaname), "edtPrefix");
    edtStartat = named(new QSpinBox(gbFileaname), "edtStartat");
    edtStartat->setRange(1, 99999);
    edtStartat->setSingleStep(1);
    edtPadding = named(new QSpinBox(gbFileaname), "edtPadding");
    edtPadding->setRange(0, 10);
    rdProperty = named(new QRadioButton("Property Name", gbFileaname), "rdProperty");
    cmbRename = named(new PopupComboBox(gbFileaname), "cmbRename");
    cmbRename->setEditable(true);
    cmbRename->setInsertPolicy(QComboBox::NoInsert);
    for (const char* pattern : RenamePatterns)
        cmbRename->addItem(pattern);
    cmbRename->setMinimumContentsLength(12);
    cmbRename->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    auto* renameGrid = new QGridLayout(gbFileaname);
    renameGrid->setVerticalSpacing(4);
    renameGrid->addWidget(chkRename, 0, 0, 1, 4);
    renameGrid->addWidget(rdprefix, 1, 0);
    renameGrid->addWidget(edtPrefix, 1, 1, 1, 3);
    renameGrid->addWidget(label("&Start at:", edtStartat, gbFileaname), 2, 0, Qt::AlignRight);
    renameGrid->addWidget(edtStartat, 2, 1);
    renameGrid->addWidget(label("Padding &Zero:", edtPadding, gbFileaname), 2, 2, Qt::AlignRight);
    renameGrid->addWidget(edtPadding, 2, 3);
    renameGrid->addWidget(rdProperty, 3, 0);
    renameGrid->addWidget(cmbRename, 3, 1, 1, 3);
    renameGrid->setColumnStretch(1, 1);
    renameGrid->setColumnStretch(3, 1);

    chkPromptExist =
        named(new QCheckBox("Prompt before overwriting existing files", frame), "chkPromptExist");
    chkShowSucc = named(new QCheckBox("Show 'Success' window", frame), "chkShowSucc");
    chkOpenDst = named(new QCheckBox("Open destination folder", frame), "chkOpenDst");
    chkGoOn = named(new QCheckBox("Go on with the next file after an error", frame), "chkGoOn");
    chkKeepTree = named(new QCheckBox("Keep the folder structure", frame), "chkKeepTree");
    edtFilesAtOnce = named(new QSpinBox(frame), "edtFilesAtOnce");
    edtFilesAtOnce->setRange(0, 64);
    edtFilesAtOnce->setSpecialValueText("One per core"); // 0
    auto* filesAtOnce = new QHBoxLayout;
    filesAtOnce->addWidget(label("&Files at once:", edtFilesAtOnce, frame));
    filesAtOnce->addWidget(edtFilesAtOnce);
    filesAtOnce->addStretch(1);

    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addWidget(gbTag);
    left->addWidget(gbFileaname);
    left->addWidget(chkPromptExist);
    left->addWidget(chkGoOn);
    left->addWidget(chkKeepTree);
    left->addLayout(filesAtOnce);
    left->addSpacing(4);
    left->addWidget(new QLabel("What actions you'd like when completed:", frame));
    left->addWidget(chkShowSucc);
    left->addWidget(chkOpenDst);
    left->addStretch(1);

    // The inspector's place; the inspector itself comes with its own class.
    Inspector = named(new QFrame(frame), "Inspector");
    static_cast<QFrame*>(Inspector)->setFrameShape(QFrame::StyledPanel);
    auto* right = new QVBoxLayout;
    right->setSpacing(4);
    right->addWidget(new QLabel("Output Qualities:", frame));
    right->addWidget(Inspector, 1);

    auto* columns = new QHBoxLayout(frame);
    columns->setContentsMargins(8, 6, 8, 6);
    columns->setSpacing(12);
    columns->addLayout(left, 0);
    columns->addLayout(right, 1);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(frame);
    return page;
}

QWidget* TfrmMain::buildBottomRow() {
    auto* box = new QWidget;
    edtoutFolder = named(new QLineEdit(box), "edtoutFolder");
    actBrowseFolder =
        edtoutFolder->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
    actBrowseFolder->setObjectName("edtoutFolderButton");
    actBrowseFolder->setToolTip("Browse");
    cmboutFormat = named(new PopupComboBox(box), "cmboutFormat");
    for (const char* name : OutFormatNames)
        cmboutFormat->addItem(name);
    cmbQuality = named(new PopupComboBox(box), "cmbQuality");

    ActConvert = action("Convert &Now", "ActConvert", this);
    // A push button, not a tool button: it keeps the caption's "&", so Alt+N and Alt+S reach it and
    // the letter is underlined as the style does it.
    btnConvert = named(new QPushButton(ActConvert->text(), box), "btnConvert");
    btnConvert->setAutoDefault(false);
    connect(btnConvert, &QPushButton::clicked, ActConvert, &QAction::trigger);
    connect(ActConvert, &QAction::changed, btnConvert, [this] {
        btnConvert->setText(ActConvert->text());
        btnConvert->setEnabled(ActConvert->isEnabled());
    });
    QFont big = btnConvert->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    btnConvert->setFont(big);
    btnConvert->setFixedSize(170, 58);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(label("Target Folder:", edtoutFolder, box), 0, 0);
    grid->addWidget(edtoutFolder, 0, 1, 1, 3);
    grid->addWidget(label("Output Format:", cmboutFormat, box), 1, 0);
    grid->addWidget(cmboutFormat, 1, 1);
    grid->addWidget(label("Quality:", cmbQuality, box), 1, 2);
    grid->addWidget(cmbQuality, 1, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 3);

    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(8, 2, 8, 2);
    row->setSpacing(10);
    row->addLayout(grid, 1);
    row->addWidget(btnConvert);
    return box;
}

void TfrmMain::bindActions() {
    connect(ActaddFiles, &QAction::triggered, this, &TfrmMain::ActaddFilesExecute);
    connect(actDelSelected, &QAction::triggered, this, &TfrmMain::actDelSelectedExecute);
    connect(actDelunselected, &QAction::triggered, this, &TfrmMain::actDelunselectedExecute);
    connect(actDelall, &QAction::triggered, this, &TfrmMain::actDelallExecute);
    connect(actEdittag, &QAction::triggered, this, &TfrmMain::actEdittagExecute);
    connect(ActConvert, &QAction::triggered, this, &TfrmMain::ActConvertExecute);
    connect(mnuHelp, &QAction::triggered, this, [this] { help_.mnuHelpClick(this); });
    connect(mnuHomepage, &QAction::triggered, this, [this] { help_.OpenHomepage(); });
    mnuHomepage->setEnabled(!help_.Links().homepage.isEmpty()); // a build without an address
    connect(mnuAbout, &QAction::triggered, this, [this] { help_.mnuAboutClick(this); });
    connect(actBrowseFolder, &QAction::triggered, this, &TfrmMain::edtoutFolderButtonClick);
    connect(PC, &QTabWidget::currentChanged, this, &TfrmMain::PCChange);
    connect(cmboutFormat, &QComboBox::currentIndexChanged, this, [this] { cmboutFormatChange(); });
    connect(chkRename, &QCheckBox::clicked, this, &TfrmMain::chkRenameClick);
    connect(rdprefix, &QRadioButton::clicked, this, &TfrmMain::rdprefixClick);
    connect(rdProperty, &QRadioButton::clicked, this, &TfrmMain::rdPropertyClick);
    // Delete removes the selected rows while the list has the focus; Enter or a double click on a
    // row opens the tag editor.
    actDelSelected->setShortcut(QKeySequence::Delete);
    actDelSelected->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    gvConvert->addAction(actDelSelected);
    connect(static_cast<ConversionListView*>(gvConvert), &ConversionListView::OpenRequested, this, [this] {
        if (actEdittag->isEnabled()) actEdittagExecute();
    });
    connect(gvConvert, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu->popup(gvConvert->viewport()->mapToGlobal(pos)); });

    // The enable rules follow every change of the rows or the selection.
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &TfrmMain::UpdateActions);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &TfrmMain::UpdateActions);
    connect(&model_, &QAbstractItemModel::modelReset, this, &TfrmMain::UpdateActions);
    connect(gvConvert->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateActions);
    connect(&list_, &ConversionList::CountChanged, this, &TfrmMain::showListCount);
    connect(&drops_, &DropImport::Finished, this, [this] {
        showListCount(model_.rowCount());
        UpdateActions();
    });
    UpdateActions();
}

// ---- start-up and shut-down -----------------------------------------------------------------

void TfrmMain::createComponents() {
    // A missing component is reported and the window goes on without it: its settings are
    // still loaded, so that saving them at exit loses nothing.
    auto attempt = [this](auto&& create) {
        try {
            create();
        } catch (const std::exception& e) {
            ShowError(ui_, this, QString::fromUtf8(e.what()));
        }
    };
    if (parts_.createConvert) attempt([&] { convert_ = parts_.createConvert(); });
    if (parts_.createInformation) attempt([&] { information_ = parts_.createInformation(); });
    list_.SetInformation(information_.get());
    if (convert_) attempt([&] { convert_->SetCreationSetting(-1); });
}

std::unique_ptr<IAudioConvert> TfrmMain::MakeConvert(OutFormat format) {
    std::unique_ptr<IAudioConvert> further = parts_.createFurtherConvert();
    further->SetCreationSetting(-1);
    ApplyOutputFormat(*further, settings_, format);
    return further;
}

void TfrmMain::fillWmaQualities() {
    wmaQualities_.clear();
    if (!convert_) return;
    try {
        ReadWmaQualities(*convert_, wmaQualities_);
    } catch (const std::exception& e) {
        ShowError(ui_, this, QString::fromUtf8(e.what()));
    }
}

void TfrmMain::createParts() {
    if (parts_.createInspector) {
        inspector_ = parts_.createInspector(*this);
        if (inspector_ && inspector_->Widget()) {
            QWidget* widget = inspector_->Widget();
            widget->setObjectName("Inspector");
            // The layout hands back the placeholder's item, which is ours to delete.
            delete Inspector->parentWidget()->layout()->replaceWidget(Inspector, widget);
            Inspector->deleteLater();
            Inspector = widget;
        }
    }
    if (parts_.createQualityChoices && inspector_) quality_ = parts_.createQualityChoices(*this, *inspector_);
    if (parts_.createRun) run_ = parts_.createRun(*this);
}

void TfrmMain::FormCreate() {
    createComponents();
    createParts();
    fillWmaQualities();
    if (inspector_) inspector_->SetWmaQualities(wmaQualities_);
    LoadSettings();
    if (inspector_) inspector_->ShowSettings();
    cmboutFormatChange();
    if (parts_.createTagEditor) tagEditor_ = parts_.createTagEditor(*this);
    watchSettings();
}

void TfrmMain::watchSettings() {
    saveTimer_ = new QTimer(this);
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(SaveDelayMs);
    connect(saveTimer_, &QTimer::timeout, this, [this] {
        // the inspector is read back only outside a run; a run saved when it started
        if (!IsConverting()) SaveSettings();
    });
    // every control that holds a stored value, and the inspector's edits
    const auto changed = [this] { SettingsChanged(); };
    connect(edtoutFolder, &QLineEdit::textChanged, this, changed);
    connect(edtPrefix, &QLineEdit::textChanged, this, changed);
    for (QComboBox* box : {cmboutFormat, cmbRename, cmbReadpriority, cmbWriteFormat, cmbQuality})
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    connect(cmbRename, &QComboBox::editTextChanged, this, changed);
    for (QSpinBox* spin : {edtStartat, edtPadding, edtFilesAtOnce})
        connect(spin, &QSpinBox::valueChanged, this, changed);
    for (QAbstractButton* button :
         std::initializer_list<QAbstractButton*>{chkRename, rdprefix, rdProperty, chkPromptExist, chkShowSucc,
                                                 chkOpenDst, chkCopyTags, chkGoOn, chkKeepTree})
        connect(button, &QAbstractButton::toggled, this, changed);
    for (PropertyGrid* grid : Inspector->findChildren<PropertyGrid*>())
        connect(grid, &PropertyGrid::itemEdited, this, changed);
    if (auto* grid = qobject_cast<PropertyGrid*>(Inspector))
        connect(grid, &PropertyGrid::itemEdited, this, changed);
}

void TfrmMain::SettingsChanged() {
    if (saveTimer_) saveTimer_->start();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // FormCloseQuery never refuses; a run under way is asked to stop first.
    if (IsConverting()) ActConvertExecute();
    event->accept();
}

// ---- settings -------------------------------------------------------------------------------

WindowOptions TfrmMain::Options() const {
    WindowOptions o;
    o.TargetFolder = edtoutFolder->text();
    o.OutFormat = cmboutFormat->currentIndex();
    o.Rename = chkRename->isChecked();
    o.Prefix = rdprefix->isChecked();
    o.PrefixText = edtPrefix->text();
    o.StartAt = edtStartat->value();
    o.Padding = edtPadding->value();
    o.Property = rdProperty->isChecked();
    o.PropertyIndex = cmbRename->currentIndex();
    o.PropertyText = cmbRename->currentText();
    o.PromptExist = chkPromptExist->isChecked();
    o.ShowSucc = chkShowSucc->isChecked();
    o.OpenDest = chkOpenDst->isChecked();
    o.ReadPriority = cmbReadpriority->currentIndex();
    o.WriteFormat = cmbWriteFormat->currentIndex();
    o.CopySourceTags = chkCopyTags->isChecked();
    o.GoOnAfterError = chkGoOn->isChecked();
    o.KeepFolderStructure = chkKeepTree->isChecked();
    o.FilesAtOnce = edtFilesAtOnce->value();
    return o;
}

void TfrmMain::applyOptions(const WindowOptions& o) {
    // As when set in code: no change handler runs (the output format's runs after loading).
    const QSignalBlocker block(cmboutFormat);
    edtoutFolder->setText(o.TargetFolder);
    cmboutFormat->setCurrentIndex(o.OutFormat < 0 ? -1 : o.OutFormat);
    chkRename->setChecked(o.Rename);
    applyRenameRules(true);
    // Selecting one radio button clears the other; clearing one leaves neither selected.
    auto setRadio = [](QRadioButton* button, bool on) {
        if (on) {
            button->setChecked(true);
        } else if (button->isChecked()) {
            button->setAutoExclusive(false);
            button->setChecked(false);
            button->setAutoExclusive(true);
        }
    };
    setRadio(rdprefix, o.Prefix);
    applyRenameRules(false);
    edtPrefix->setText(o.PrefixText);
    edtStartat->setValue(o.StartAt);
    edtPadding->setValue(o.Padding);
    setRadio(rdProperty, o.Property);
    applyRenameRules(false);
    cmbRename->setCurrentIndex(o.PropertyIndex < 0 ? -1 : o.PropertyIndex);
    // A typed pattern stands over the picked one; none stored leaves the picked item's text.
    if (!o.PropertyText.isEmpty()) cmbRename->setEditText(o.PropertyText);
    chkPromptExist->setChecked(o.PromptExist);
    chkShowSucc->setChecked(o.ShowSucc);
    chkOpenDst->setChecked(o.OpenDest);
    cmbReadpriority->setCurrentIndex(o.ReadPriority < 0 ? -1 : o.ReadPriority);
    cmbWriteFormat->setCurrentIndex(o.WriteFormat < 0 ? -1 : o.WriteFormat);
    chkCopyTags->setChecked(o.CopySourceTags);
    chkGoOn->setChecked(o.GoOnAfterError);
    chkKeepTree->setChecked(o.KeepFolderStructure);
    edtFilesAtOnce->setValue(o.FilesAtOnce);
}

void TfrmMain::LoadSettings() {
    StoredSettings stored;
    stored.encoder = settings_;
    stored.window = Options();
    store_.Load(stored);
    settings_ = stored.encoder;
    applyOptions(stored.window);
    layout_ = stored.layout;
}

void TfrmMain::applyLayout() {
    // Where the window stood at the last exit; a value that does not restore leaves the first-start
    // place. Widths are taken only when there is one for every column.
    if (!layout_.Geometry.isEmpty()) restoreGeometry(QByteArray::fromBase64(layout_.Geometry.toLatin1()));
    const QStringList widths = layout_.ColumnWidths.split(QLatin1Char(','));
    if (widths.size() != model_.columnCount()) return;
    std::vector<int> read;
    for (const QString& w : widths) {
        bool ok = false;
        const int n = w.trimmed().toInt(&ok);
        if (!ok || n < 0 || n > 10000) return;
        read.push_back(n);
    }
    for (int c = Column::Filename; c < int(read.size()); ++c)
        gvConvert->setColumnWidth(c, read[size_t(c)]);
}

WindowLayout TfrmMain::Layout() const {
    WindowLayout l;
    l.Geometry = QString::fromLatin1(saveGeometry().toBase64());
    QStringList widths;
    for (int c = 0; c < model_.columnCount(); ++c)
        widths << QString::number(gvConvert->columnWidth(c));
    l.ColumnWidths = widths.join(QLatin1Char(','));
    return l;
}

void TfrmMain::SaveSettings() {
    ReadInspector();
    StoredSettings stored;
    stored.encoder = settings_;
    stored.window = Options();
    stored.layout = Layout();
    // A store that cannot be written is left as it is; nothing is shown at exit.
    store_.Save(stored);
}

// ---- handlers -------------------------------------------------------------------------------

std::vector<int> TfrmMain::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& i : gvConvert->selectionModel()->selectedRows())
        rows.push_back(i.row());
    return rows;
}

int TfrmMain::SelectedRowCount() const {
    return int(gvConvert->selectionModel()->selectedRows().size());
}

void TfrmMain::UpdateActions() {
    const int rows = model_.rowCount();
    const int selected = SelectedRowCount();
    ActConvert->setEnabled(rows > 0);
    actDelSelected->setEnabled(selected > 0);
    actDelunselected->setEnabled(rows > 0 && selected < rows);
    actDelall->setEnabled(rows > 0);
    actEdittag->setEnabled(rows > 0);
}

void TfrmMain::SetRunControlsEnabled(bool on) {
    const QList<QWidget*> controls{edtoutFolder, cmboutFormat,    gbFileaname,    chkPromptExist, chkShowSucc,
                                   chkOpenDst,   Inspector,       gvConvert,      btnEdittag,     cmbQuality,
                                   btnDelete,    cmbReadpriority, cmbWriteFormat, chkCopyTags,    chkGoOn,
                                   chkKeepTree,  edtFilesAtOnce};
    for (QWidget* c : controls)
        c->setEnabled(on);
    ActaddFiles->setEnabled(on);
}

void TfrmMain::showListCount(int rows) {
    spListcount->setText("Files count: " + QString::number(rows));
}

void TfrmMain::ActaddFilesExecute() {
    const QStringList files = ui_.OpenFileNames(this, "Open", QString(), OpenDialogFilters());
    if (!files.isEmpty()) list_.AddFiles(files, this);
}

void TfrmMain::actEdittagExecute() {
    if (!tagEditor_ && parts_.createTagEditor) tagEditor_ = parts_.createTagEditor(*this);
    if (tagEditor_) {
        QDialog& dialog = tagEditor_->Dialog();
        dialog.setWindowTitle("Audio Tag Edit");
        // With several rows selected the editor starts at the first row of the list.
        const std::vector<int> selected = selectedRows();
        tagEditor_->SetCurrentRow(selected.size() == 1 ? selected.front() : 0);
        ui_.Exec(dialog);
    }
    gvConvert->setFocus();
}

void TfrmMain::PCChange(int index) {
    if (!IsConverting() && index == PC->indexOf(tsGeneral)) {
        if (inspector_) inspector_->ReadInspector();
        cmboutFormatChange();
    }
    if (index == PC->indexOf(tsSettings) && inspector_) {
        inspector_->CollapseAll();
        if (const auto format = OutFormatAt(cmboutFormat->currentIndex())) inspector_->Expand(*format);
    }
}

void TfrmMain::edtoutFolderButtonClick() {
    // The dialog opens at the current target folder, or the home folder while that does not exist.
    const QString current = QDir::fromNativeSeparators(edtoutFolder->text().trimmed());
    const QString start = !current.isEmpty() && QDir(current).exists() ? current : QDir::homePath();
    const QString folder = ui_.ExistingFolder(this, "Please select target folder", start);
    if (!folder.isEmpty()) edtoutFolder->setText(QDir::toNativeSeparators(folder));
}

void TfrmMain::applyRenameRules(bool all) {
    const bool rename = chkRename->isChecked();
    if (all) {
        rdprefix->setEnabled(rename);
        rdProperty->setEnabled(rename);
    }
    const bool prefix = rename && rdprefix->isChecked();
    edtPrefix->setEnabled(prefix);
    edtStartat->setEnabled(prefix);
    edtPadding->setEnabled(prefix);
    cmbRename->setEnabled(rename && rdProperty->isChecked());
}

} // namespace quillotone
