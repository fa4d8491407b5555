#include "app/tag_editor_texts.h"

#include <QFileInfo>
#include <QLocale>
#include <cmath>

namespace quillotone {

QString KindText(std::optional<tagedit::AudioKind> kind) {
    if (!kind) return {};
    switch (*kind) {
    case tagedit::AudioKind::Mp3:
        return "MPEG audio file";
    case tagedit::AudioKind::Ogg:
        return "Ogg file";
    case tagedit::AudioKind::Wav:
        return "Wave file";
    case tagedit::AudioKind::Wma:
        return "Windows Media Audio file";
    }
    return {};
}

QString SizeText(int64_t bytes) {
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(double(bytes) / 1024 / 1024, 'f', 2) + " MB";
}

QString BitrateText(int32_t bitsPerSecond) {
    return QString::number(bitsPerSecond / 1000) + " Kbps";
}

QString SampleRateText(int32_t hz) {
    return QString::number(hz) + " Hz";
}

QString FormatNameText(const QString& description) {
    const qsizetype colon = description.indexOf(':');
    return colon < 0 ? QString() : description.left(colon);
}

QString ChannelsText(int32_t channelMode) {
    switch (channelMode) {
    case 0:
    case 1:
        return "Mono";
    case 2:
        return "Stereo";
    case 3:
        return "Dual Stereo";
    default:
        return {};
    }
}

QString DurationText(int32_t milliseconds) {
    // rint rounds halves to the even neighbour in the default rounding mode
    const long long seconds = std::llrint(double(milliseconds) / 1000);
    if (seconds <= 0) return {};
    auto two = [](long long n) { return QString::number(n).rightJustified(2, '0'); };
    const QString minutesSeconds = two(seconds / 60 % 60) + ":" + two(seconds % 60);
    if (seconds < 3600) return minutesSeconds;
    return two(seconds / 3600) + ":" + minutesSeconds;
}

QString FileTimeText(const QDateTime& time) {
    if (!time.isValid()) return {};
    return time.toUTC().toString("yyyy-MM-dd hh:mm");
}

const QString ForbiddenFilenameMessage =
    "A filename cannot contain any of the following characters: \"\\,/,:,*,?,\",<,>,|\"";

bool HasForbiddenFilenameChar(const QString& name) {
    for (QChar c : name)
        if (QStringView(u"\\/:*?\"<>|").contains(c)) return true;
    return false;
}

QString RenamedPath(const QString& oldPath, const QString& typedName) {
    const qsizetype slash = oldPath.lastIndexOf('/');
    const QString folder = oldPath.left(slash + 1);
    const QString fileName = oldPath.mid(slash + 1);
    const qsizetype dot = fileName.lastIndexOf('.');
    const QString extension = dot < 0 ? QString() : fileName.mid(dot);
    const bool hasExtension = typedName.right(extension.size()).compare(extension, Qt::CaseInsensitive) == 0;
    return folder + typedName + (hasExtension ? QString() : extension);
}

} // namespace quillotone
