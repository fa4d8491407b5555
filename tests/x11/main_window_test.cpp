// The main window on a desktop: it grows with its frame and comes back where it was, the keys and
// clicks of the list, the big button's access keys, and captions exactly as the program gives them.
#include "app/about_dialog.h"
#include "app/conversion_list_model.h"
#include "app/settings_store.h"
#include "app/tag_editor_dialog.h"
#include "app/user_interface.h"
#include "common/test_files.h"
#include "real_x.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <memory>

namespace {

using namespace quillotone;
namespace fs = std::filesystem;
using realx::qpath;

class MainWindowOnX : public ::testing::Test {
protected:
    testutil::TempDir dir;
    QtUserInterface ui;
    std::unique_ptr<TfrmMain> win;

    void open(MainWindowParts parts = realx::ProgramParts()) {
        win = std::make_unique<TfrmMain>(ui, SettingsStore(qpath(dir / "config" / "Quillotone.conf")),
                                         qpath(dir.path()), ProductLinks{}, std::move(parts));
        win->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(win.get()));
    }

    // Short WAV files in the list, in this order.
    void addFiles(std::initializer_list<const char*> names) {
        QStringList paths;
        for (const char* name : names) {
            const fs::path p = dir / name;
            ASSERT_TRUE(testutil::makeTone(p, {"-c:a", "pcm_s16le"}, 0.2));
            paths << qpath(p);
        }
        win->List().AddFiles(paths, win.get());
        ASSERT_EQ(win->ListModel().rowCount(), int(names.size()));
        ASSERT_TRUE(QTest::qWaitForWindowActive(win.get())); // again, after the wait dialog
    }

    QPoint rowCentre(int row) const {
        return win->gvConvert->visualRect(win->ListModel().index(row, 2)).center();
    }

    // A cell editor is open in the list.
    bool editingInPlace() const {
        for (QWidget* w : win->gvConvert->viewport()->findChildren<QWidget*>())
            if (w->isVisible()) return true;
        return false;
    }

    // Answers the tag editor with Cancel and returns the file it opened at.
    void expectEditorAt(realx::DialogAnswers& dialogs, QString* opened) {
        dialogs.Then("Audio Tag Edit", [opened](QWidget& d) {
            auto* editor = qobject_cast<Tfrmtaginfo*>(&d);
            ASSERT_NE(editor, nullptr) << realx::text(d.windowTitle());
            *opened = editor->edtFilename->text();
            realx::click(editor->btnCancel);
        });
    }
};

TEST_F(MainWindowOnX, GrowsWithItsFrameAndComesBackAsItWasLeft) {
    open();
    EXPECT_EQ(win->size(), QSize(733, 564));
    const int listWidth = win->gvConvert->width(), listHeight = win->gvConvert->height();
    realx::clickTab(win->PC, 1);
    const int inspectorWidth = win->Inspector->width();
    realx::clickTab(win->PC, 0);

    win->resize(1000, 760); // as the user drags the frame
    ASSERT_TRUE(realx::waitFor([&] { return win->size() == QSize(1000, 760); })) << win->width();
    EXPECT_GE(win->gvConvert->width(), listWidth + 250);
    EXPECT_GE(win->gvConvert->height(), listHeight + 180);
    realx::clickTab(win->PC, 1);
    EXPECT_GE(win->Inspector->width(), inspectorWidth + 150);
    {
        // With the room, every caption of the inspector shows whole.
        auto* grid = qobject_cast<QTreeWidget*>(win->Inspector);
        ASSERT_NE(grid, nullptr);
        for (QTreeWidgetItemIterator it(grid); *it; ++it) {
            int depth = 0;
            for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
                ++depth;
            const QFont font = (*it)->font(0);
            const int needed =
                (depth + 1) * grid->indentation() + QFontMetrics(font).horizontalAdvance((*it)->text(0)) + 6;
            EXPECT_GE(grid->columnWidth(0), needed) << realx::text((*it)->text(0));
        }
    }
    realx::clickTab(win->PC, 0);
    win->gvConvert->setColumnWidth(Column::Title, 155);
    win->gvConvert->setColumnWidth(Column::Path, 400);

    // Not smaller than the first-start size.
    win->resize(500, 300);
    QTest::qWait(300);
    EXPECT_GE(win->width(), 733);
    EXPECT_GE(win->height(), 564);
    win->resize(1000, 760);
    ASSERT_TRUE(realx::waitFor([&] { return win->size() == QSize(1000, 760); }));

    realx::requestClose(*win);
    ASSERT_TRUE(realx::waitFor([&] { return !win->isVisible(); }));
    win.reset();

    open();
    EXPECT_TRUE(realx::waitFor([&] { return win->size() == QSize(1000, 760); }))
        << win->width() << "x" << win->height();
    EXPECT_EQ(win->gvConvert->columnWidth(Column::Title), 155);
    EXPECT_EQ(win->gvConvert->columnWidth(Column::Path), 400);
    EXPECT_EQ(win->gvConvert->columnWidth(Column::Artist), ConversionListModel::ColumnWidth(Column::Artist));

    // Maximised, through the window manager, and so again after a restart.
    win->showMaximized();
    ASSERT_TRUE(realx::waitFor([&] { return win->isMaximized() && win->width() > 1000; }));
    win.reset();
    open();
    EXPECT_TRUE(realx::waitFor([&] { return win->isMaximized() && win->width() > 1000; }));
}

TEST_F(MainWindowOnX, DeleteRemovesTheSelectionEnterAndDoubleClickOpenTheEditor) {
    open();
    addFiles({"a.wav", "b.wav", "c.wav"});
    realx::clickAt(win->gvConvert->viewport(), rowCentre(1));
    ASSERT_EQ(win->SelectedRowCount(), 1);
    QTest::keyClick(win->windowHandle(), Qt::Key_Delete);
    ASSERT_EQ(win->ListModel().rowCount(), 2);
    EXPECT_EQ(win->ListModel().Cell(0, Column::Filename), "a.wav");
    EXPECT_EQ(win->ListModel().Cell(1, Column::Filename), "c.wav");
    EXPECT_EQ(win->spListcount->text(), "Files count: 2");

    QString opened;
    {
        realx::DialogAnswers dialogs;
        expectEditorAt(dialogs, &opened);
        realx::clickAt(win->gvConvert->viewport(), rowCentre(1));
        QTest::keyClick(win->windowHandle(), Qt::Key_Return);
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
    }
    EXPECT_EQ(opened, "c.wav");
    {
        // A double click on a row that is already selected: the editor, and no cell edit after it.
        realx::clickAt(win->gvConvert->viewport(), rowCentre(0));
        QTest::qWait(2 * qApp->doubleClickInterval());
        realx::DialogAnswers dialogs;
        expectEditorAt(dialogs, &opened);
        QTest::mouseDClick(win->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                           win->gvConvert->viewport()->mapTo(win.get(), rowCentre(0)));
        EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
    }
    EXPECT_EQ(opened, "a.wav");
    QTest::qWait(2 * qApp->doubleClickInterval());
    EXPECT_FALSE(editingInPlace());

    // A tag cell is still edited in place, with F2.
    win->gvConvert->setCurrentIndex(win->ListModel().index(0, Column::Title));
    QTest::keyClick(win->windowHandle(), Qt::Key_F2);
    EXPECT_TRUE(editingInPlace());
    QTest::keyClicks(QApplication::focusWidget(), "In place");
    QTest::keyClick(win->windowHandle(), Qt::Key_Return);
    EXPECT_EQ(win->ListModel().Cell(0, Column::Title), "In place");
    EXPECT_EQ(win->ListModel().rowCount(), 2);

    // Or with a click on a cell of the selected row, once the double-click time is over.
    const QPoint artist = win->gvConvert->visualRect(win->ListModel().index(0, Column::Artist)).center();
    realx::clickAt(win->gvConvert->viewport(), artist);
    EXPECT_TRUE(realx::waitFor([&] { return editingInPlace(); }, 3000));
    QTest::keyClick(win->windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(realx::waitFor([&] { return !editingInPlace(); }, 3000));
}

TEST_F(MainWindowOnX, AltNAndAltSReachTheBigButton) {
    MainWindowParts parts = realx::ProgramParts();
    parts.createRun = nullptr; // the key is what is tested, not a run
    open(std::move(parts));
    addFiles({"a.wav"});
    int triggered = 0;
    QObject::connect(win->ActConvert, &QAction::triggered, [&] { ++triggered; });
    EXPECT_EQ(win->btnConvert->text(), "Convert &Now");
    // The button shows itself pressed for a moment before it fires.
    QTest::keyClick(win->windowHandle(), Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(realx::waitFor([&] { return triggered == 1; }, 2000));

    win->ActConvert->setText("&Stop Conversion"); // as during a run
    EXPECT_EQ(win->btnConvert->text(), "&Stop Conversion");
    QTest::keyClick(win->windowHandle(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(realx::waitFor([&] { return triggered == 2; }, 2000));
    QTest::keyClick(win->windowHandle(), Qt::Key_N, Qt::AltModifier);
    QTest::qWait(500);
    EXPECT_EQ(triggered, 2);
}

TEST_F(MainWindowOnX, DropDownsOpenAsWideAsTheirLongestItem) {
    open();
    realx::clickTab(win->PC, 1);
    for (QComboBox* box : {win->cmboutFormat, win->cmbQuality, win->cmbRename, win->cmbReadpriority}) {
        int longest = 0;
        for (int i = 0; i < box->count(); ++i)
            longest = std::max(longest, box->view()->fontMetrics().horizontalAdvance(box->itemText(i)));
        box->showPopup();
        QWidget* popup = box->view()->window();
        ASSERT_TRUE(realx::waitFor([&] { return popup->isVisible(); })) << box->objectName().toStdString();
        EXPECT_GE(box->view()->viewport()->width(), longest + 8) << box->objectName().toStdString();
        box->hidePopup();
        ASSERT_TRUE(realx::waitFor([&] { return !popup->isVisible(); }));
    }
}

TEST_F(MainWindowOnX, CaptionsAreExactlyTheProgramsTexts) {
    open();
    EXPECT_TRUE(realx::waitFor([&] { return realx::wmName(*win) == "Quillotone"; }))
        << realx::text(realx::wmName(*win));
    addFiles({"a.wav"});

    realx::DialogAnswers dialogs;
    auto expectCaption = [](const QString& caption) {
        return [caption](QWidget& d) {
            EXPECT_EQ(realx::text(d.windowTitle()), realx::text(caption));
            EXPECT_EQ(realx::text(realx::wmName(d)), realx::text(caption));
            if (auto* about = qobject_cast<TfrmAbout*>(&d)) {
                // Room for the caption beside the window manager's close button.
                EXPECT_GE(about->width(), about->fontMetrics().horizontalAdvance(caption) + 150);
                realx::click(about->findChild<QPushButton*>("btnClose"));
            } else if (auto* editor = qobject_cast<Tfrmtaginfo*>(&d)) {
                realx::click(editor->btnCancel);
            } else {
                realx::click(realx::button(d, QMessageBox::Ok));
            }
        };
    };
    dialogs.Then("About", expectCaption("About"));
    dialogs.Then("the missing help file", expectCaption("Quillotone"));
    dialogs.Then("the tag editor", expectCaption("Edit Audio Tag - a.wav")); // its caption names the row
    QTimer::singleShot(0, win.get(), [&] {
        win->mnuAbout->trigger();
        win->mnuHelp->trigger(); // no help.html in the program's folder here
        win->actEdittag->trigger();
    });
    EXPECT_TRUE(realx::waitFor([&] { return dialogs.Done(); }));
    EXPECT_FALSE(win->mnuHomepage->isEnabled()); // this build has no address
}

} // namespace
