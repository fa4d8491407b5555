#include "app/tag_editor_dialog.h"

#include "app/conversion_list.h"
#include "app/conversion_list_model.h"
#include "app/genre_names.h"
#include "app/tag_editor_texts.h"
#include "app/user_interface.h"
#include "conversion/information_interface.h"

#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>

namespace quillotone {

namespace {

constexpr QChar kBreak(0x200B); // lets a long path wrap after each folder

QString withBreaks(const QString& path) {
    QString shown = path;
    return shown.replace('/', QString('/') + kBreak);
}

QString fromUtf8(const tagedit::TagText& text) {
    return QString::fromStdString(text);
}

} // namespace

Tfrmtaginfo::Tfrmtaginfo(ITagEditorHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    setObjectName("frmtaginfo");
    setWindowTitle("Tag Info");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    PageControl = new QTabWidget(this);
    tsSummary = buildSummaryPage();
    tsInfo = buildInfoPage();
    PageControl->addTab(tsSummary, "Summary");
    PageControl->addTab(tsInfo, "Info");
    PageControl->setCurrentWidget(tsInfo); // the first opening shows the Info page

    actPrevious = new QAction("&Previous", this);
    actNext = new QAction("&Next", this);
    btnPrevious = new QPushButton(actPrevious->text(), this);
    btnNext = new QPushButton(actNext->text(), this);
    btnOK = new QPushButton("OK", this);
    btnCancel = new QPushButton("Cancel", this);
    btnPrevious->setObjectName("btnPrevious");
    btnNext->setObjectName("btnNext");
    btnOK->setDefault(true);
    for (QPushButton* b : {btnPrevious, btnNext, btnCancel})
        b->setAutoDefault(false);
    connect(btnPrevious, &QPushButton::clicked, actPrevious, &QAction::trigger);
    connect(btnNext, &QPushButton::clicked, actNext, &QAction::trigger);
    connect(actPrevious, &QAction::changed, this,
            [this] { btnPrevious->setEnabled(actPrevious->isEnabled()); });
    connect(actNext, &QAction::changed, this, [this] { btnNext->setEnabled(actNext->isEnabled()); });
    connect(actPrevious, &QAction::triggered, this, &Tfrmtaginfo::actPreviousExecute);
    connect(actNext, &QAction::triggered, this, &Tfrmtaginfo::actNextExecute);
    connect(btnOK, &QPushButton::clicked, this, &Tfrmtaginfo::accept);
    connect(btnCancel, &QPushButton::clicked, this, &Tfrmtaginfo::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnPrevious);
    buttons->addWidget(btnNext);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl);
    layout->addLayout(buttons);

    updateStepActions();
    setFixedSize(sizeHint());
}

QWidget* Tfrmtaginfo::buildSummaryPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    int row = 0;
    auto add = [&](const char* caption, const char* name) {
        auto* value = new QLabel(page);
        value->setObjectName(name);
        auto* label = new QLabel(caption, page);
        grid->addWidget(label, row, 0, Qt::AlignTop);
        grid->addWidget(value, row, 1, Qt::AlignTop);
        ++row;
        return value;
    };
    lblPath = add("Where:", "lblPath");
    lblPath->setWordWrap(true);
    // room for a path over three lines, so that no row changes the dialog's size
    lblPath->setFixedWidth(320);
    lblPath->setMinimumHeight(3 * lblPath->fontMetrics().lineSpacing());
    lblPath->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblkind = add("Kind:", "lblkind");
    lblsize = add("Size:", "lblsize");
    lblbitrate = add("Bit Rate:", "lblbitrate");
    lblsamplerate = add("Sample Rate:", "lblsamplerate");
    lbldatemodified = add("Date Modified:", "lbldatemodified");
    lbllastaccess = add("Last Accessed:", "lbllastaccess");
    lblformat = add("Format:", "lblformat");
    lblchannels = add("Channels:", "lblchannels");
    lblencoded = add("Encoded with:", "lblencoded");
    lblduration = add("Duration:", "lblduration");
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
    return page;
}

QWidget* Tfrmtaginfo::buildInfoPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    int row = 0;
    auto add = [&](const char* caption, QWidget* field, const char* name) {
        field->setObjectName(name);
        auto* label = new QLabel(caption, page);
        label->setBuddy(field);
        grid->addWidget(label, row, 0, field == edtComment ? Qt::AlignTop : Qt::Alignment());
        const bool narrow = field == edtYear || field == edtNumber;
        grid->addWidget(field, row, 1, narrow ? Qt::AlignLeft : Qt::Alignment());
        ++row;
    };
    edtFilename = new QLineEdit(page);
    edtTitle = new QLineEdit(page);
    edtArtist = new QLineEdit(page);
    edtAlbum = new QLineEdit(page);
    edtYear = new QLineEdit(page);
    edtYear->setFixedWidth(edtYear->fontMetrics().horizontalAdvance("00000000"));
    edtNumber = new QSpinBox(page);
    edtNumber->setRange(0, tagedit::kMaxTrack);
    edtNumber->setFixedWidth(edtYear->width() + edtNumber->fontMetrics().horizontalAdvance("000"));
    edtGenre = new QComboBox(page);
    edtGenre->setEditable(true);
    edtGenre->setInsertPolicy(QComboBox::NoInsert);
    for (const char* name : ListGenreNames())
        edtGenre->addItem(QString::fromLatin1(name));
    // the list proposes names in a popup but never changes what was typed
    auto* completer = new QCompleter(edtGenre->model(), edtGenre);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    edtGenre->setCompleter(completer);
    edtGenre->setCurrentIndex(-1);
    edtCopyright = new QLineEdit(page);
    edtURL = new QLineEdit(page);
    edtEncoded = new QLineEdit(page);
    edtComment = new QPlainTextEdit(page);
    edtComment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtComment->setTabChangesFocus(true);
    edtComment->setFixedHeight(4 * edtComment->fontMetrics().lineSpacing() + 12);

    add("&Filename:", edtFilename, "edtFilename");
    add("&Track title:", edtTitle, "edtTitle");
    add("&Artist:", edtArtist, "edtArtist");
    add("A&lbum:", edtAlbum, "edtAlbum");
    add("&Year:", edtYear, "edtYear");
    add("Track &Number:", edtNumber, "edtNumber");
    add("&Genre:", edtGenre, "edtGenre");
    add("&Copyright:", edtCopyright, "edtCopyright");
    add("&URL:", edtURL, "edtURL");
    add("&Encoded by:", edtEncoded, "edtEncoded");
    add("Co&mment:", edtComment, "edtComment");
    grid->setRowStretch(row, 1);

    using tagedit::Field;
    connect(edtFilename, &QLineEdit::textChanged, this, &Tfrmtaginfo::setChanged);
    const std::pair<QLineEdit*, Field> lines[] = {
        {edtTitle, Field::Title},      {edtArtist, Field::Artist},       {edtAlbum, Field::Album},
        {edtYear, Field::Year},        {edtCopyright, Field::Copyright}, {edtURL, Field::URL},
        {edtEncoded, Field::EncodedBy}};
    for (const auto& [edit, field] : lines)
        connect(edit, &QLineEdit::textChanged, this, [this, field = field] { setEdited(field); });
    connect(edtNumber, &QSpinBox::valueChanged, this, [this] { setEdited(Field::Track); });
    connect(edtGenre, &QComboBox::editTextChanged, this, [this] { setEdited(Field::Genre); });
    connect(edtComment, &QPlainTextEdit::textChanged, this, [this] { setEdited(Field::Comment); });
    return page;
}

QList<QWidget*> Tfrmtaginfo::tagFieldControls() const {
    return {edtTitle, edtArtist,    edtAlbum, edtYear,    edtNumber,
            edtGenre, edtCopyright, edtURL,   edtEncoded, edtComment};
}

void Tfrmtaginfo::setChanged() {
    if (loading_) return;
    changed_ = true;
}

void Tfrmtaginfo::setEdited(tagedit::Field field) {
    if (loading_) return;
    changed_ = true;
    edited_.set(static_cast<size_t>(field));
}

QString Tfrmtaginfo::ShownPath() const {
    return lblPath->text().remove(kBreak);
}

void Tfrmtaginfo::SetCurrentRow(int row) {
    currentRow_ = row;
    updateStepActions();
}

void Tfrmtaginfo::updateStepActions() {
    actPrevious->setEnabled(currentRow_ >= 1);
    actNext->setEnabled(currentRow_ < host_.RowCount() - 1);
}

void Tfrmtaginfo::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) LoadRow();
}

void Tfrmtaginfo::showSummary(const QString& path) {
    IAudioInformation2* info = host_.Information();
    bool opened = false;
    if (info) {
        try {
            info->OpenFile(path);
            // a component that could not read the stream describes no format
            opened = !info->FormatDescription().isEmpty();
        } catch (const std::exception&) {
        }
    }
    lblPath->setText(withBreaks(path));
    lblkind->setText(KindText(tagedit::KindFromExtension(path.toStdString())));
    lblsize->setText(opened ? SizeText(info->FileSize()) : QString());
    lblbitrate->setText(opened ? BitrateText(info->Bitrate()) : QString());
    lblsamplerate->setText(opened ? SampleRateText(info->SampleRate()) : QString());
    lblformat->setText(opened ? FormatNameText(info->FormatDescription()) : QString());
    lblchannels->setText(opened ? ChannelsText(info->ChannelMode()) : QString());
    lblencoded->setText("Unknown");
    lblduration->setText(opened ? DurationText(info->DurationMs()) : QString());
    const QFileInfo file(path);
    lbldatemodified->setText(FileTimeText(file.lastModified()));
    lbllastaccess->setText(FileTimeText(file.lastRead()));
}

void Tfrmtaginfo::LoadRow() {
    if (currentRow_ < 0 || currentRow_ >= host_.RowCount()) return;
    const QString path = host_.Cell(currentRow_, Column::Path);
    if (!QFileInfo(path).isFile()) return;

    loading_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{loading_};
    for (QWidget* w : tagFieldControls())
        w->setEnabled(true);
    showSummary(path);
    host_.SelectRow(currentRow_);
    const QString fileName = ConversionList::FileNamePart(path);
    setWindowTitle("Edit Audio Tag - " + fileName);
    edtFilename->setText(fileName);
    showFields({});

    // A load that stops here leaves the fields empty and unedited: a save writes none of them.
    changed_ = false;
    edited_.reset();
    tagsShown_ = false;
    const std::filesystem::path file = path.toStdString();
    std::optional<tagedit::TagFields> fields;
    try {
        fields = tagedit::ReadTags(file, host_.ReadPriority());
    } catch (const std::exception& e) {
        loading_ = false;
        host_.ShowGeneralError(QString::fromUtf8(e.what()));
        return;
    }
    if (fields) showFields(*fields);
    tagsShown_ = true;
    const auto kind = tagedit::KindFromExtension(file);
    if (kind == tagedit::AudioKind::Wav || !kind) {
        for (QWidget* w : tagFieldControls())
            w->setEnabled(false);
    }
}

void Tfrmtaginfo::showFields(const tagedit::TagFields& f) {
    edtTitle->setText(fromUtf8(f.Title));
    edtArtist->setText(fromUtf8(f.Artist));
    edtAlbum->setText(fromUtf8(f.Album));
    edtYear->setText(fromUtf8(f.Year));
    edtNumber->setValue(f.Track);
    edtGenre->setCurrentText(fromUtf8(f.Genre));
    edtCopyright->setText(fromUtf8(f.Copyright));
    edtURL->setText(fromUtf8(f.URL));
    edtEncoded->setText(fromUtf8(f.EncodedBy));
    edtComment->setPlainText(fromUtf8(f.Comment).replace("\r\n", "\n"));
}

tagedit::TagFields Tfrmtaginfo::fieldsFromControls() const {
    tagedit::TagFields f;
    f.Title = edtTitle->text().toStdString();
    f.Artist = edtArtist->text().toStdString();
    f.Album = edtAlbum->text().toStdString();
    f.Year = edtYear->text().toStdString();
    f.Track = edtNumber->value();
    f.Genre = edtGenre->currentText().toStdString();
    f.Copyright = edtCopyright->text().toStdString();
    f.URL = edtURL->text().toStdString();
    f.EncodedBy = edtEncoded->text().toStdString();
    // tags keep the lines of a comment apart with CR LF
    f.Comment = edtComment->toPlainText().replace("\n", "\r\n").toStdString();
    return f;
}

bool Tfrmtaginfo::FilenameOk() {
    if (!HasForbiddenFilenameChar(edtFilename->text())) return true;
    host_.Ui().Message(this, QMessageBox::Information, "Error Filename", ForbiddenFilenameMessage,
                       QMessageBox::Ok);
    return false;
}

Tfrmtaginfo::SaveResult Tfrmtaginfo::SaveRow() {
    if (currentRow_ < 0 || currentRow_ >= host_.RowCount()) return SaveResult::Done;
    QString path = host_.Cell(currentRow_, Column::Path);
    if (!QFileInfo(path).isFile()) return SaveResult::Done;

    // QFile::rename never replaces an existing file; a name that is taken keeps the old one
    const QString newPath = RenamedPath(path, edtFilename->text());
    if (newPath != path && QFile::rename(path, newPath)) {
        path = newPath;
        host_.SetCell(currentRow_, Column::Filename, ConversionList::FileNamePart(path));
        host_.SetCell(currentRow_, Column::Path, path);
    }

    // a WAV row's fields cannot be edited
    if (edited_.none()) return SaveResult::Done;

    const tagedit::TagFields fields = fieldsFromControls();
    bool written = false;
    try {
        written = tagedit::WriteTags(path.toStdString(), fields, edited_, host_.WriteFormat());
    } catch (const std::exception& e) {
        host_.ShowGeneralError(QString::fromUtf8(e.what()));
        return SaveResult::Raised;
    }
    if (!written) {
        host_.Ui().Message(this, QMessageBox::Warning, "Wrong",
                           QString("File \"%1\" tag writing failed!").arg(path), QMessageBox::Ok);
        return SaveResult::Done;
    }
    // The row takes the fields on show; after a load that failed those are empty, not the file's, so
    // then only the edited ones reach the row.
    TagColumnTexts columns = tagedit::ColumnsFromFields(fields);
    if (!tagsShown_) {
        TagColumnTexts kept = host_.TagColumns(currentRow_);
        for (size_t i = 0; i < kept.size(); ++i)
            if (edited_.test(i)) kept[i] = columns[i];
        columns = kept;
    }
    host_.SetTagColumns(currentRow_, columns);
    return SaveResult::Done;
}

void Tfrmtaginfo::step(int delta) {
    const int target = currentRow_ + delta;
    if (target < 0 || target >= host_.RowCount()) return;
    if (changed_) {
        if (!FilenameOk()) return;
        if (SaveRow() == SaveResult::Raised) return;
    }
    SetCurrentRow(target);
    LoadRow();
}

void Tfrmtaginfo::actPreviousExecute() {
    step(-1);
}

void Tfrmtaginfo::actNextExecute() {
    step(1);
}

void Tfrmtaginfo::accept() {
    if (changed_) {
        if (!FilenameOk()) return;
        if (SaveRow() == SaveResult::Raised) return;
    }
    QDialog::accept();
}

} // namespace quillotone
