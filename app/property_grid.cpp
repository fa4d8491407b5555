#include "app/property_grid.h"

#include "app/popup_combo_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

namespace quillotone {

namespace {

bool readNumber(const QString& text, int& value) {
    bool ok = false;
    value = text.trimmed().toInt(&ok, 10);
    return ok;
}

QString boolText(bool on) {
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

// ---- SpinEdit -------------------------------------------------------------------------------

SpinEdit::SpinEdit(int minimum, int maximum, int step, QWidget* parent)
    : QAbstractSpinBox(parent), min_(minimum), max_(maximum), step_(step) {
    setKeyboardTracking(true);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit edited(); });
    connect(this, &QAbstractSpinBox::editingFinished, this, &SpinEdit::clampTyped);
}

QString SpinEdit::valueText() const {
    return lineEdit()->text();
}

void SpinEdit::setValueText(const QString& text) {
    lineEdit()->setText(text);
}

void SpinEdit::stepBy(int steps) {
    int value = min_;
    if (!readNumber(valueText(), value)) value = min_;
    const long long next = std::clamp<long long>((long long)value + (long long)steps * step_, min_, max_);
    setValueText(QString::number(next));
    emit edited();
}

QValidator::State SpinEdit::validate(QString&, int&) const {
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    int value = 0;
    if (!readNumber(valueText(), value)) return StepUpEnabled | StepDownEnabled;
    StepEnabled on = StepNone;
    if (value < max_) on |= StepUpEnabled;
    if (value > min_) on |= StepDownEnabled;
    return on;
}

void SpinEdit::clampTyped() {
    int value = 0;
    if (!readNumber(valueText(), value)) return;
    const int clamped = std::clamp(value, min_, max_);
    if (clamped != value) {
        setValueText(QString::number(clamped));
        emit edited();
    }
}

// ---- PropertyItem ---------------------------------------------------------------------------

QString PropertyItem::caption() const {
    return item_->text(0);
}

QString PropertyItem::text() const {
    switch (kind_) {
    case Kind::List:
        return combo_->currentIndex() >= 0 ? combo_->currentText() : listText_;
    case Kind::Spin:
        return spin_->valueText();
    case Kind::Slider:
        return QString::number(slider_->value());
    case Kind::Check:
        return boolText(check_->isChecked());
    case Kind::Group:
        break;
    }
    return {};
}

void PropertyItem::setText(const QString& text) {
    switch (kind_) {
    case Kind::List: {
        const QString wanted = text.trimmed();
        const QStringList all = entries();
        int found = -1;
        for (int i = 0; i < all.size() && found < 0; ++i)
            if (all[i].trimmed().compare(wanted, Qt::CaseInsensitive) == 0) found = i;
        setIndex(found);
        break;
    }
    case Kind::Spin:
        spin_->setValueText(text);
        break;
    case Kind::Slider: {
        int value = 0;
        if (readNumber(text, value)) setPosition(value);
        break;
    }
    case Kind::Check:
        setChecked(text.trimmed().compare("true", Qt::CaseInsensitive) == 0);
        break;
    case Kind::Group:
        break;
    }
}

QStringList PropertyItem::entries() const {
    QStringList out;
    if (combo_)
        for (int i = 0; i < combo_->count(); ++i)
            out << combo_->itemText(i);
    return out;
}

void PropertyItem::setEntries(const QStringList& entries) {
    if (!combo_) return;
    const QSignalBlocker block(combo_);
    combo_->clear();
    combo_->addItems(entries);
    combo_->setCurrentIndex(-1);
    combo_->setPlaceholderText(listText_);
}

int PropertyItem::index() const {
    return combo_ ? combo_->currentIndex() : -1;
}

void PropertyItem::setIndex(int index) {
    if (!combo_) return;
    const QSignalBlocker block(combo_);
    if (index >= 0 && index < combo_->count()) {
        combo_->setCurrentIndex(index);
        listText_ = combo_->itemText(index);
    } else {
        // The old text stays on show, as the placeholder of an empty selection.
        if (combo_->currentIndex() >= 0) listText_ = combo_->currentText();
        combo_->setPlaceholderText(listText_);
        combo_->setCurrentIndex(-1);
    }
}

int PropertyItem::position() const {
    return slider_ ? slider_->value() : 0;
}

void PropertyItem::setPosition(int position) {
    if (!slider_) return;
    const QSignalBlocker block(slider_);
    slider_->setValue(position);
    sliderLabel_->setNum(slider_->value());
}

bool PropertyItem::checked() const {
    return check_ && check_->isChecked();
}

void PropertyItem::setChecked(bool on) {
    if (!check_) return;
    check_->setChecked(on);
    check_->setText(boolText(on));
}

void PropertyItem::setEnabled(bool on) {
    enabled_ = on;
    updateEnabled(!parent_ || parent_->item_->flags().testFlag(Qt::ItemIsEnabled));
}

void PropertyItem::updateEnabled(bool parentEnabled) {
    const bool effective = enabled_ && parentEnabled;
    item_->setFlags(effective ? item_->flags() | Qt::ItemIsEnabled : item_->flags() & ~Qt::ItemIsEnabled);
    if (editor_) editor_->setEnabled(effective);
    for (PropertyItem* child : children_)
        child->updateEnabled(effective);
}

// ---- PropertyGrid ---------------------------------------------------------------------------

PropertyGrid::PropertyGrid(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(2);
    setHeaderLabels({"Property", "Value"});
    // Captions take what the editors leave; a long caption elides and shows whole as its tooltip,
    // so the editors are never pushed out of sight behind a horizontal scroll bar.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::Fixed);
    setColumnWidth(1, 112);
    // Three levels deep at most: a narrow indent leaves the captions room.
    setIndentation(12);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::NoSelection);
    setAlternatingRowColors(true);
}

PropertyGrid::~PropertyGrid() = default;

PropertyItem& PropertyGrid::add(PropertyItem::Kind kind, PropertyItem* parent, const QString& name,
                                const QString& caption) {
    auto* tree = parent ? new QTreeWidgetItem(parent->treeItem()) : new QTreeWidgetItem(this);
    tree->setText(0, caption);
    tree->setToolTip(0, caption);
    tree->setFlags(Qt::ItemIsEnabled);
    items_.push_back(std::unique_ptr<PropertyItem>(new PropertyItem(kind, name, tree, parent)));
    PropertyItem& item = *items_.back();
    if (parent) parent->children_.push_back(&item);
    return item;
}

void PropertyGrid::placeEditor(PropertyItem& item, QWidget* editor) {
    item.editor_ = editor;
    editor->setAutoFillBackground(true);
    setItemWidget(item.treeItem(), 1, editor);
    if (item.parent_) item.updateEnabled(item.parent_->item_->flags().testFlag(Qt::ItemIsEnabled));
}

PropertyItem& PropertyGrid::addGroup(const QString& caption, PropertyItem* parent) {
    PropertyItem& item = add(PropertyItem::Kind::Group, parent, QString(), caption);
    item.treeItem()->setFirstColumnSpanned(true);
    QFont font = item.treeItem()->font(0);
    font.setBold(true);
    item.treeItem()->setFont(0, font);
    return item;
}

PropertyItem& PropertyGrid::addList(PropertyItem* parent, const QString& name, const QString& caption,
                                    const QStringList& entries) {
    PropertyItem& item = add(PropertyItem::Kind::List, parent, name, caption);
    auto* combo = new PopupComboBox;
    combo->setObjectName(name);
    combo->setEditable(false);
    item.combo_ = combo;
    item.setEntries(entries);
    PropertyItem* p = &item;
    connect(combo, &QComboBox::activated, this, [this, p](int index) {
        p->listText_ = p->combo_->itemText(index);
        emit itemEdited(p);
    });
    placeEditor(item, combo);
    return item;
}

PropertyItem& PropertyGrid::addSpin(PropertyItem* parent, const QString& name, const QString& caption,
                                    int minimum, int maximum, int step) {
    PropertyItem& item = add(PropertyItem::Kind::Spin, parent, name, caption);
    auto* spin = new SpinEdit(minimum, maximum, step);
    spin->setObjectName(name);
    item.spin_ = spin;
    item.min_ = minimum;
    item.max_ = maximum;
    item.step_ = step;
    PropertyItem* p = &item;
    connect(spin, &SpinEdit::edited, this, [this, p] { emit itemEdited(p); });
    placeEditor(item, spin);
    return item;
}

PropertyItem& PropertyGrid::addSlider(PropertyItem* parent, const QString& name, const QString& caption,
                                      int minimum, int maximum) {
    PropertyItem& item = add(PropertyItem::Kind::Slider, parent, name, caption);
    auto* box = new QWidget;
    box->setObjectName(name);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 4, 0);
    auto* slider = new QSlider(Qt::Horizontal, box);
    slider->setRange(minimum, maximum);
    slider->setPageStep(std::max(1, (maximum - minimum) / 10));
    auto* label = new QLabel(box);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString::number(maximum)) + 4);
    label->setNum(slider->value());
    layout->addWidget(slider, 1);
    layout->addWidget(label);
    item.slider_ = slider;
    item.sliderLabel_ = label;
    item.min_ = minimum;
    item.max_ = maximum;
    PropertyItem* p = &item;
    connect(slider, &QSlider::valueChanged, this, [this, p, label](int value) {
        label->setNum(value);
        emit itemEdited(p);
    });
    placeEditor(item, box);
    return item;
}

PropertyItem& PropertyGrid::addCheck(PropertyItem* parent, const QString& name, const QString& caption) {
    PropertyItem& item = add(PropertyItem::Kind::Check, parent, name, caption);
    auto* check = new QCheckBox(boolText(false));
    check->setObjectName(name);
    item.check_ = check;
    PropertyItem* p = &item;
    connect(check, &QCheckBox::clicked, this, [this, p](bool on) {
        p->check_->setText(boolText(on));
        emit itemEdited(p);
    });
    placeEditor(item, check);
    return item;
}

PropertyItem* PropertyGrid::item(const QString& name) const {
    for (const auto& i : items_)
        if (i->kind() != PropertyItem::Kind::Group && i->name() == name) return i.get();
    return nullptr;
}

PropertyItem* PropertyGrid::group(const QString& caption) const {
    for (const auto& i : items_)
        if (i->kind() == PropertyItem::Kind::Group && i->caption() == caption) return i.get();
    return nullptr;
}

} // namespace quillotone
