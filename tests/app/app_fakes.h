// Fakes for the widget tests: the desktop, the two components and the window's later parts.
#pragma once

#include "app/main_window.h"
#include "app/user_interface.h"
#include "conversion/component_error.h"
#include "conversion/convert_interface.h"
#include "conversion/information_interface.h"

#include <QDialog>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace apptest {

using namespace quillotone;

// Records everything shown; answers with what the test set.
class FakeUi final : public IUserInterface {
public:
    struct Shown {
        QMessageBox::Icon icon;
        QString title, text;
    };
    std::vector<Shown> messages;
    std::vector<QUrl> opened;
    bool openResult = true;
    QStringList filesToPick;
    QString lastFilters;
    QString folderToPick, lastFolderCaption, lastFolderStart;
    std::vector<QString> execTitles;
    std::function<void(QDialog&)> onExec; // sees the dialog while it would be shown

    bool OpenUrl(const QUrl& url) override {
        opened.push_back(url);
        return openResult;
    }
    QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons) override {
        messages.push_back({icon, title, text});
        return QMessageBox::Ok;
    }
    QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString& filters) override {
        lastFilters = filters;
        return filesToPick;
    }
    QString ExistingFolder(QWidget*, const QString& caption, const QString& folder) override {
        lastFolderCaption = caption;
        lastFolderStart = folder;
        return folderToPick;
    }
    int Exec(QDialog& dialog) override {
        execTitles.push_back(dialog.windowTitle());
        if (onExec) onExec(dialog);
        return QDialog::Accepted;
    }
};

struct FakeFile {
    bool valid = true; // what the kind test answers
    QString artist, title, album, genre, comment, copyright, url, encodedBy;
    int16_t track = 0;
    int32_t year = 0;
    bool throwOnOpen = false;

    static FakeFile invalid() {
        FakeFile f;
        f.valid = false;
        return f;
    }
};

class FakeInformation final : public IAudioInformation2 {
public:
    QMap<QString, FakeFile> files; // by path
    std::function<void(const QString&)> onOpen;
    QStringList kindAsked; // "mp3:path" ...

    bool IsMp3File(const QString& p) override { return kind("mp3", p); }
    bool IsWavFile(const QString& p) override { return kind("wav", p); }
    bool IsOggFile(const QString& p) override { return kind("ogg", p); }
    bool IsWmaFile(const QString& p) override { return kind("wma", p); }
    void OpenFile(const QString& path) override {
        if (onOpen) onOpen(path);
        current_ = files.value(path);
        if (current_.throwOnOpen) throw ComponentError("cannot read the stream properties");
    }
    int32_t SampleRate() const override { return 44100; }
    int32_t Bitrate() const override { return 128000; }
    int32_t DurationMs() const override { return 1000; }
    int64_t FileSize() const override { return 1; }
    int32_t ChannelMode() const override { return 2; }
    QString FormatDescription() const override { return "MPEG audio: fake"; }
    QString Artist() const override { return current_.artist; }
    QString Title() const override { return current_.title; }
    QString Album() const override { return current_.album; }
    QString Genre() const override { return current_.genre; }
    QString Comment() const override { return current_.comment; }
    QString Copyright() const override { return current_.copyright; }
    QString Url() const override { return current_.url; }
    QString EncodedBy() const override { return current_.encodedBy; }
    int16_t TrackNumber() const override { return current_.track; }
    int32_t Year() const override { return current_.year; }

private:
    bool kind(const char* k, const QString& p) {
        kindAsked << QString::fromLatin1(k) + ":" + p;
        return files.contains(p) && files[p].valid;
    }
    FakeFile current_;
};

class FakeEncoder final : public IAudioConvertLameMp3Encoder {
public:
    int32_t v32 = 0;
    int16_t v16 = 0;
    int32_t Mp3SampleRate() const override { return v32; }
    void SetMp3SampleRate(int32_t) override {}
    int32_t Mp3ChannelMode() const override { return v32; }
    void SetMp3ChannelMode(int32_t) override {}
    int32_t Mp3Bitrate() const override { return v32; }
    void SetMp3Bitrate(int32_t) override {}
    int16_t Mp3EncoderQuality() const override { return v16; }
    void SetMp3EncoderQuality(int16_t) override {}
    int32_t HighpassFrequency() const override { return v32; }
    void SetHighpassFrequency(int32_t) override {}
    int32_t HighpassWidth() const override { return v32; }
    void SetHighpassWidth(int32_t) override {}
    int32_t LowpassFrequency() const override { return v32; }
    void SetLowpassFrequency(int32_t) override {}
    int32_t LowpassWidth() const override { return v32; }
    void SetLowpassWidth(int32_t) override {}
    int32_t VbrMethod() const override { return v32; }
    void SetVbrMethod(int32_t) override {}
    int32_t VbrBitrate() const override { return v32; }
    void SetVbrBitrate(int32_t) override {}
    int16_t VbrQuality() const override { return v16; }
    void SetVbrQuality(int16_t) override {}
    int16_t AbrBitrate() const override { return v16; }
    void SetAbrBitrate(int16_t) override {}
    int16_t WriteVbrHeader() const override { return v16; }
    void SetWriteVbrHeader(int16_t) override {}
    int16_t StrictMinBitrate() const override { return v16; }
    void SetStrictMinBitrate(int16_t) override {}
    void ApplyPreset(int32_t) override {}
    void ApplyAltPreset(int32_t) override {}
};

// Only the WMA profile list and the creation setting matter to the window itself.
class FakeConvert final : public IAudioConvert {
public:
    std::vector<std::string>* log = nullptr;
    int32_t creationSetting = 0;
    void SetMp3Format(int32_t, int32_t, int32_t) override {}
    void SetOggFormat(int32_t, int32_t, int32_t, int32_t, int32_t, int16_t) override {}
    void SetWavFormat(int32_t, int32_t, int32_t) override {}
    void SetWmaProfile(int32_t p) override {
        if (p < 1 || p > WmaProfileCount) throw ComponentError("profile out of range");
        profile_ = p;
    }
    int32_t WmaProfile() const override { return profile_; }
    QString Mp3FormatDescription() const override { return "mp3"; }
    QString OggFormatDescription() const override { return "ogg"; }
    QString WavFormatDescription() const override { return "wav"; }
    QString WmaProfileDescription() const override { return QString("Profile %1").arg(profile_); }
    void ConvertToMp3(const QString&, const QString&) override {}
    void ConvertToOgg(const QString&, const QString&) override {}
    void ConvertToWav(const QString&, const QString&) override {}
    void ConvertToWma(const QString&, const QString&) override {}
    void StopConversion() override {}
    IAudioConvertLameMp3Encoder& Mp3Encoder() override { return encoder_; }
    void SetCreationSetting(int32_t v) override {
        creationSetting = v;
        if (log) log->push_back("CreationSetting");
    }

private:
    int32_t profile_ = 1;
    FakeEncoder encoder_;
};

} // namespace apptest
