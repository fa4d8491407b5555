// The conversion list's operations: checks, filling a row from the information component,
// adding files with progress and an error report, deleting.
#pragma once

#include "app/conversion_list_model.h"

#include <QFileIconProvider>
#include <QObject>
#include <QStringList>
#include <vector>

class QWidget;

namespace quillotone {

class IAudioInformation2;
class IUserInterface;

class ConversionList final : public QObject {
    Q_OBJECT
public:
    ConversionList(ConversionListModel& model, IUserInterface& ui, QObject* parent = nullptr);

    // Null while the information component is missing; files are then refused with a reason.
    void SetInformation(IAudioInformation2* info) { info_ = info; }

    ConversionListModel& Model() { return model_; }

    // As the file system compares names: exactly here, A-Z without regard to case on Windows.
    bool IsFileInList(const QString& path) const;
    // The content must pass the component's test for the kind named by the extension.
    bool IsValidAudioFile(const QString& path);
    // Why the list refuses the file ("File not exist", "File already exists in list", "invalid
    // audio file"), or empty when it takes it. Component errors are thrown.
    QString Refusal(const QString& path);
    // Appends a row for a file that exists, is not listed and is valid. When its properties cannot
    // be read, the row is removed again and the error is passed on.
    void AddFileRow(const QString& path, const QString& baseFolder = {});
    // The "Add Files" path: checks, wait dialog, error dialog. `window` is disabled while the files
    // are checked, and enabled again before the error dialog shows.
    void AddFiles(const QStringList& paths, QWidget* window);

    void DeleteRows(const std::vector<int>& rows);
    // Every row but `keep`.
    void DeleteRowsExcept(const std::vector<int>& keep);
    void DeleteAll();

    static QString FileNamePart(const QString& path);

signals:
    // The wait dialog's bar was set to `percent` after a file was added.
    void AddProgress(int percent);
    void CountChanged(int rows);

private:
    ConversionListModel& model_;
    IUserInterface& ui_;
    IAudioInformation2* info_ = nullptr;
    QFileIconProvider iconProvider_;
};

} // namespace quillotone
