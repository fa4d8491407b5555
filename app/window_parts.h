// The parts of the main window that other classes provide: the encoder settings inspector, the
// quality drop-down, the conversion run and the tag editor. The window works without any of them;
// each is created once, during the window's creation, from the factories it is given.
#pragma once

#include "conversion/output_format.h"

#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

namespace quillotone {

// Shows the text of an error that a handler could not finish for.
using ErrorReport = std::function<void(const QString& text)>;

// The property inspector on the "Settings" tab; it edits the window's EncoderSettings.
class IInspector {
public:
    virtual ~IInspector() = default;
    virtual QWidget* Widget() = 0;
    virtual void SetWmaQualities(const QStringList& descriptions) = 0;
    virtual QStringList WmaQualities() const = 0;
    virtual void ShowSettings() = 0;  // settings to inspector
    virtual void ReadInspector() = 0; // inspector to settings
    virtual void CollapseAll() = 0;
    // The format's group: "MP3 Quality", "Ogg Quality", "Wav Quality" or "Wma Quality".
    virtual void Expand(OutFormat format) = 0;
    // The MP3 preset on show (0 none), and picking one as the user does.
    virtual int ShownPreset() const = 0;
    virtual void cmbPresetSelect(int index) = 0;
};

// The quality drop-down below the tabs and the "Quality: " pane.
class IQualityChoices {
public:
    virtual ~IQualityChoices() = default;
    // The output format changed: rebuild the list, apply the format, update the pane.
    virtual void cmboutFormatChange() = 0;
};

// The conversion run behind the big button.
class IConversionRun {
public:
    virtual ~IConversionRun() = default;
    virtual bool IsConverting() const = 0;
    // Starts a run, or asks the one under way to stop.
    virtual void ActConvertExecute() = 0;
};

// The tag editor dialog, reused for every opening.
class ITagEditor {
public:
    virtual ~ITagEditor() = default;
    virtual QDialog& Dialog() = 0;
    virtual void SetCurrentRow(int row) = 0;
};

} // namespace quillotone
