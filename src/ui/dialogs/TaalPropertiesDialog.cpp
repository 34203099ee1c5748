#include "ui/dialogs/TaalPropertiesDialog.h"

#include "model/Messages.h"
#include "model/SoundTables.h"
#include "ui/bars/EditNumber.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lorvanta {

namespace {

// OK as the default button and Cancel, in that tab order, at the bottom right.
QHBoxLayout* MakeButtons(QDialog* dialog, QPushButton*& ok) {
    ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

} // namespace

CTaalProperties::CTaalProperties(MessageSink& sink, QWidget* parent)
    : CTaalProperties(QString(), DefaultTempo(), sink, parent) {}

CTaalProperties::CTaalProperties(const QString& name, float tempo, MessageSink& sink,
                                 QWidget* parent)
    : QDialog(parent), m_sink(sink), m_name(name), m_tempo(tempo) {
    setWindowTitle(QString::fromLatin1(kTitle));

    m_nameEdit = new QLineEdit(m_name, this);
    m_nameEdit->setMinimumWidth(180);
    m_tempoEdit = new QLineEdit(FormatFixed("%.4f", static_cast<double>(m_tempo)), this);
    m_tempoEdit->setMaximumWidth(100);
    m_vibhagsEdit = new QLineEdit(this);
    m_vibhagsEdit->setPlaceholderText(QStringLiteral("X:4 2:4 0:4 3:4"));
    m_vibhagsEdit->setToolTip(
        QStringLiteral("Each vibhag as mark:beats: X for sam, 0 for khali, 1 to 9 for a taali. "
                       "Leave empty for none."));
    m_vibhagsNote = new QLabel(this);
    m_vibhagsNote->setWordWrap(true);
    m_vibhagsNote->setVisible(false);
    QHBoxLayout* buttons = MakeButtons(this, m_okButton);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Taal Name"), this), 0, 0);
    grid->addWidget(m_nameEdit, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Default Tempo"), this), 1, 0);
    grid->addWidget(m_tempoEdit, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("bpm"), this), 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Vibhags"), this), 2, 0);
    grid->addWidget(m_vibhagsEdit, 2, 1, 1, 2);
    grid->addWidget(m_vibhagsNote, 3, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    // The name is selected and has the focus, ready to be typed over.
    m_nameEdit->selectAll();
    m_nameEdit->setFocus(Qt::OtherFocusReason);
}

void CTaalProperties::SetVibhags(const ShownVibhags& shown, float taalLength) {
    m_taalLength = taalLength;
    m_shownVibhags = QString::fromStdString(FormatVibhags(shown.stored));
    m_vibhagsEdit->setText(m_shownVibhags);
    const std::string note = VibhagDisplayNote(shown, taalLength);
    m_vibhagsNote->setText(QString::fromStdString(note));
    m_vibhagsNote->setVisible(!note.empty());
}

void CTaalProperties::accept() {
    const double value = ReadEditNumber(m_tempoEdit->text());
    if (!(value >= kMinTempo && value <= kMaxTempo)) {
        m_sink.Show({MessageKind::Warning,
                     FormatMessage(kTempoOutOfRange, FormatFixed("%.1f", kMinTempo).toStdString(),
                                   FormatFixed("%.1f", kMaxTempo).toStdString())});
        return;
    }
    // Vibhags left as shown stay as stored, also when they no longer fit.
    std::optional<std::string> vibhags;
    if (m_vibhagsEdit->text().trimmed() != m_shownVibhags) {
        vibhags = m_vibhagsEdit->text().toStdString();
        VibhagList list;
        if (const VibhagStatus status = ParseFittingVibhags(*vibhags, m_taalLength, list);
            status != VibhagStatus::Ok) {
            m_sink.Show({MessageKind::Warning, VibhagStatusText(status, list, m_taalLength)});
            return;
        }
    }
    m_tempo = static_cast<float>(value);
    m_name = m_nameEdit->text();
    m_vibhags = std::move(vibhags);
    QDialog::accept();
}

CExpandDlg::CExpandDlg(MessageSink& sink, QWidget* parent) : QDialog(parent), m_sink(sink) {
    setWindowTitle(QString::fromLatin1(kTitle));

    QHBoxLayout* buttons = MakeButtons(this, m_okButton);
    m_multiplierEdit = new QLineEdit(QString::fromLatin1(kInitialText), this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Multiplier"), this));
    row->addWidget(m_multiplierEdit, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);
    // Wide enough for its whole title beside the window's buttons.
    setMinimumWidth(
        QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(windowTitle()) +
        160);

    // OK comes first in the tab order (it was made first) and takes the
    // focus, so Enter at once accepts 2.0; the factor is selected for whoever
    // tabs into it.
    m_multiplierEdit->selectAll();
    m_okButton->setFocus(Qt::OtherFocusReason);
}

void CExpandDlg::accept() {
    const double value = ReadEditNumber(m_multiplierEdit->text());
    if (!(value >= kMinMultiplier && value <= kMaxMultiplier)) {
        m_sink.Show({MessageKind::Warning, kOutOfRange});
        return;
    }
    m_multiplier = static_cast<float>(value);
    QDialog::accept();
}

} // namespace lorvanta
