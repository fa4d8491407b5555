// A drop-down whose list opens as wide as its longest item, however narrow the box itself is.
#pragma once

#include <QComboBox>

namespace quillotone {

class PopupComboBox final : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    // The width the open list takes: the longest item, its margins and a scroll bar.
    int PopupWidth() const;
    void showPopup() override;
};

} // namespace quillotone
