#include "app/audio_extensions.h"

#include "tagedit/format_tags.h"

namespace quillotone {

using tagedit::AudioKind;

namespace {

QString maskOf(AudioKind kind) {
    const std::string_view ext = tagedit::KindExtensions[size_t(kind)];
    return QStringLiteral("*") + QString::fromLatin1(ext.data(), qsizetype(ext.size()));
}

// Windows matched the patterns without regard to case; here the dialog needs them spelled out.
QString anyCase(const QString& pattern) {
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter())
            out += QStringLiteral("[%1%2]").arg(c.toLower(), c.toUpper());
        else
            out += c;
    }
    return out;
}

QString filter(const QString& description, const QStringList& masks) {
    QStringList patterns;
    for (const QString& mask : masks)
        patterns << anyCase(mask);
    return QStringLiteral("%1(%2) (%3)").arg(description, masks.join(','), patterns.join(' '));
}

} // namespace

bool HasAudioExtension(const QString& path) {
    return tagedit::KindFromExtension(path.toStdString()).has_value();
}

QStringList FolderSearchMasks() {
    QStringList masks;
    for (AudioKind kind : {AudioKind::Mp3, AudioKind::Ogg, AudioKind::Wma, AudioKind::Wav})
        masks << maskOf(kind);
    return masks;
}

QString OpenDialogFilters() {
    struct KindFilter {
        AudioKind kind;
        const char* description;
    };
    static constexpr KindFilter kinds[] = {{AudioKind::Mp3, "MPEG Audio files"},
                                           {AudioKind::Ogg, "Ogg files"},
                                           {AudioKind::Wav, "Wave files"},
                                           {AudioKind::Wma, "Windows Media Audio files"}};
    QStringList all;
    for (const KindFilter& k : kinds)
        all << maskOf(k.kind);
    QStringList filters{filter("All supported types", all)};
    for (const KindFilter& k : kinds)
        filters << filter(QLatin1String(k.description), {maskOf(k.kind)});
    return filters.join(";;");
}

} // namespace quillotone
