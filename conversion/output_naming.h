// Output file naming of a conversion run: keep the source's name, number the files after a
// prefix, or build the name from the row's tag cells by a pattern that may make sub-folders.
#pragma once

#include "conversion/output_format.h"

#include <QString>
#include <array>
#include <functional>

namespace quillotone {

// The "Rename File" options as the main window holds them.
struct NamingOptions {
    bool rename = false;   // chkRename
    bool prefix = true;    // rdprefix
    bool property = false; // rdProperty
    QString prefixText;    // edtPrefix
    int startAt = 1;       // edtStartat, 1..99999
    int padding = 0;       // edtPadding, 0..10
    QString pattern;       // cmbRename's text
    // With the source's name and the prefix, an output goes into the sub-folders its source had
    // below the row's base folder.
    bool keepTree = false;
};

// The ready-made patterns of the rename drop-down `cmbRename`; a "\" in them makes a sub-folder.
inline constexpr std::array<const char*, 14> RenamePatterns{"track <number>",
                                                            "<artist> - <title>",
                                                            "<artist> - <album>\\<number>. <title>",
                                                            "<artist> - <album>\\<number> - <title>",
                                                            "<artist>\\<album>\\<number>. <title>",
                                                            "<artist>\\<album>\\<number> - <title>",
                                                            "<album>\\<number>. <artist> - <title>",
                                                            "<album>\\<number> - <artist> - <title>",
                                                            "<number>. <title>",
                                                            "<number> - <title>",
                                                            "<artist> - <album> - <number> - <title>",
                                                            "<title>",
                                                            "<artist> - <album>",
                                                            "<album>"};

// The cells of one list row that naming reads.
struct NamingRow {
    QString source; // Path column
    QString track, artist, title, album, year, genre;
    QString baseFolder; // the folder the row was added from; empty for a file added on its own
};

// The sub-folders of `source` below `baseFolder` ("" when there are none, or the source is not
// below it), made safe as names below a target folder.
QString TreeBelow(const QString& baseFolder, const QString& source);

struct NamingInput {
    QString targetFolder; // edtoutFolder
    OutFormat outFormat = OutFormat::Mp3;
    NamingOptions options;
    NamingRow row;
};

// File system access of the naming, replaceable in tests.
struct NamingFileSystem {
    std::function<bool(const QString&)> exists;      // a file or folder at the path
    std::function<bool(const QString&)> makeFolders; // with missing parents; true on success
    static NamingFileSystem Real();
};

// ".mp3", ".ogg", ".wav", ".wma".
QString OutputExtension(OutFormat format);

QString ZeroPad(qint64 number, int width);

// The path for the prefix mode: the first of prefix + number that names no existing file.
QString NumberedName(const NamingInput& in, const NamingFileSystem& fs = NamingFileSystem::Real());

// The output path of the row, or empty when the property mode cannot create its folder (or no
// rename mode is chosen).
QString OutputPathFor(const NamingInput& in, const NamingFileSystem& fs = NamingFileSystem::Real());

// The first of "name (2).ext", "name (3).ext", ... beside `path` that names nothing; the name is
// cut where the number would make it too long.
QString FreeNumberedPath(const QString& path, const NamingFileSystem& fs = NamingFileSystem::Real());

// The longest a single name in a path may be, in UTF-8 bytes.
constexpr int MaxNameBytes = 255;

} // namespace quillotone
