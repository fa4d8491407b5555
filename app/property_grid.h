// A property grid: collapsible groups of captioned items, each edited in place by a drop-down
// list, a spin field that accepts typed text, a slider or a True/False check.
#pragma once

#include <QAbstractSpinBox>
#include <QStringList>
#include <QTreeWidget>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

namespace quillotone {

// Up and down step within a range; any typed text is kept as it is until it is read, except
// that a typed number outside the range is brought into it when editing ends.
class SpinEdit final : public QAbstractSpinBox {
    Q_OBJECT
public:
    SpinEdit(int minimum, int maximum, int step, QWidget* parent = nullptr);
    QString valueText() const;
    void setValueText(const QString& text);
    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

signals:
    void edited();

protected:
    StepEnabled stepEnabled() const override;

private:
    void clampTyped();
    int min_, max_, step_;
};

class PropertyItem {
public:
    enum class Kind { Group, List, Spin, Slider, Check };

    Kind kind() const { return kind_; }
    const QString& name() const { return name_; }
    QString caption() const;
    QTreeWidgetItem* treeItem() const { return item_; }
    QWidget* editor() const { return editor_; }
    PropertyItem* parent() const { return parent_; }

    // The shown text: a list's entry (or the text it kept when nothing is selected), a spin's
    // text, a slider's position, "True" or "False".
    QString text() const;
    // Spin: the text; check: read as a boolean; slider: read as a number; list: selects the
    // first entry equal to it (trimmed, any case), else nothing with the old text still shown.
    void setText(const QString& text);

    QStringList entries() const;
    void setEntries(const QStringList& entries); // selection cleared
    int index() const;                           // -1 when nothing is selected
    void setIndex(int index);                    // outside the list: nothing selected, text kept

    int position() const;
    void setPosition(int position);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    int step() const { return step_; }

    bool checked() const;
    void setChecked(bool on);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on);

private:
    friend class PropertyGrid;
    PropertyItem(Kind kind, QString name, QTreeWidgetItem* item, PropertyItem* parent)
        : kind_(kind), name_(std::move(name)), item_(item), parent_(parent) {}
    void updateEnabled(bool parentEnabled);

    Kind kind_;
    QString name_;
    QTreeWidgetItem* item_;
    PropertyItem* parent_;
    QWidget* editor_ = nullptr;
    QComboBox* combo_ = nullptr;
    SpinEdit* spin_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* sliderLabel_ = nullptr;
    QCheckBox* check_ = nullptr;
    QString listText_; // kept while nothing is selected
    int min_ = 0, max_ = 0, step_ = 1;
    bool enabled_ = true;
    std::vector<PropertyItem*> children_;
};

class PropertyGrid final : public QTreeWidget {
    Q_OBJECT
public:
    explicit PropertyGrid(QWidget* parent = nullptr);
    ~PropertyGrid() override;

    // `parent` null adds at the top level. Items of any kind may carry items under them.
    PropertyItem& addGroup(const QString& caption, PropertyItem* parent = nullptr);
    PropertyItem& addList(PropertyItem* parent, const QString& name, const QString& caption,
                          const QStringList& entries);
    PropertyItem& addSpin(PropertyItem* parent, const QString& name, const QString& caption, int minimum,
                          int maximum, int step);
    PropertyItem& addSlider(PropertyItem* parent, const QString& name, const QString& caption, int minimum,
                            int maximum);
    PropertyItem& addCheck(PropertyItem* parent, const QString& name, const QString& caption);

    PropertyItem* item(const QString& name) const;     // by name, null when absent
    PropertyItem* group(const QString& caption) const; // first group of that caption
    const std::vector<std::unique_ptr<PropertyItem>>& items() const { return items_; }

signals:
    // The user changed the item's value (never for changes made in code).
    void itemEdited(quillotone::PropertyItem* item);

private:
    PropertyItem& add(PropertyItem::Kind kind, PropertyItem* parent, const QString& name,
                      const QString& caption);
    void placeEditor(PropertyItem& item, QWidget* editor);

    std::vector<std::unique_ptr<PropertyItem>> items_;
};

} // namespace quillotone
