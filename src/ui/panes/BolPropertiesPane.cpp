#include "ui/panes/BolPropertiesPane.h"

#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/SoundTables.h"
#include "session/LorvantaSession.h"
#include "ui/panes/NumEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

namespace lorvanta {

namespace {

// A float as the form writes it into an edit: six significant digits.
QString FormFloat(float value) {
    return QString::asprintf("%.*g", 6, static_cast<double>(value));
}

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Selects the item whose text equals the text exactly, else the first whose
// text begins with it regardless of case; an editable box then shows the
// text itself.
void SelectByText(QComboBox* box, const QString& text) {
    int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        index = box->findText(text, Qt::MatchStartsWith);
    if (index >= 0)
        box->setCurrentIndex(index);
    if (box->isEditable())
        box->setEditText(text);
}

int InstrumentIndex(std::uint8_t instrument) {
    return instrument == Pakhawaj ? 1 : 0;
}

// The edit and its spin side by side.
QWidget* SpinPair(CNumEdit* edit, CNumSpinCtrl* spin, QWidget* parent) {
    auto* pair = new QWidget(parent);
    auto* layout = new QHBoxLayout(pair);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(edit);
    layout->addWidget(spin);
    return pair;
}

} // namespace

CBolPropertiesPane::CBolPropertiesPane(MessageSink& sink, QWidget* parent)
    : QWidget(parent), m_sink(sink) {
    setObjectName(QStringLiteral("BolPropertiesPane"));
    // Pane switching reaches the form while its fields are off.
    setFocusPolicy(Qt::StrongFocus);
    CreateControls();

    // First display: the lists, the default bol's name and sounds, the
    // spins' ranges and steps, then everything off until a bol is selected.
    m_writing = true;
    FillLists();
    SelectByText(m_nameBox, FromStd(m_edited.name));
    SelectByText(m_bassSoundList, FromStd(m_edited.bass.name));
    SelectByText(m_pitchSoundList, FromStd(m_edited.pitch.name));

    m_durationSpin->SetBuddy(m_durationEdit);
    m_durationSpin->SetRange(kDurationMin, kDurationMax);
    m_durationSpin->SetDelta(kDurationStep);
    m_pitchEmphasisSpin->SetBuddy(m_pitchEmphasisEdit);
    m_pitchEmphasisSpin->SetRange(kEmphasisSpinMin, kEmphasisSpinMax);
    m_pitchEmphasisSpin->SetDelta(kEmphasisStep);
    m_bassEmphasisSpin->SetBuddy(m_bassEmphasisEdit);
    m_bassEmphasisSpin->SetRange(kEmphasisSpinMin, kEmphasisSpinMax);
    m_bassEmphasisSpin->SetDelta(kEmphasisStep);

    m_durationSpin->SetPos(m_duration);
    m_pitchEmphasisSpin->SetPos(m_pitchEmphasis);
    m_bassEmphasisSpin->SetPos(m_bassEmphasis);
    m_writing = false;

    EnableFields(false, false, false);
}

CBolPropertiesPane::~CBolPropertiesPane() {
    SetSession(nullptr);
    // The base class hides the fields while it destroys them, and a field
    // losing the focus would then call into a pane that is already gone.
    for (QObject* child : findChildren<QObject*>()) {
        child->disconnect(this);
        child->removeEventFilter(this);
    }
}

void CBolPropertiesPane::CreateControls() {
    // The form scrolls inside the pane when the pane is smaller than the
    // form, rather than squeezing its groups to empty frames.
    auto* form = new QWidget;
    form->setObjectName(QStringLiteral("bolForm"));

    m_bolNumberText = new QLabel(form);
    m_bolNumberText->setObjectName(QStringLiteral("bolNumber"));
    m_playBol = new QPushButton(tr("&Play Bol"), form);
    m_playBol->setObjectName(QStringLiteral("playBolButton"));

    m_nameBox = new QComboBox(form);
    m_nameBox->setObjectName(QStringLiteral("bolNameBox"));
    // An editable box reports a typed text equal to an item as a choice of
    // that item when editing ends. These connections come before the box's
    // own, so that the choice handler knows the typing was not a choice.
    auto* nameEdit = new QLineEdit(m_nameBox);
    for (auto signal : {&QLineEdit::editingFinished, &QLineEdit::returnPressed})
        connect(nameEdit, signal, this, [this] { m_nameEditEnding = true; });
    m_nameBox->setLineEdit(nameEdit);
    for (auto signal : {&QLineEdit::editingFinished, &QLineEdit::returnPressed})
        connect(nameEdit, signal, this, [this] { m_nameEditEnding = false; });
    m_nameBox->setInsertPolicy(QComboBox::NoInsert);
    m_nameBox->setCompleter(nullptr);

    m_durationEdit = new CNumEdit(&m_sink, form);
    m_durationEdit->setObjectName(QStringLiteral("durationEdit"));
    m_durationSpin = new CNumSpinCtrl(form);

    auto* pitchGroup = new QGroupBox(tr("Pitch"), form);
    m_pitchInstrumentList = new QComboBox(pitchGroup);
    m_pitchInstrumentList->setObjectName(QStringLiteral("pitchInstrumentList"));
    m_pitchSoundList = new QComboBox(pitchGroup);
    m_pitchSoundList->setObjectName(QStringLiteral("pitchSoundList"));
    m_pitchEmphasisEdit = new CNumEdit(&m_sink, pitchGroup);
    m_pitchEmphasisEdit->setObjectName(QStringLiteral("pitchEmphasisEdit"));
    m_pitchEmphasisSpin = new CNumSpinCtrl(pitchGroup);

    auto* bassGroup = new QGroupBox(tr("Bass"), form);
    m_bassInstrumentList = new QComboBox(bassGroup);
    m_bassInstrumentList->setObjectName(QStringLiteral("bassInstrumentList"));
    m_bassSoundList = new QComboBox(bassGroup);
    m_bassSoundList->setObjectName(QStringLiteral("bassSoundList"));
    m_bassEmphasisEdit = new CNumEdit(&m_sink, bassGroup);
    m_bassEmphasisEdit->setObjectName(QStringLiteral("bassEmphasisEdit"));
    m_bassEmphasisSpin = new CNumSpinCtrl(bassGroup);

    m_apply = new QPushButton(tr("Apply"), form);
    m_apply->setObjectName(QStringLiteral("bolApplyButton"));
    m_apply->setDefault(true);
    m_revert = new QPushButton(tr("Revert"), form);
    m_revert->setObjectName(QStringLiteral("bolRevertButton"));

    // Top to bottom as the form reads.
    auto* top = new QGridLayout;
    top->addWidget(new QLabel(tr("Bol Number: "), form), 0, 0);
    top->addWidget(m_bolNumberText, 0, 1);
    top->addWidget(m_playBol, 0, 2);
    top->addWidget(new QLabel(tr("Name of Bol"), form), 1, 0);
    top->addWidget(m_nameBox, 1, 1, 1, 2);
    top->addWidget(new QLabel(tr("Duration (beats)"), form), 2, 0);
    top->addWidget(SpinPair(m_durationEdit, m_durationSpin, form), 2, 1);
    top->setColumnStretch(1, 1);

    const auto fillGroup = [](QGroupBox* group, const QString& soundLabel, QComboBox* instrument,
                              QComboBox* sound, QWidget* emphasis) {
        auto* grid = new QGridLayout(group);
        grid->addWidget(new QLabel(tr("Instrument"), group), 0, 0);
        grid->addWidget(instrument, 0, 1);
        grid->addWidget(new QLabel(soundLabel, group), 1, 0);
        grid->addWidget(sound, 1, 1);
        grid->addWidget(new QLabel(tr("Emphasis (dB)"), group), 2, 0);
        grid->addWidget(emphasis, 2, 1);
        grid->setColumnStretch(1, 1);
    };
    fillGroup(pitchGroup, tr("Pitch sound"), m_pitchInstrumentList, m_pitchSoundList,
              SpinPair(m_pitchEmphasisEdit, m_pitchEmphasisSpin, pitchGroup));
    fillGroup(bassGroup, tr("Bass sound"), m_bassInstrumentList, m_bassSoundList,
              SpinPair(m_bassEmphasisEdit, m_bassEmphasisSpin, bassGroup));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_apply);
    buttons->addWidget(m_revert);

    auto* layout = new QVBoxLayout(form);
    layout->addLayout(top);
    layout->addWidget(pitchGroup);
    layout->addWidget(bassGroup);
    layout->addLayout(buttons);
    layout->addStretch(1);

    auto* area = new QScrollArea(this);
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidgetResizable(true);
    area->setWidget(form);
    auto* paneLayout = new QVBoxLayout(this);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->addWidget(area);

    // Typing and spinning.
    connect(m_nameBox->lineEdit(), &QLineEdit::textEdited, this, [this] { OnChange(); });
    for (CNumEdit* edit : {m_durationEdit, m_pitchEmphasisEdit, m_bassEmphasisEdit}) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            if (!m_writing)
                OnChange();
        });
        // A field left with no valid number is reported then.
        edit->installEventFilter(this);
    }
    // Choices from the lists.
    connect(m_nameBox, &QComboBox::activated, this, &CBolPropertiesPane::OnNameChosen);
    connect(m_pitchSoundList, &QComboBox::activated, this,
            [this](int index) { OnSoundChosen(true, index); });
    connect(m_bassSoundList, &QComboBox::activated, this,
            [this](int index) { OnSoundChosen(false, index); });
    connect(m_pitchInstrumentList, &QComboBox::activated, this,
            [this](int index) { OnInstrumentChosen(true, index); });
    connect(m_bassInstrumentList, &QComboBox::activated, this,
            [this](int index) { OnInstrumentChosen(false, index); });

    connect(m_apply, &QPushButton::clicked, this, &CBolPropertiesPane::OnApply);
    connect(m_revert, &QPushButton::clicked, this, &CBolPropertiesPane::LoadFields);
    connect(m_playBol, &QPushButton::clicked, this, &CBolPropertiesPane::OnPlayBol);
}

void CBolPropertiesPane::FillLists() {
    // The built-in bols only: those the dictionary file adds are not listed.
    const auto bols = BuiltInBols();
    for (std::size_t row = 0; row < bols.size(); ++row)
        m_nameBox->addItem(QString::fromLatin1(bols[row].name), static_cast<int>(row));
    for (QComboBox* list : {m_pitchInstrumentList, m_bassInstrumentList}) {
        list->addItem(QStringLiteral("Tabla"));
        list->addItem(QStringLiteral("Pakhawaj"));
        list->setCurrentIndex(Tabla);
    }
    FillSoundList(m_pitchSoundList, true);
    FillSoundList(m_bassSoundList, false);
}

void CBolPropertiesPane::FillSoundList(QComboBox* list, bool pitch) {
    // The same sounds for both instruments; the selection starts at Silence.
    const SoundTable table = pitch ? SoundTable::Pitch : SoundTable::Bass;
    const auto rows = Rows(table).first(PrimaryRowCount(table));
    list->clear();
    for (const SoundTableRow& row : rows)
        list->addItem(QString::fromLatin1(row.name), static_cast<uint>(row.id));
    list->setCurrentIndex(0);
}

void CBolPropertiesPane::SetSession(CLorvantaSession* session) {
    m_subscription.Reset();
    m_session = session;
    if (m_session)
        m_subscription = m_session->Editor().Subscribe(*this);
}

void CBolPropertiesPane::OnSelectionChanged(const SelectionChange& change) {
    if (change.shown == SelectionChange::kNoBol) {
        ClearFields();
    } else if (change.shown >= 0) {
        if (const CBol2* bol = m_session->Document().Taal().BolAt(change.shown))
            ShowBol(*bol, change.shown);
    }
}

void CBolPropertiesPane::ShowBol(const CBol2& bol, int index) {
    m_edited = bol;
    if (index >= 0)
        m_edited.index = static_cast<std::uint32_t>(index);
    LoadFields();
}

void CBolPropertiesPane::EnableFields(bool controls, bool apply, bool revert) {
    if (controls != m_controlsEnabled) {
        for (QWidget* control : std::initializer_list<QWidget*>{
                 m_nameBox, m_playBol, m_durationEdit, m_durationSpin, m_pitchInstrumentList,
                 m_bassInstrumentList, m_pitchSoundList, m_bassSoundList, m_pitchEmphasisEdit,
                 m_pitchEmphasisSpin, m_bassEmphasisEdit, m_bassEmphasisSpin})
            control->setEnabled(controls);
        m_controlsEnabled = controls;
    }
    m_apply->setEnabled(apply);
    m_revert->setEnabled(revert);
}

void CBolPropertiesPane::LoadFields() {
    m_writing = true;
    m_nameText = FromStd(m_edited.name);
    m_duration = m_edited.duration;
    m_bolNumber = QString::asprintf("%d", static_cast<int>(m_edited.index) + 1);

    const int bassInstrument = InstrumentIndex(m_edited.bass.instrument);
    if (bassInstrument != m_bassInstrument) {
        m_bassInstrument = bassInstrument;
        m_bassInstrumentList->setCurrentIndex(bassInstrument);
        FillSoundList(m_bassSoundList, false);
    }
    const int pitchInstrument = InstrumentIndex(m_edited.pitch.instrument);
    if (pitchInstrument != m_pitchInstrument) {
        m_pitchInstrument = pitchInstrument;
        m_pitchInstrumentList->setCurrentIndex(pitchInstrument);
        FillSoundList(m_pitchSoundList, true);
    }

    m_bassSoundName = FromStd(m_edited.bass.name);
    m_bassSoundId = m_edited.bass.soundId;
    m_pitchSoundName = FromStd(m_edited.pitch.name);
    m_pitchSoundId = m_edited.pitch.soundId;
    m_bassEmphasis = m_edited.bass.emphasis;
    m_pitchEmphasis = m_edited.pitch.emphasis;

    WriteForm();
    m_writing = false;
    EnableFields(true, false, false);
}

void CBolPropertiesPane::ClearFields() {
    m_writing = true;
    m_edited = CBol2();
    m_nameBox->setEditText(QString());
    m_bolNumberText->clear();
    for (CNumEdit* edit : {m_durationEdit, m_pitchEmphasisEdit, m_bassEmphasisEdit})
        edit->clear();
    // WriteForm selects every list again when the next bol is shown.
    for (QComboBox* list :
         {m_pitchInstrumentList, m_pitchSoundList, m_bassInstrumentList, m_bassSoundList})
        list->setCurrentIndex(-1);
    m_writing = false;
    EnableFields(false, false, false);
}

void CBolPropertiesPane::WriteForm() {
    const bool wasWriting = std::exchange(m_writing, true);
    SelectByText(m_nameBox, m_nameText);
    m_bolNumberText->setText(m_bolNumber);
    m_bassEmphasisEdit->setText(FormFloat(m_bassEmphasis));
    SelectByText(m_bassSoundList, m_bassSoundName);
    m_durationEdit->setText(FormFloat(m_duration));
    m_pitchEmphasisEdit->setText(FormFloat(m_pitchEmphasis));
    SelectByText(m_pitchSoundList, m_pitchSoundName);
    m_pitchInstrumentList->setCurrentIndex(m_pitchInstrument);
    m_bassInstrumentList->setCurrentIndex(m_bassInstrument);
    m_writing = wasWriting;
}

bool CBolPropertiesPane::ReadFloatField(CNumEdit* edit, float minimum, float maximum, float& member,
                                        bool report) {
    const std::optional<float> value = ReadNumberText(edit->text());
    std::string text;
    if (!value) {
        text = kEnterNumber;
    } else if (*value < minimum || *value > maximum) {
        text = FormatMessage(kEnterNumberBetween, FormFloat(minimum).toStdString(),
                             FormFloat(maximum).toStdString());
    }
    if (!text.empty()) {
        if (report) {
            m_sink.Show({MessageKind::Warning, text});
            edit->setFocus(Qt::OtherFocusReason);
            edit->selectAll();
        }
        return false;
    }
    member = *value;
    return true;
}

bool CBolPropertiesPane::ReadFloatField(CNumEdit* edit, bool report) {
    if (edit == m_durationEdit)
        return ReadFloatField(edit, kDurationMin, kDurationMax, m_duration, report);
    return ReadFloatField(edit, kEmphasisReadMin, kEmphasisReadMax,
                          edit == m_pitchEmphasisEdit ? m_pitchEmphasis : m_bassEmphasis, report);
}

bool CBolPropertiesPane::ReadForm(bool report) {
    m_nameText = m_nameBox->currentText();
    m_bolNumber = m_bolNumberText->text();
    if (!ReadFloatField(m_bassEmphasisEdit, report))
        return false;
    m_bassSoundName = m_bassSoundList->currentText();
    if (!ReadFloatField(m_durationEdit, report))
        return false;
    if (!ReadFloatField(m_pitchEmphasisEdit, report))
        return false;
    m_pitchSoundName = m_pitchSoundList->currentText();
    m_pitchInstrument = std::max(0, m_pitchInstrumentList->currentIndex());
    m_bassInstrument = std::max(0, m_bassInstrumentList->currentIndex());
    return true;
}

void CBolPropertiesPane::OnChange() {
    // While the user types, a field that holds no number yet (a lone sign,
    // an empty text) keeps its value quietly; it is reported when the field
    // is left, or at Apply and Play Bol.
    ReadForm(false);
    EnableFields(true, true, true);
}

bool CBolPropertiesPane::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !m_writing) {
        auto* edit = qobject_cast<CNumEdit*>(watched);
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching windows (a message box included) and opening popups do
        // not leave the field; a click on Apply or Play Bol reads the form
        // itself, and Revert discards it.
        const QWidget* next = QApplication::focusWidget();
        const bool button = reason == Qt::MouseFocusReason &&
                            (next == m_apply || next == m_playBol || next == m_revert);
        if (edit && edit->isEnabled() && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::PopupFocusReason && !button) {
            // Once the focus has moved: the report puts it back in the field.
            QMetaObject::invokeMethod(
                this,
                [this, edit] {
                    if (edit->isEnabled())
                        ReadFloatField(edit, true);
                },
                Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CBolPropertiesPane::OnNameChosen(int index) {
    // Typing a listed name changes only the name.
    if (m_nameEditEnding)
        return;
    const auto bols = BuiltInBols();
    const QVariant row = m_nameBox->itemData(index);
    if (index < 0 || !row.isValid() || row.toUInt() >= bols.size())
        return;
    const BuiltInBolRow& entry = bols[row.toUInt()];

    m_writing = true;
    m_nameBox->setCurrentIndex(index);
    // A chosen name is a Tabla bol.
    if (m_bassInstrumentList->currentIndex() != Tabla) {
        m_bassInstrumentList->setCurrentIndex(Tabla);
        FillSoundList(m_bassSoundList, false);
    }
    if (m_pitchInstrumentList->currentIndex() != Tabla) {
        m_pitchInstrumentList->setCurrentIndex(Tabla);
        FillSoundList(m_pitchSoundList, true);
    }
    const int bass = m_bassSoundList->findText(QString::fromLatin1(entry.bassSound),
                                               Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (bass >= 0) {
        m_bassSoundList->setCurrentIndex(bass);
        m_bassSoundId = m_bassSoundList->itemData(bass).toUInt();
    }
    const int pitch = m_pitchSoundList->findText(QString::fromLatin1(entry.pitchSound),
                                                 Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (pitch >= 0) {
        m_pitchSoundList->setCurrentIndex(pitch);
        m_pitchSoundId = m_pitchSoundList->itemData(pitch).toUInt();
    }
    m_writing = false;
    OnChange();
}

void CBolPropertiesPane::OnSoundChosen(bool pitch, int index) {
    QComboBox* list = pitch ? m_pitchSoundList : m_bassSoundList;
    if (index < 0 || index >= list->count())
        return;
    (pitch ? m_pitchSoundId : m_bassSoundId) = list->itemData(index).toUInt();
    OnChange();
}

void CBolPropertiesPane::OnInstrumentChosen(bool pitch, int index) {
    if (index < 0)
        return;
    m_writing = true;
    (pitch ? m_pitchInstrument : m_bassInstrument) = index;
    FillSoundList(pitch ? m_pitchSoundList : m_bassSoundList, pitch);
    // The sound shown is now Silence, and so is the sound Apply stores.
    (pitch ? m_pitchSoundId : m_bassSoundId) = kSilenceSoundId;
    m_writing = false;
    OnChange();
}

void CBolPropertiesPane::OnApply() {
    ReadForm();
    m_edited.name = m_nameText.toStdString();
    bool ok = false;
    const int number = m_bolNumber.toInt(&ok);
    if (ok && number >= 1)
        m_edited.index = static_cast<std::uint32_t>(number - 1);
    m_edited.bass.emphasis = m_bassEmphasis;
    m_edited.bass.name = m_bassSoundName.toStdString();
    m_edited.bass.soundId = m_bassSoundId;
    m_edited.bass.instrument = static_cast<std::uint8_t>(m_bassInstrument);
    m_edited.duration = m_duration;
    m_edited.pitch.emphasis = m_pitchEmphasis;
    m_edited.pitch.name = m_pitchSoundName.toStdString();
    m_edited.pitch.soundId = m_pitchSoundId;
    m_edited.pitch.instrument = static_cast<std::uint8_t>(m_pitchInstrument);

    const CBol2 edited = m_edited;
    emit applyRequested(edited);
    EnableFields(true, false, false);
}

void CBolPropertiesPane::OnPlayBol() {
    ReadForm();
    // The form's values as one beat; the bol itself does not change.
    CBol2 bol;
    bol.name = m_nameText.toStdString();
    bol.duration = 1.0f;
    bol.index = m_edited.index;
    bol.pitch.name = m_pitchSoundName.toStdString();
    bol.pitch.soundId = m_pitchSoundId;
    bol.pitch.instrument = static_cast<std::uint8_t>(m_pitchInstrument);
    bol.pitch.emphasis = m_pitchEmphasis;
    bol.bass.name = m_bassSoundName.toStdString();
    bol.bass.soundId = m_bassSoundId;
    bol.bass.instrument = static_cast<std::uint8_t>(m_bassInstrument);
    bol.bass.emphasis = m_bassEmphasis;
    emit playBolRequested(bol);
}

void CBolPropertiesPane::keyPressEvent(QKeyEvent* event) {
    // Apply is the form's default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_apply->isEnabled()) {
        m_apply->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace lorvanta
