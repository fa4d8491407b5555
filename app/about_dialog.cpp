#include "app/about_dialog.h"

#include "app/app_icon.h"
#include "app/help.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillotone {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Highlight));
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QLabel::mouseReleaseEvent(event);
}

TfrmAbout::TfrmAbout(QWidget* parent, Help& help)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("TfrmAbout");
    setWindowTitle("About");

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(48, 48));
    auto* name = new QLabel("Quillotone", this);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.4);
    name->setFont(bold);
    auto* version = new QLabel(QString("Version ") + ProgramVersion, this);
    auto* titles = new QVBoxLayout;
    titles->addWidget(name);
    titles->addWidget(version);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(titles, 1);

    lblWebSite = new LinkLabel(help.Links().homepage, this);
    lblWebSite->setObjectName("lblWebSite");
    lblEmail = new LinkLabel(help.Links().email, this);
    lblEmail->setObjectName("lblEmail");
    connect(lblWebSite, &LinkLabel::clicked, this, [&help] { help.OpenHomepage(); });
    connect(lblEmail, &LinkLabel::clicked, this, [&help] { help.OpenMail(); });
    auto* links = new QGridLayout;
    links->addWidget(new QLabel("WebSite:", this), 0, 0);
    links->addWidget(lblWebSite, 0, 1);
    links->addWidget(new QLabel("E-mail:", this), 1, 0);
    links->addWidget(lblEmail, 1, 1);
    links->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton("Close", QDialogButtonBox::AcceptRole);
    close->setObjectName("btnClose");
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(links);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace quillotone
