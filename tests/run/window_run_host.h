// The conversion run's host over the main window, as the window is wired here; the tests use it
// to drive a run inside the real TfrmMain.
#pragma once

#include "app/conversion_list_model.h"
#include "app/tfrm_main.h"
#include "app/user_interface.h"
#include "conversion/conversion_run.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QUrl>

namespace runtest {

using namespace quillotone;

class WindowRunHost final : public IConversionRunHost {
public:
    explicit WindowRunHost(TfrmMain& w) : w_(w) {}

    int RowCount() const override { return w_.ListModel().rowCount(); }
    NamingRow RowCells(int row) const override {
        const ConversionListModel& m = w_.ListModel();
        NamingRow r;
        r.source = m.Path(row);
        r.track = m.Cell(row, Column::TrackNumber);
        r.artist = m.Cell(row, Column::Artist);
        r.title = m.Cell(row, Column::Title);
        r.album = m.Cell(row, Column::Album);
        r.year = m.Cell(row, Column::Year);
        r.genre = m.Cell(row, Column::Genre);
        return r;
    }
    void SetMark(int row, int mark) override { w_.ListModel().SetMark(row, mark); }
    void ScrollToRow(int row) override { w_.gvConvert->scrollTo(w_.ListModel().index(row, 0)); }
    RunSettings Settings() const override {
        RunSettings s;
        s.outFormat = w_.cmboutFormat->currentIndex();
        s.targetFolder = w_.edtoutFolder->text();
        s.naming.rename = w_.chkRename->isChecked();
        s.naming.prefix = w_.rdprefix->isChecked();
        s.naming.property = w_.rdProperty->isChecked();
        s.naming.prefixText = w_.edtPrefix->text();
        s.naming.startAt = w_.edtStartat->value();
        s.naming.padding = w_.edtPadding->value();
        s.naming.pattern = w_.cmbRename->currentText();
        s.promptExist = w_.chkPromptExist->isChecked();
        s.showSuccess = w_.chkShowSucc->isChecked();
        s.openDestination = w_.chkOpenDst->isChecked();
        return s;
    }
    void ApplyEncoderSettings() override { w_.cmboutFormatChange(); } // the window also reads the inspector
    void SetCaption(const QString& caption) override { w_.ActConvert->setText(caption); }
    void SetProgressVisible(bool visible) override { w_.ProgressBar->setVisible(visible); }
    void SetProgressValue(int percent) override { w_.ProgressBar->setValue(percent); }
    void SetRunControlsEnabled(bool on) override {
        for (QWidget* c :
             {static_cast<QWidget*>(w_.edtoutFolder), static_cast<QWidget*>(w_.cmboutFormat),
              static_cast<QWidget*>(w_.gbFileaname), static_cast<QWidget*>(w_.chkPromptExist),
              static_cast<QWidget*>(w_.chkShowSucc), static_cast<QWidget*>(w_.chkOpenDst), w_.Inspector,
              static_cast<QWidget*>(w_.gvConvert), static_cast<QWidget*>(w_.btnEdittag),
              static_cast<QWidget*>(w_.cmbQuality), static_cast<QWidget*>(w_.btnDelete),
              static_cast<QWidget*>(w_.cmbReadpriority), static_cast<QWidget*>(w_.cmbWriteFormat)})
            c->setEnabled(on);
        w_.ActaddFiles->setEnabled(on);
    }
    bool AskYesNo(const QString& title, const QString& text) override {
        return w_.Ui().Message(&w_, QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    }
    void ShowErrorBox(const QString& title, const QString& text) override {
        w_.Ui().Message(&w_, QMessageBox::Critical, title, text, QMessageBox::Ok);
    }
    void ShowPlainMessage(const QString& text) override {
        w_.Ui().Message(&w_, QMessageBox::NoIcon, "Quillotone", text, QMessageBox::Ok);
    }
    void ExploreFolder(const QString& folder) override { w_.Ui().OpenUrl(QUrl::fromLocalFile(folder)); }
    void ShowGeneralError(const QString& text) override {
        w_.Ui().Message(&w_, QMessageBox::Critical, "Quillotone", text, QMessageBox::Ok);
    }

private:
    TfrmMain& w_;
};

// The window's part: the host and the run, on the window's component and step timer.
class WindowRun final : public IConversionRun {
public:
    explicit WindowRun(TfrmMain& w) : host(w), run(*w.Convert(), host, w.TimeState) {}
    bool IsConverting() const override { return run.IsConverting(); }
    void ActConvertExecute() override { run.ActConvertExecute(); }
    WindowRunHost host;
    TConversionRun run;
};

} // namespace runtest
