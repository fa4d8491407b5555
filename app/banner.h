#pragma once

#include <QWidget>

namespace quillotone {

// The picture across the top of the main window.
class Banner final : public QWidget {
    Q_OBJECT
public:
    explicit Banner(QWidget* parent);
    QSize sizeHint() const override { return {733, 52}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quillotone
