#include "app/popup_combo_box.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QStyle>

namespace quillotone {

int PopupComboBox::PopupWidth() const {
    const QAbstractItemView* list = view();
    const int frame = 2 * list->frameWidth() + 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return list->sizeHintForColumn(0) + frame + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

void PopupComboBox::showPopup() {
    // Items change while the program runs (the quality list follows the format), so the width is
    // taken at each opening.
    view()->setMinimumWidth(PopupWidth());
    QComboBox::showPopup();
}

} // namespace quillotone
