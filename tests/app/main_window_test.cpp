// The main window: enable rules, tab change, rename rules, start-up and shut-down, the tag
// editor's opening, the target folder button, help and about.
#include "window_fixture.h"

#include "app/about_dialog.h"
#include "app/import_error_dialog.h"
#include "app/window_run.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace apptest {
namespace {

using Window = WindowFixture;

TEST_F(Window, FrameCaptionAndInitialPanes) {
    open();
    EXPECT_EQ(win->windowTitle(), "Quillotone");
    EXPECT_EQ(win->size(), QSize(733, 564));
    EXPECT_EQ(win->minimumSize(), QSize(733, 564)); // the first-start size is the smallest
    EXPECT_GT(win->maximumWidth(), 733);
    EXPECT_TRUE(win->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(win->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(win->PC->currentIndex(), 0);
    EXPECT_EQ(win->PC->tabText(0), "General");
    EXPECT_EQ(win->PC->tabText(1), "Settings");
    EXPECT_TRUE(win->spListcount->text().isEmpty());
    EXPECT_EQ(win->spListcount->width(), 200);
    EXPECT_TRUE(win->ProgressBar->isHidden());
    EXPECT_EQ(win->ActConvert->text(), "Convert &Now");
    EXPECT_FALSE(win->TimeState->isActive());
    EXPECT_EQ(win->TimeState->interval(), 100);
    EXPECT_EQ(win->cmboutFormat->count(), 4);
    EXPECT_EQ(win->cmbRename->count(), 14);
    EXPECT_EQ(win->cmbRename->itemText(9), "<number> - <title>");
    EXPECT_EQ(win->edtStartat->minimum(), 1);
    EXPECT_EQ(win->edtStartat->maximum(), 99999);
    EXPECT_EQ(win->edtPadding->maximum(), 10);
}

TEST_F(Window, EnableRulesFollowRowsAndSelection) {
    struct Case {
        int rows;
        std::initializer_list<int> selected;
        bool convert, delSelected, delUnselected, delAll, editTag;
    };
    const Case cases[] = {
        {0, {}, false, false, false, false, false},    {3, {}, true, false, true, true, true},
        {3, {1}, true, true, true, true, true},        {3, {0, 2}, true, true, true, true, true},
        {3, {0, 1, 2}, true, true, false, true, true},
    };
    for (const Case& c : cases) {
        open();
        addRows(c.rows);
        select(c.selected);
        SCOPED_TRACE(testing::Message() << c.rows << " rows, " << c.selected.size() << " selected");
        EXPECT_TRUE(win->ActaddFiles->isEnabled());
        EXPECT_EQ(win->ActConvert->isEnabled(), c.convert);
        EXPECT_EQ(win->actDelSelected->isEnabled(), c.delSelected);
        EXPECT_EQ(win->actDelunselected->isEnabled(), c.delUnselected);
        EXPECT_EQ(win->actDelall->isEnabled(), c.delAll);
        EXPECT_EQ(win->actEdittag->isEnabled(), c.editTag);
        EXPECT_EQ(win->btnEdittag->isEnabled(), c.editTag);
        closeWindow();
    }
}

class FakeInspector final : public IInspector {
public:
    std::vector<std::string>& log;
    QStringList wma;
    QWidget widget;
    explicit FakeInspector(std::vector<std::string>& l) : log(l) {}
    QWidget* Widget() override { return &widget; }
    void SetWmaQualities(const QStringList& d) override {
        wma = d;
        log.push_back("SetWmaQualities");
    }
    void ShowSettings() override { log.push_back("ShowSettings"); }
    void ReadInspector() override { log.push_back("ReadInspector"); }
    void CollapseAll() override { log.push_back("CollapseAll"); }
    void Expand(OutFormat format) override { log.push_back("Expand " + std::to_string(int(format))); }
    QStringList WmaQualities() const override { return wma; }
    int ShownPreset() const override { return 0; }
    void cmbPresetSelect(int) override {}
};

class FakeQuality final : public IQualityChoices {
public:
    std::vector<std::string>& log;
    TfrmMain& win;
    FakeQuality(std::vector<std::string>& l, TfrmMain& w) : log(l), win(w) {}
    void cmboutFormatChange() override {
        log.push_back("cmboutFormatChange " + std::to_string(win.cmboutFormat->currentIndex()));
    }
};

class FakeRun final : public IConversionRun {
public:
    bool converting = false;
    int executed = 0;
    bool IsConverting() const override { return converting; }
    void ActConvertExecute() override { ++executed; }
};

class WindowWithParts : public WindowFixture {
protected:
    std::vector<std::string> log;
    FakeInspector* inspector = nullptr;
    FakeRun* run = nullptr;
    WindowWithParts() {
        parts.createInspector = [this](TfrmMain&) {
            auto i = std::make_unique<FakeInspector>(log);
            inspector = i.get();
            return std::unique_ptr<IInspector>(std::move(i));
        };
        parts.createQualityChoices = [this](TfrmMain& w, IInspector&) {
            return std::make_unique<FakeQuality>(log, w);
        };
        parts.createRun = [this](TfrmMain&) {
            auto r = std::make_unique<FakeRun>();
            run = r.get();
            return std::unique_ptr<IConversionRun>(std::move(r));
        };
        auto inner = parts.createConvert;
        parts.createConvert = [this, inner] {
            auto c = inner();
            convert->log = &log;
            return c;
        };
    }
    ~WindowWithParts() override { win.reset(); } // it still reports to the log while closing
};

TEST_F(WindowWithParts, FormCreateRunsInOrderWith47WmaProfiles) {
    writeSettings("[General]\nOutFormat=2\n");
    open();
    const std::vector<std::string> expected{"CreationSetting", "SetWmaQualities", "ShowSettings",
                                            "cmboutFormatChange 2"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(convert->creationSetting, -1);
    ASSERT_EQ(win->WmaQualities().size(), 47);
    EXPECT_EQ(win->WmaQualities().front(), "Profile 1");
    EXPECT_EQ(win->WmaQualities().back(), "Profile 47");
    EXPECT_EQ(inspector->wma, win->WmaQualities());
    EXPECT_EQ(win->Inspector, inspector->Widget()); // the placeholder gave way
    EXPECT_EQ(win->Inspector->objectName(), "Inspector");
}

TEST_F(WindowWithParts, TabChangeRules) {
    open();
    win->cmboutFormat->setCurrentIndex(1); // Ogg
    log.clear();

    win->PC->setCurrentIndex(1);
    EXPECT_EQ(log, (std::vector<std::string>{"CollapseAll", "Expand 1"}));
    log.clear();
    win->PC->setCurrentIndex(0);
    EXPECT_EQ(log, (std::vector<std::string>{"ReadInspector", "cmboutFormatChange 1"}));

    // During a run the inspector is not read back, but the right group still opens.
    run->converting = true;
    log.clear();
    win->PC->setCurrentIndex(1);
    win->PC->setCurrentIndex(0);
    EXPECT_EQ(log, (std::vector<std::string>{"CollapseAll", "Expand 1"}));

    // No format selected: every group stays collapsed.
    run->converting = false;
    win->cmboutFormat->setCurrentIndex(-1);
    log.clear();
    win->PC->setCurrentIndex(1);
    EXPECT_EQ(log, (std::vector<std::string>{"CollapseAll"}));
}

TEST_F(WindowWithParts, CloseStopsARunAndNeverRefuses) {
    open();
    win->show();
    run->converting = true;
    EXPECT_TRUE(win->close());
    EXPECT_EQ(run->executed, 1);

    open();
    win->show();
    EXPECT_TRUE(win->close());
    EXPECT_EQ(run->executed, 0);
}

TEST_F(WindowWithParts, ConvertButtonGoesToTheRun) {
    open();
    addRows(1);
    win->ActConvert->trigger();
    EXPECT_EQ(run->executed, 1);
}

TEST_F(WindowWithParts, SavingReadsTheInspectorFirst) {
    open();
    log.clear();
    closeWindow();
    EXPECT_EQ(log, (std::vector<std::string>{"ReadInspector"}));
}

TEST_F(Window, RenameRules) {
    open();
    struct Case {
        bool rename, prefix;
        bool radios, prefixControls, pattern;
    };
    const Case cases[] = {
        {false, true, false, false, false},
        {false, false, false, false, false},
        {true, true, true, true, false},
        {true, false, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rename " << c.rename << " prefix " << c.prefix);
        win->chkRename->setChecked(true);
        win->chkRenameClick();
        (c.prefix ? win->rdprefix : win->rdProperty)->click(); // a click runs its handler
        if (win->chkRename->isChecked() != c.rename) win->chkRename->click();
        EXPECT_EQ(win->rdprefix->isEnabled(), c.radios);
        EXPECT_EQ(win->rdProperty->isEnabled(), c.radios);
        EXPECT_EQ(win->edtPrefix->isEnabled(), c.prefixControls);
        EXPECT_EQ(win->edtStartat->isEnabled(), c.prefixControls);
        EXPECT_EQ(win->edtPadding->isEnabled(), c.prefixControls);
        EXPECT_EQ(win->cmbRename->isEnabled(), c.pattern);
        EXPECT_NE(win->rdprefix->isChecked(), win->rdProperty->isChecked());
    }
}

class FakeTagEditor final : public ITagEditor {
public:
    QDialog dialog;
    int row = -1;
    QDialog& Dialog() override { return dialog; }
    void SetCurrentRow(int r) override { row = r; }
};

// The run reads every option from the one value the window offers, a typed pattern included.
TEST_F(Window, OptionsReachTheRunAsTheyStand) {
    open();
    win->edtoutFolder->setText("/music/out");
    win->cmboutFormat->setCurrentIndex(2);
    win->chkRename->click();
    win->edtPrefix->setText("mix ");
    win->edtStartat->setValue(7);
    win->edtPadding->setValue(3);
    win->rdProperty->click();
    win->cmbRename->setEditText("<title> (live)");
    win->chkPromptExist->setChecked(true);
    win->chkShowSucc->setChecked(false);
    win->chkOpenDst->setChecked(true);
    const RunSettings s = RunSettingsFrom(win->Options());
    EXPECT_EQ(s.outFormat, OutFormat::Wav);
    EXPECT_EQ(s.targetFolder, "/music/out");
    EXPECT_TRUE(s.naming.rename);
    EXPECT_FALSE(s.naming.prefix);
    EXPECT_TRUE(s.naming.property);
    EXPECT_EQ(s.naming.prefixText, "mix ");
    EXPECT_EQ(s.naming.startAt, 7);
    EXPECT_EQ(s.naming.padding, 3);
    EXPECT_EQ(s.naming.pattern, "<title> (live)");
    EXPECT_TRUE(s.promptExist);
    EXPECT_FALSE(s.showSuccess);
    EXPECT_TRUE(s.openDestination);

    win->cmboutFormat->setCurrentIndex(-1);
    EXPECT_EQ(RunSettingsFrom(win->Options()).outFormat, std::nullopt);
}

TEST_F(Window, EditTagOpensAtTheSingleSelectedRowElseTheFirst) {
    FakeTagEditor* editor = nullptr;
    int created = 0;
    parts.createTagEditor = [&](TfrmMain&) {
        ++created;
        auto e = std::make_unique<FakeTagEditor>();
        editor = e.get();
        return std::unique_ptr<ITagEditor>(std::move(e));
    };
    open();
    addRows(3);
    struct Case {
        std::initializer_list<int> selected;
        int row;
    };
    for (const Case& c : {Case{{2}, 2}, Case{{1, 2}, 0}, Case{{}, 0}, Case{{1}, 1}}) {
        select(c.selected);
        ui.execTitles.clear();
        win->actEdittag->trigger();
        EXPECT_EQ(editor->row, c.row);
        EXPECT_EQ(ui.execTitles, (std::vector<QString>{"Audio Tag Edit"}));
    }
    EXPECT_EQ(created, 1); // one dialog for every opening
}

TEST_F(Window, TargetFolderButton) {
    open();
    win->edtoutFolder->setText("/kept");
    ui.folderToPick = "";
    win->actBrowseFolder->trigger();
    EXPECT_EQ(win->edtoutFolder->text(), "/kept");
    EXPECT_EQ(ui.lastFolderCaption, "Please select target folder");
    EXPECT_EQ(ui.lastFolderStart, QDir::homePath());
    ui.folderToPick = "/music/out";
    win->actBrowseFolder->trigger();
    EXPECT_EQ(win->edtoutFolder->text(), "/music/out");

    // An existing target folder is where the dialog opens.
    win->edtoutFolder->setText(programFolder());
    ui.folderToPick = "";
    win->actBrowseFolder->trigger();
    EXPECT_EQ(ui.lastFolderStart, programFolder());
}

TEST_F(Window, MissingComponentsAreReportedAndTheWindowStaysUsable) {
    parts.createConvert = []() -> std::unique_ptr<IAudioConvert> { throw ComponentError("no encoder here"); };
    parts.createInformation = []() -> std::unique_ptr<IAudioInformation2> {
        throw ComponentError("no reader here");
    };
    writeSettings("[General]\nRename=1\n");
    open();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "no encoder here");
    EXPECT_EQ(ui.messages[1].text, "no reader here");
    EXPECT_TRUE(win->WmaQualities().isEmpty());
    EXPECT_TRUE(win->chkRename->isChecked()); // settings were still loaded

    // Adding files reports the missing reader per file instead of crashing.
    QStringList texts;
    ui.onExec = [&](QDialog& d) {
        auto& errors = static_cast<TfrmImpErr&>(d);
        for (int i = 0; i < errors.EntryCount(); ++i)
            texts << errors.EntryText(i, 2);
    };
    win->List().AddFiles({goodFile("x.mp3")}, win.get());
    EXPECT_EQ(texts, QStringList{"The audio information component is not available"});
    EXPECT_EQ(win->ListModel().rowCount(), 0);
    EXPECT_TRUE(win->isEnabled());
    closeWindow(); // and shutting down saves without the components
    EXPECT_TRUE(QFileInfo::exists(settingsFile()));
}

TEST_F(Window, HelpOpensTheFileBesideTheProgramOrSaysItIsMissing) {
    open();
    win->mnuHelp->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can not find help file, please re-install Quillotone!");
    EXPECT_TRUE(ui.opened.empty());

    testutil::writeFile(dir / "help.html", {'<', 'p', '>'});
    win->mnuHelp->trigger();
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], QUrl::fromLocalFile(QDir(programFolder()).filePath("help.html")));
    EXPECT_EQ(ui.messages.size(), 1u);

    ui.openResult = false; // the file is there, but no browser starts
    win->mnuHelp->trigger();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "The help page " + QDir(programFolder()).filePath("help.html") +
                                       " could not be opened: no web browser could be started.");

    ui.opened.clear();
    ui.openResult = false;
    win->mnuHomepage->trigger(); // a failure here is silent
    EXPECT_EQ(ui.opened, (std::vector<QUrl>{QUrl("quillotone-test:home")}));
    EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(Window, InstalledHelpIsFoundInShareBesideBin) {
    const auto bin = dir / "usr" / "bin";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(dir / "usr" / "share" / "quillotone");
    testutil::writeFile(dir / "usr" / "share" / "quillotone" / "help.html", {'<', 'p', '>'});
    Help help(ui, QString::fromStdString(bin.string()), links);
    help.mnuHelpClick(nullptr);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].toLocalFile(),
              QString::fromStdString((dir / "usr" / "share" / "quillotone" / "help.html").string()));
}

TEST_F(Window, WithoutAddressesHomepageIsDisabledAndAboutHidesTheirLines) {
    links = {"", ""};
    open();
    EXPECT_FALSE(win->mnuHomepage->isEnabled());
    EXPECT_TRUE(win->mnuHelp->isEnabled());
    Help help(ui, programFolder(), {"", "help@quillotone"});
    TfrmAbout about(nullptr, help);
    EXPECT_TRUE(about.lblWebSite->isHidden());
    EXPECT_FALSE(about.lblEmail->isHidden());
    QStringList shown;
    for (QLabel* l : about.findChildren<QLabel*>())
        if (!l->isHidden() && !l->text().isEmpty()) shown << l->text();
    EXPECT_FALSE(shown.contains("WebSite:"));
    EXPECT_TRUE(shown.contains("E-mail:"));
}

TEST_F(Window, OpenDestinationThatFailsSaysSo) {
    open();
    WindowRunHost host(*win);
    host.ExploreFolder("/music/out");
    EXPECT_TRUE(ui.messages.empty());
    ui.openResult = false; // no file manager
    host.ExploreFolder("/music/out");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "The destination folder /music/out could not be opened: no file manager could be started.");
    EXPECT_EQ(ui.opened,
              (std::vector<QUrl>{QUrl::fromLocalFile("/music/out"), QUrl::fromLocalFile("/music/out")}));
}

TEST_F(Window, AboutIsAFreshBoxEachTimeWithWorkingLinks) {
    open();
    std::vector<QString> texts;
    ui.onExec = [&](QDialog& d) {
        auto& about = static_cast<TfrmAbout&>(d);
        texts.push_back(about.lblWebSite->text() + " " + about.lblEmail->text());
        QTest::mouseClick(about.lblEmail, Qt::LeftButton);
        QTest::mouseClick(about.lblWebSite, Qt::LeftButton);
        EXPECT_TRUE(about.lblEmail->font().underline());
    };
    win->mnuAbout->trigger();
    win->mnuAbout->trigger();
    EXPECT_EQ(ui.execTitles, (std::vector<QString>{"About", "About"}));
    EXPECT_EQ(texts, (std::vector<QString>{"quillotone-test:home help@quillotone",
                                           "quillotone-test:home help@quillotone"}));
    EXPECT_EQ(ui.opened, (std::vector<QUrl>{QUrl("mailto:help@quillotone"), QUrl("quillotone-test:home"),
                                            QUrl("mailto:help@quillotone"), QUrl("quillotone-test:home")}));
    EXPECT_EQ(win->findChildren<TfrmAbout*>().size(), 0); // each box is gone after it closed
}

} // namespace
} // namespace apptest

#ifdef QUILLOTONE_PROGRAM_DIR
namespace apptest {
namespace {

TEST(HelpPage, LiesBesideTheProgram) {
    const auto page = testutil::readFile(std::string(QUILLOTONE_PROGRAM_DIR) + "/help.html");
    const std::string html(page.begin(), page.end());
    EXPECT_NE(html.find("<title>Quillotone Help</title>"), std::string::npos);
    EXPECT_NE(html.find("Add Files"), std::string::npos);
}

} // namespace
} // namespace apptest
#endif
