// A main window on fake components, a temporary settings file and a recording desktop.
#pragma once

#include "app_fakes.h"
#include "common/test_files.h"

#include <QItemSelectionModel>
#include <QTableView>
#include <filesystem>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>

namespace apptest {

class WindowFixture : public ::testing::Test {
protected:
    testutil::TempDir dir;
    FakeUi ui;
    FakeInformation* info = nullptr; // owned by the window
    FakeConvert* convert = nullptr;
    MainWindowParts parts;
    std::unique_ptr<TfrmMain> win;
    ProductLinks links{"quillotone-test:home", "help@quillotone"};

    QString settingsFile() const {
        return QString::fromStdString((dir / "settings" / "Quillotone.conf").string());
    }
    QString programFolder() const { return QString::fromStdString(dir.path().string()); }

    WindowFixture() {
        parts.createConvert = [this] {
            auto c = std::make_unique<FakeConvert>();
            convert = c.get();
            return std::unique_ptr<IAudioConvert>(std::move(c));
        };
        parts.createInformation = [this] {
            auto i = std::make_unique<FakeInformation>();
            info = i.get();
            return std::unique_ptr<IAudioInformation2>(std::move(i));
        };
    }

    void open() {
        win = std::make_unique<TfrmMain>(ui, SettingsStore(settingsFile()), programFolder(), links, parts);
    }
    void closeWindow() { win.reset(); }

    // The settings file as another program would have left it.
    void writeSettings(const std::string& ini) {
        std::filesystem::create_directories(dir / "settings");
        testutil::writeFile(dir / "settings" / "Quillotone.conf",
                            std::vector<uint8_t>(ini.begin(), ini.end()));
    }

    // A file on disk that the fake component takes as valid audio.
    QString goodFile(const std::string& name, FakeFile tags = {}) {
        const auto p = dir / name;
        testutil::writeFile(p, {1, 2, 3});
        const QString path = QString::fromStdString(p.string());
        if (info) info->files[path] = tags;
        return path;
    }

    void addRows(int n) {
        QStringList paths;
        for (int i = 0; i < n; ++i)
            paths << goodFile("row" + std::to_string(i) + ".mp3");
        win->List().AddFiles(paths, win.get());
    }

    void select(std::initializer_list<int> rows) {
        QItemSelectionModel* sel = win->gvConvert->selectionModel();
        sel->clearSelection();
        for (int r : rows)
            sel->select(win->ListModel().index(r, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

} // namespace apptest
