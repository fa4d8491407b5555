#pragma once

#include <QIcon>

namespace quillotone {

// The program's icon, drawn rather than shipped: a note on a blue disc.
QIcon AppIcon();

} // namespace quillotone
