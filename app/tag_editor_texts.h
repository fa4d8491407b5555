// The texts of the tag editor's Summary page and its file name rules, apart from the dialog so that
// each rule can be checked on its own.
#pragma once

#include "tagedit/format_tags.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace quillotone {

// "MPEG audio file", "Ogg file", "Wave file", "Windows Media Audio file"; empty for no kind.
QString KindText(std::optional<tagedit::AudioKind> kind);
// Bytes in MB with two decimals and the system's decimal separator: 3932160 gives "3.75 MB".
QString SizeText(int64_t bytes);
// Whole kbit/s, cut toward zero: 191999 gives "191 Kbps".
QString BitrateText(int32_t bitsPerSecond);
QString SampleRateText(int32_t hz);
// The part of a format description before its first ":"; empty when it has none.
QString FormatNameText(const QString& description);
// 0 and 1 "Mono", 2 "Stereo", 3 "Dual Stereo"; empty for anything else.
QString ChannelsText(int32_t channelMode);
// Whole seconds, halves to the even neighbour; empty for none, MM:SS below an hour, else HH:MM:SS.
QString DurationText(int32_t milliseconds);
// "yyyy-mm-dd hh:nn" in UTC; empty for a time the file system could not give.
QString FileTimeText(const QDateTime& time);

// The characters a file name may not hold, as the "Error Filename" message lists them.
bool HasForbiddenFilenameChar(const QString& name);
extern const QString ForbiddenFilenameMessage;
// The path a row's file gets from the Filename field: the old folder, then the typed name, with the old
// extension appended unless the name already ends in it (without regard to case).
QString RenamedPath(const QString& oldPath, const QString& typedName);

} // namespace quillotone
