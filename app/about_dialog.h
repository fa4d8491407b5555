// "About": product name, version and the two links.
#pragma once

#include <QDialog>
#include <QLabel>

namespace quillotone {

class Help;

// The program's version, as the about box and --version show it.
inline constexpr const char* ProgramVersion = "2.5";

// Underlined in the highlight colour; a click is reported, never opened by the label itself.
class LinkLabel final : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, QWidget* parent);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TfrmAbout final : public QDialog {
    Q_OBJECT
public:
    TfrmAbout(QWidget* parent, Help& help);

    LinkLabel* lblWebSite;
    LinkLabel* lblEmail;
};

} // namespace quillotone
