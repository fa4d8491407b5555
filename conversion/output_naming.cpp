#include "conversion/output_naming.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace quillotone {

NamingFileSystem NamingFileSystem::Real() {
    return {[](const QString& path) { return QFileInfo::exists(path); },
            [](const QString& path) { return QDir().mkpath(path); }};
}

QString OutputExtension(OutFormat format) {
    switch (format) {
    case OutFormat::Mp3:
        return ".mp3";
    case OutFormat::Ogg:
        return ".ogg";
    case OutFormat::Wav:
        return ".wav";
    case OutFormat::Wma:
        return ".wma";
    }
    return {};
}

QString ZeroPad(qint64 number, int width) {
    QString text = QString::number(number);
    while (text.size() < width)
        text.prepend('0');
    return text;
}

namespace {

QString folderOf(const QString& targetFolder) {
    return targetFolder.endsWith('/') ? targetFolder : targetFolder + '/';
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// Cuts text to at most maxBytes of UTF-8 without splitting a character (nor a surrogate pair).
QString cutToBytes(const QString& text, int maxBytes) {
    if (text.toUtf8().size() <= maxBytes) return text;
    QString out;
    int bytes = 0;
    for (int i = 0; i < text.size();) {
        int units = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        int size = text.mid(i, units).toUtf8().size();
        if (bytes + size > maxBytes) break;
        out += text.mid(i, units);
        bytes += size;
        i += units;
    }
    return out;
}

bool onlyDots(const QString& part) {
    for (QChar c : part)
        if (c != '.') return false;
    return !part.isEmpty();
}

// The part of the path below the target folder, made safe: no empty levels, no "." or ".."
// levels that would leave or collapse the folder, and no name longer than the file system holds.
// The extension is kept whole; the name before it is cut.
QString safeRelative(const QString& relative, const QString& extension) {
    QStringList parts = relative.split('/');
    QString name = parts.takeLast();
    QStringList levels;
    for (QString level : parts) {
        if (level.isEmpty()) continue;
        if (onlyDots(level)) level.fill('_');
        levels << cutToBytes(level, MaxNameBytes);
    }
    if (onlyDots(name)) name.fill('_');
    name = cutToBytes(name, MaxNameBytes - int(extension.toUtf8().size()));
    levels << name + extension;
    return levels.join('/');
}

QString patternText(const NamingOptions& o, const NamingRow& row) {
    QString text = o.pattern;
    const std::pair<const char*, const QString*> placeholders[] = {
        {"<number>", &row.track}, {"<artist>", &row.artist}, {"<title>", &row.title},
        {"<album>", &row.album},  {"<year>", &row.year},     {"<genre>", &row.genre}};
    for (const auto& [name, value] : placeholders)
        text.replace(QString::fromLatin1(name), *value, Qt::CaseInsensitive);
    text.remove('<');
    text.remove('>');
    text.replace('/', '_');
    text.replace(':', ' ');
    text.replace('*', ' ');
    text.replace('?', ' ');
    text.replace('|', '-');
    text.remove('"');
    // "\" separates sub-folders, from the pattern as from a tag value
    text.replace('\\', '/');
    return text;
}

} // namespace

QString NumberedName(const NamingInput& in, const NamingFileSystem& fs) {
    const QString folder = folderOf(in.targetFolder);
    const QString ext = OutputExtension(in.outFormat);
    QString prefix = in.options.prefixText;
    if (prefix.isEmpty()) {
        prefix = fileNameOf(in.row.source);
        int dot = prefix.lastIndexOf('.');
        if (dot >= 0) prefix.truncate(dot);
    }
    prefix.replace('/', '_'); // a prefix names files, never folders
    qint64 n = in.options.startAt;
    QString path;
    do {
        path = folder + safeRelative(prefix + ZeroPad(n, in.options.padding), ext);
        ++n;
    } while (fs.exists(path));
    return path;
}

QString TreeBelow(const QString& baseFolder, const QString& source) {
    if (baseFolder.isEmpty()) return {};
    const QString relative = QDir(QDir::cleanPath(baseFolder)).relativeFilePath(QFileInfo(source).path());
    if (relative == "." || relative.isEmpty() || relative == ".." || relative.startsWith("../") ||
        QDir::isAbsolutePath(relative))
        return {};
    QStringList levels;
    for (QString level : relative.split('/', Qt::SkipEmptyParts)) {
        if (onlyDots(level)) level.fill('_');
        levels << cutToBytes(level, MaxNameBytes);
    }
    return levels.join('/');
}

QString FreeNumberedPath(const QString& path, const NamingFileSystem& fs) {
    const int slash = int(path.lastIndexOf('/'));
    const QString folder = path.left(slash + 1);
    QString name = path.mid(slash + 1);
    const int dot = int(name.lastIndexOf('.'));
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    if (dot > 0) name.truncate(dot);
    QString candidate;
    for (qint64 n = 2;; ++n) {
        const QString suffix = QString(" (%1)").arg(n) + ext;
        candidate = folder + cutToBytes(name, MaxNameBytes - int(suffix.toUtf8().size())) + suffix;
        if (!fs.exists(candidate)) return candidate;
    }
}

QString OutputPathFor(const NamingInput& given, const NamingFileSystem& fs) {
    NamingInput in = given;
    const NamingOptions& o = in.options;
    if (o.keepTree && (!o.rename || (!o.property && o.prefix))) {
        const QString tree = TreeBelow(in.row.baseFolder, in.row.source);
        if (!tree.isEmpty()) {
            in.targetFolder = folderOf(in.targetFolder) + tree;
            if (!fs.exists(in.targetFolder) && !fs.makeFolders(in.targetFolder)) return {};
        }
    }
    const QString ext = OutputExtension(in.outFormat);
    const QString folder = folderOf(in.targetFolder);
    if (!o.rename) {
        if (!fs.exists(in.targetFolder)) fs.makeFolders(in.targetFolder); // a failure shows at conversion
        QString name = fileNameOf(in.row.source);
        name.chop(4);
        return folder + safeRelative(name, ext);
    }
    if (o.property) {
        const QString path = folder + safeRelative(patternText(o, in.row), ext);
        const QString parent = path.left(path.lastIndexOf('/'));
        if (fs.exists(parent)) return path;
        return fs.makeFolders(parent) ? path : QString();
    }
    if (o.prefix) return NumberedName(in, fs);
    return {};
}

} // namespace quillotone
