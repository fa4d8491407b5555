#include "app/settings_store.h"

#include "conversion/output_format.h"
#include "conversion/output_naming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <array>
#include <optional>

namespace quillotone {

namespace {

QString noText() {
    return QString();
}

// Each entry's field, spelled once.
#define Q_FIELD(member) [](StoredSettings& s) -> SettingField { return &s.member; }

// Item indexes count the items of cmboutFormat, cmbRename, cmbReadpriority and cmbWriteFormat.
constexpr int32_t itemsOf(const auto& table) {
    return int32_t(table.size());
}

const std::array<SettingEntry, 50> kTable{{
    {"MP3SampleRate", SettingType::Integer, 44100, nullptr, 0, Q_FIELD(encoder.mp3.Mp3SampleRate)},
    {"MP3Channel", SettingType::Integer, 2, nullptr, 0, Q_FIELD(encoder.mp3.Mp3ChannelMode)},
    {"MP3Bitrate", SettingType::Integer, 256, nullptr, 0, Q_FIELD(encoder.mp3.Mp3Bitrate)},
    {"MP3EncoderQuality", SettingType::Integer, 7, nullptr, 0, Q_FIELD(encoder.mp3.Mp3EncoderQuality)},
    {"HighPassFrequency", SettingType::Integer, 30, nullptr, 0, Q_FIELD(encoder.mp3.HighpassFrequency)},
    {"HighPassWidth", SettingType::Integer, 5, nullptr, 0, Q_FIELD(encoder.mp3.HighpassWidth)},
    {"LowPassFrequency", SettingType::Integer, 15160, nullptr, 0, Q_FIELD(encoder.mp3.LowpassFrequency)},
    {"LowPassWidth", SettingType::Integer, 760, nullptr, 0, Q_FIELD(encoder.mp3.LowpassWidth)},
    {"EnableHighPass", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(encoder.EnableHighPass)},
    {"EnableLowPass", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(encoder.EnableLowPass)},
    {"VbrCodingMethod", SettingType::Integer, -1, nullptr, 0, Q_FIELD(encoder.mp3.VbrMethod)},
    {"MP3VBRBitrate", SettingType::Integer, 192, nullptr, 0, Q_FIELD(encoder.mp3.VbrBitrate)},
    {"WritingVBRHeader", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(encoder.mp3.WriteVbrHeader)},
    {"StrictlyEnforceMinBitrate", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(encoder.mp3.StrictMinBitrate)},
    {"MP3VbrQuality", SettingType::Integer, 7, nullptr, 0, Q_FIELD(encoder.mp3.VbrQuality)},
    {"AbrBitrate", SettingType::Integer, 128, nullptr, 0, Q_FIELD(encoder.mp3.AbrBitrate)},
    {"Presets", SettingType::Integer, 0, nullptr, 0, Q_FIELD(encoder.mp3.Preset)},
    {"AltPresets", SettingType::Integer, 0, nullptr, 0, Q_FIELD(encoder.mp3.AltPreset)},
    {"OGGSampleRate", SettingType::Integer, 44100, nullptr, 0, Q_FIELD(encoder.ogg.OggSampleRate)},
    {"OGGChannel", SettingType::Integer, 2, nullptr, 0, Q_FIELD(encoder.ogg.OggChannels)},
    {"OGGBitrate", SettingType::Integer, 256, nullptr, 0, Q_FIELD(encoder.ogg.OggBitrate)},
    {"EnableVBR", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(encoder.OggVbr)},
    {"MinBitrate", SettingType::Integer, 128, nullptr, 0, Q_FIELD(encoder.OggMinBitrate)},
    {"MaxBitrate", SettingType::Integer, 128, nullptr, 0, Q_FIELD(encoder.OggMaxBitrate)},
    {"OGGEncoderQuality", SettingType::Integer, -1, nullptr, 0, Q_FIELD(encoder.ogg.OggQuality)},
    // The two WAV names are crossed, and stored settings depend on it: "PCMSamplerate" holds the
    // sample size in bits and "PCMSamplesize" the rate in Hz.
    {"PCMSamplerate", SettingType::Integer, 16, nullptr, 0, Q_FIELD(encoder.WavBitsPerSample)},
    {"PCMChannel", SettingType::Integer, 2, nullptr, 0, Q_FIELD(encoder.WavChannels)},
    {"PCMSamplesize", SettingType::Integer, 44100, nullptr, 0, Q_FIELD(encoder.WavSampleRate)},
    {"WMAQuality", SettingType::Integer, 1, nullptr, 0, Q_FIELD(encoder.WmaQuality)},
    {"TargetFolder", SettingType::Text, 0, &DefaultTargetFolder, 0, Q_FIELD(window.TargetFolder)},
    {"OutFormat", SettingType::Index, int32_t(OutFormat::Mp3), nullptr, kOutFormatCount,
     Q_FIELD(window.OutFormat)},
    {"Rename", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(window.Rename)},
    {"Prefix", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(window.Prefix)},
    {"Prefixtxt", SettingType::Text, 0, &noText, 0, Q_FIELD(window.PrefixText)},
    {"Startat", SettingType::Integer, 1, nullptr, 0, Q_FIELD(window.StartAt)},
    {"Padding", SettingType::Integer, 0, nullptr, 0, Q_FIELD(window.Padding)},
    {"Property", SettingType::Boolean, 1, nullptr, 0, Q_FIELD(window.Property)},
    {"Propertytxt", SettingType::Index, 9, nullptr, itemsOf(RenamePatterns), Q_FIELD(window.PropertyIndex)},
    {"PromptExist", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(window.PromptExist)},
    {"ShowSucc", SettingType::Boolean, 1, nullptr, 0, Q_FIELD(window.ShowSucc)},
    {"OpenDest", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(window.OpenDest)},
    {"ReadPriority", SettingType::Index, tagedit::kDefaultReadPriority, nullptr,
     itemsOf(tagedit::ReadPriorities), Q_FIELD(window.ReadPriority)},
    {"WriteFormat", SettingType::Index, tagedit::kDefaultWriteFormat, nullptr, itemsOf(tagedit::WriteFormats),
     Q_FIELD(window.WriteFormat)},
    {"CopySourceTags", SettingType::Boolean, 1, nullptr, 0, Q_FIELD(window.CopySourceTags)},
    // Beside the 43, with names of their own: the copy option, the naming pattern as typed
    // ("Propertytxt" keeps only the list index), the window's place, the list's column widths, and
    // three run options.
    {"PropertyPattern", SettingType::Text, 0, &noText, 0, Q_FIELD(window.PropertyText)},
    {"WindowGeometry", SettingType::Text, 0, &noText, 0, Q_FIELD(layout.Geometry)},
    {"ColumnWidths", SettingType::Text, 0, &noText, 0, Q_FIELD(layout.ColumnWidths)},
    {"GoOnAfterError", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(window.GoOnAfterError)},
    {"KeepFolderStructure", SettingType::Boolean, 0, nullptr, 0, Q_FIELD(window.KeepFolderStructure)},
    {"FilesAtOnce", SettingType::Integer, 0, nullptr, 0, Q_FIELD(window.FilesAtOnce)},
}};

#undef Q_FIELD

// A stored number: a 32-bit integer, or text that reads as one. Anything else counts as absent.
bool readNumber(const QVariant& value, int32_t& out) {
    bool ok = false;
    int n = 0;
    if (value.typeId() == QMetaType::QString)
        n = value.toString().trimmed().toInt(&ok);
    else if (value.canConvert<int>() && value.typeId() != QMetaType::QStringList)
        n = value.toInt(&ok);
    if (ok) out = n;
    return ok;
}

void applyDefault(const SettingEntry& entry, StoredSettings& s) {
    std::visit(
        [&](auto* field) {
            using T = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<T, QString>)
                *field = entry.defaultText();
            else if constexpr (std::is_same_v<T, bool>)
                *field = entry.defaultNumber != 0;
            else
                *field = entry.defaultNumber;
        },
        entry.field(s));
}

void readValue(const SettingEntry& entry, const QVariant& value, StoredSettings& s) {
    SettingField field = entry.field(s);
    if (entry.type == SettingType::Text) {
        // Written by us, a text always reads back as one string; a list or other type is not ours.
        if (value.typeId() == QMetaType::QString)
            *std::get<QString*>(field) = value.toString();
        else
            applyDefault(entry, s);
        return;
    }
    int32_t n = 0;
    if (!readNumber(value, n)) {
        applyDefault(entry, s);
        return;
    }
    switch (entry.type) {
    case SettingType::Boolean:
        *std::get<bool*>(field) = n != 0;
        break;
    case SettingType::Index:
        // Only the upper end is checked: a negative index leaves the drop-down without a selection.
        *std::get<int32_t*>(field) = n >= entry.itemCount ? entry.defaultNumber : n;
        break;
    default:
        *std::get<int32_t*>(field) = n;
        break;
    }
}

QVariant storedValue(const SettingEntry& entry, StoredSettings& s) {
    return std::visit(
        [](auto* field) -> QVariant {
            using T = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<T, bool>)
                return QVariant(*field ? 1 : 0);
            else
                return QVariant(*field);
        },
        entry.field(s));
}

} // namespace

std::span<const SettingEntry> SettingsTable() {
    return kTable;
}

QString DefaultTargetFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\My Music");
#else
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
#endif
}

SettingsStore UserSettingsStore() {
#ifdef Q_OS_WIN
    return SettingsStore("HKEY_CURRENT_USER\\SOFTWARE\\Quillotone", QSettings::NativeFormat);
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return SettingsStore(QDir(folder).filePath("Quillotone/Quillotone.conf"), QSettings::IniFormat);
#endif
}

SettingsStore::SettingsStore(QString location, QSettings::Format format)
    : location_(std::move(location)), format_(format) {}

bool SettingsStore::openOrCreate() const {
    if (format_ != QSettings::IniFormat) return true; // the registry key is created by QSettings itself
    const QFileInfo info(location_);
    if (info.exists()) return info.isFile() && info.isReadable();
    if (!QDir().mkpath(info.absolutePath())) return false;
    // The store exists from the first start on, even before anything was saved.
    QFile file(location_);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}

bool SettingsStore::Load(StoredSettings& settings) const {
    return read(settings, openOrCreate());
}

bool SettingsStore::Read(StoredSettings& settings) const {
    if (format_ != QSettings::IniFormat) return read(settings, true);
    const QFileInfo info(location_);
    if (!info.exists()) {
        for (const SettingEntry& entry : SettingsTable())
            applyDefault(entry, settings);
        return true;
    }
    return read(settings, info.isFile() && info.isReadable());
}

bool SettingsStore::read(StoredSettings& settings, bool opened) const {
    const auto table = SettingsTable();
    std::optional<QSettings> store;
    if (opened) store.emplace(location_, format_);
    if (!store || store->status() != QSettings::NoError) {
        // Nothing is read: the encoder values take their defaults, the window keeps its state.
        StoredSettings defaults;
        for (const SettingEntry& entry : table)
            applyDefault(entry, defaults);
        settings.encoder = defaults.encoder;
        return false;
    }
    for (const SettingEntry& entry : table) {
        const QVariant value = store->value(QLatin1String(entry.name));
        if (value.isValid())
            readValue(entry, value, settings);
        else
            applyDefault(entry, settings);
    }
    return true;
}

bool SettingsStore::Save(const StoredSettings& settings) const {
    if (!openOrCreate()) return false;
    QSettings store(location_, format_);
    if (store.status() != QSettings::NoError) return false;
    StoredSettings copy = settings; // the table hands out writable fields
    for (const SettingEntry& entry : SettingsTable())
        store.setValue(QLatin1String(entry.name), storedValue(entry, copy));
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace quillotone
