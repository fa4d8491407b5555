#include "app/about_dialog.h"

#include "app/app_icon.h"
#include "app/help.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <utility>

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
    auto* webSite = new QLabel("WebSite:", this);
    auto* email = new QLabel("E-mail:", this);
    links->addWidget(webSite, 0, 0);
    links->addWidget(lblWebSite, 0, 1);
    links->addWidget(email, 1, 0);
    links->addWidget(lblEmail, 1, 1);
    links->setColumnStretch(1, 1);
    // A line whose address the build left empty is not shown.
    for (auto [title, link] : {std::pair{webSite, lblWebSite}, std::pair{email, lblEmail}}) {
        title->setVisible(!link->text().isEmpty());
        link->setVisible(!link->text().isEmpty());
    }

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
    // Wide enough that the window manager shows the caption whole beside its buttons.
    layout->addSpacerItem(new QSpacerItem(fontMetrics().averageCharWidth() * 40, 0, QSizePolicy::Fixed));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace quillotone
