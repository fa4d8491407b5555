// Everything the program shows or hands to the desktop that a test must be able to answer or
// record: message boxes, file and folder dialogs, modal dialogs and shell opens.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>

class QDialog;
class QWidget;

namespace quillotone {

class IUserInterface {
public:
    virtual ~IUserInterface() = default;

    // Hands a document, folder or link to the desktop; false when the desktop refused it.
    virtual bool OpenUrl(const QUrl& url) = 0;
    virtual QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                const QString& text,
                                                QMessageBox::StandardButtons buttons) = 0;
    // `filters` in the file dialog's form: "Description (patterns);;...". Empty when cancelled.
    virtual QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& folder,
                                      const QString& filters) = 0;
    // Empty when cancelled.
    virtual QString ExistingFolder(QWidget* parent, const QString& caption, const QString& folder) = 0;
    // Shows the dialog modally and returns its result code.
    virtual int Exec(QDialog& dialog) = 0;
};

// The program's error display: a critical message under the program's name.
void ShowError(IUserInterface& ui, QWidget* parent, const QString& text);

// The desktop itself.
class QtUserInterface final : public IUserInterface {
public:
    bool OpenUrl(const QUrl& url) override;
    QMessageBox::StandardButton Message(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons) override;
    QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& folder,
                              const QString& filters) override;
    QString ExistingFolder(QWidget* parent, const QString& caption, const QString& folder) override;
    int Exec(QDialog& dialog) override;
};

} // namespace quillotone
