#include "app/conversion_list.h"

#include "app/import_error_dialog.h"
#include "app/user_interface.h"
#include "app/wait_load_dialog.h"
#include "conversion/component_error.h"
#include "conversion/information_interface.h"
#include "tagedit/format_tags.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>
#include <exception>
#include <memory>
#include <set>

namespace quillotone {

namespace {

#ifdef Q_OS_WIN
// A-Z without regard to case, as the file system compares names there.
bool samePath(const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x >= 'a' && x <= 'z') x -= 'a' - 'A';
        if (y >= 'a' && y <= 'z') y -= 'a' - 'A';
        if (x != y) return false;
    }
    return true;
}
#endif

IAudioInformation2& need(IAudioInformation2* info) {
    if (!info) throw ComponentError("The audio information component is not available");
    return *info;
}

} // namespace

ConversionList::ConversionList(ConversionListModel& model, IUserInterface& ui, QObject* parent)
    : QObject(parent), model_(model), ui_(ui) {}

QString ConversionList::FileNamePart(const QString& path) {
    // The name after the last separator; the path need not exist.
    qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
#ifdef Q_OS_WIN
    cut = std::max(cut, path.lastIndexOf(QLatin1Char('\\')));
#endif
    return path.mid(cut + 1);
}

bool ConversionList::IsFileInList(const QString& path) const {
#ifdef Q_OS_WIN
    for (int row = 0; row < model_.rowCount(); ++row)
        if (samePath(model_.Path(row), path)) return true;
    return false;
#else
    return model_.HasPath(path); // names compare exactly here: the model's index answers
#endif
}

bool ConversionList::IsValidAudioFile(const QString& path) {
    const auto kind = tagedit::KindFromExtension(path.toStdString());
    if (!kind) return false;
    switch (*kind) {
    case tagedit::AudioKind::Mp3:
        return need(info_).IsMp3File(path);
    case tagedit::AudioKind::Wav:
        return need(info_).IsWavFile(path);
    case tagedit::AudioKind::Ogg:
        return need(info_).IsOggFile(path);
    case tagedit::AudioKind::Wma:
        return need(info_).IsWmaFile(path);
    }
    return false;
}

QString ConversionList::Refusal(const QString& path) {
    const QFileInfo fileInfo(path);
    if (!fileInfo.exists() || fileInfo.isDir()) {
        // a name that is not UTF-8 comes with U+FFFD in place of its bytes and names no file
        return path.contains(QChar(QChar::ReplacementCharacter))
                   ? QStringLiteral("The name is not valid UTF-8")
                   : QStringLiteral("File not exist");
    }
    if (!fileInfo.isFile()) return QStringLiteral("Not a regular file");
    if (IsFileInList(path)) return QStringLiteral("File already exists in list");
    if (!IsValidAudioFile(path)) return QStringLiteral("invalid audio file");
    return {};
}

void ConversionList::AddFileRow(const QString& path, const QString& baseFolder) {
    const int icon = model_.AppendIcon(iconProvider_.icon(QFileInfo(path)));
    const int row = model_.AppendRow(icon);
    model_.SetBaseFolder(row, baseFolder);
    model_.SetCell(row, Column::Filename, FileNamePart(path));
    try {
        IAudioInformation2& info = need(info_);
        info.OpenFile(path);
        model_.SetCell(row, Column::Artist, info.Artist());
        model_.SetCell(row, Column::Title, info.Title());
        model_.SetCell(row, Column::TrackNumber, QString::number(info.TrackNumber()));
        model_.SetCell(row, Column::Album, info.Album());
        const int32_t year = info.Year();
        if (year != 0) model_.SetCell(row, Column::Year, QString::number(year));
        model_.SetCell(row, Column::Genre, info.Genre());
        model_.SetCell(row, Column::Comment, info.Comment());
        model_.SetCell(row, Column::Copyright, info.Copyright());
        model_.SetCell(row, Column::Url, info.Url());
        model_.SetCell(row, Column::EncodedBy, info.EncodedBy());
        model_.SetCell(row, Column::Path, path);
    } catch (...) {
        // A row without a path would be converted from nowhere; its icon stays, as icons only grow.
        model_.RemoveRows({row});
        throw;
    }
}

void ConversionList::AddFiles(const QStringList& paths, QWidget* window) {
    if (paths.isEmpty()) return;

    // Both dialogs live for this call only, and the window is enabled again on every way out.
    auto errors = std::make_unique<TfrmImpErr>(window);
    auto wait = std::make_unique<TfrmwaitLoad>(window);
    struct Restore {
        QPointer<QWidget> window;
        void operator()() {
            if (!window) return;
            window->setEnabled(true);
            window->activateWindow();
            window = nullptr;
        }
        ~Restore() { (*this)(); }
    } restore{window};

    wait->show();
    if (window) window->setEnabled(false);
    wait->setEnabled(true);
    wait->activateWindow();

    const qsizetype n = paths.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QString& path = paths[i];
        const QString name = FileNamePart(path);
        try {
            if (const QString refusal = Refusal(path); !refusal.isEmpty()) {
                errors->AddEntry(name, path, refusal);
                continue;
            }
            AddFileRow(path);
        } catch (const std::exception& e) {
            errors->AddEntry(name, path, QString::fromUtf8(e.what()));
            continue;
        }
        const int percent = int(i * 100 / n);
        wait->SetPosition(percent);
        emit AddProgress(percent);
        QCoreApplication::processEvents();
    }

    wait->Finish();
    emit CountChanged(model_.rowCount());
    // The error list is the window's child: shown while the window is disabled, it would be drawn
    // disabled too, and nothing could close it.
    restore();
    if (errors->EntryCount() > 0) ui_.Exec(*errors);
}

void ConversionList::DeleteRows(const std::vector<int>& rows) {
    model_.RemoveRows(rows);
    emit CountChanged(model_.rowCount());
}

void ConversionList::DeleteRowsExcept(const std::vector<int>& keep) {
    const std::set<int> kept(keep.begin(), keep.end());
    std::vector<int> rows;
    for (int row = 0; row < model_.rowCount(); ++row)
        if (!kept.count(row)) rows.push_back(row);
    DeleteRows(rows);
}

void ConversionList::DeleteAll() {
    model_.Clear();
    emit CountChanged(model_.rowCount());
}

} // namespace quillotone
