// The four audio extensions where the window shows or searches them, all built from tagedit's one
// table (KindExtensions).
#pragma once

#include <QString>
#include <QStringList>

namespace quillotone {

// The name after the last separator ends in one of the four extensions, in any case.
bool HasAudioExtension(const QString& path);

// "*.mp3", "*.ogg", "*.wma", "*.wav": the order in which a dropped folder is searched, one pass per mask.
QStringList FolderSearchMasks();

// The "Open" dialog's filters, "Description (patterns);;...": all four kinds, then one per kind.
QString OpenDialogFilters();

} // namespace quillotone
