// The persisted settings: the 43 stored values and those added beside them, one table that both loading
// and saving walk.
#pragma once

#include "conversion/encoder_settings.h"
#include "tagedit/format_tags.h"

#include <QSettings>
#include <QString>
#include <cstdint>
#include <span>
#include <variant>

namespace quillotone {

// The main window's options, as stored and as a run reads them. The initial values are the
// controls' state before any settings are read, which is what they keep when the store cannot be
// opened.
struct WindowOptions {
    QString TargetFolder;
    int32_t OutFormat = 0;
    bool Rename = false;
    bool Prefix = true;
    QString PrefixText;
    int32_t StartAt = 1;
    int32_t Padding = 0;
    bool Property = false;
    int32_t PropertyIndex = 0;
    QString PropertyText; // the pattern as it stands in cmbRename, picked or typed
    bool PromptExist = false;
    bool ShowSucc = false;
    bool OpenDest = false;
    int32_t ReadPriority = tagedit::kDefaultReadPriority;
    int32_t WriteFormat = tagedit::kDefaultWriteFormat;
    bool CopySourceTags = true; // a conversion carries the source's pictures and other tags
    bool GoOnAfterError = false;
    bool KeepFolderStructure = false;
    int32_t FilesAtOnce = 0; // conversions at once; 0 one per core
};

// Where the main window stood and how wide the list's columns were; empty until first saved.
struct WindowLayout {
    QString Geometry;     // QWidget::saveGeometry in base64
    QString ColumnWidths; // the list's column widths in pixels, comma-separated, in column order
};

struct StoredSettings {
    EncoderSettings encoder;
    WindowOptions window;
    WindowLayout layout;
};

enum class SettingType {
    Integer,
    Boolean, // stored as an integer, 1 or 0; any non-zero integer reads as true
    Text,
    Index, // an item index of a drop-down: a stored number at or above itemCount loads as the default
};

using SettingField = std::variant<int32_t*, bool*, QString*>;

struct SettingEntry {
    const char* name;
    SettingType type;
    int32_t defaultNumber;    // Integer, Boolean (0 or 1) and Index
    QString (*defaultText)(); // Text only
    int32_t itemCount;        // Index only
    SettingField (*field)(StoredSettings&);
};

// In stored order: the 43 values first, then those added beside them.
std::span<const SettingEntry> SettingsTable();

// The default target folder: the user's music folder ("C:\My Music" on Windows).
QString DefaultTargetFolder();

class SettingsStore {
public:
    // `location` is an INI file for QSettings::IniFormat, or the registry key for NativeFormat on Windows.
    explicit SettingsStore(QString location, QSettings::Format format = QSettings::IniFormat);

    // Reads every value; an absent value, or one that does not read as its type, takes its default.
    // Creates the store when it does not exist. When it cannot be opened, the encoder settings take
    // the defaults, the window options stay as they are, and the result is false.
    bool Load(StoredSettings& settings) const;
    // As Load, but nothing is ever created or written: a store that does not exist reads as a first
    // start (every default). For a run that must leave the settings as they are.
    bool Read(StoredSettings& settings) const;
    // Writes every value; false when the store could not be opened or written.
    bool Save(const StoredSettings& settings) const;

    const QString& Location() const { return location_; }

private:
    bool openOrCreate() const;
    bool read(StoredSettings& settings, bool opened) const;

    QString location_;
    QSettings::Format format_;
};

// The user's store: the registry key on Windows, elsewhere Quillotone/Quillotone.conf in the user's
// configuration folder.
SettingsStore UserSettingsStore();

} // namespace quillotone
