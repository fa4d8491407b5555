// "Help", "Homepage", "About..." and the about box's two links.
#pragma once

#include <QString>

class QWidget;

namespace quillotone {

class IUserInterface;

// Set by the build; an empty address leaves its link without a target.
struct ProductLinks {
    QString homepage;
    QString email;
};

class Help {
public:
    // `programFolder`: the folder of the executable; "help.html" lies beside it, or in
    // ../share/quillotone/ when installed.
    Help(IUserInterface& ui, QString programFolder, ProductLinks links);

    QString HelpFilePath() const;
    void mnuHelpClick(QWidget* parent);
    void OpenHomepage();
    void OpenMail();
    // A fresh about box for every opening.
    void mnuAboutClick(QWidget* parent);

    const ProductLinks& Links() const { return links_; }

private:
    IUserInterface& ui_;
    QString programFolder_;
    ProductLinks links_;
};

} // namespace quillotone
