#include "ui/dialogs/TaalPropertiesDialog.h"

#include "model/Messages.h"
#include "model/SoundTables.h"
#include "ui/bars/EditNumber.h"

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
    QHBoxLayout* buttons = MakeButtons(this, m_okButton);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Taal Name"), this), 0, 0);
    grid->addWidget(m_nameEdit, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Default Tempo"), this), 1, 0);
    grid->addWidget(m_tempoEdit, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("bpm"), this), 1, 2);
    grid->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    // The name is selected and has the focus, ready to be typed over.
    m_nameEdit->selectAll();
    m_nameEdit->setFocus(Qt::OtherFocusReason);
}

void CTaalProperties::accept() {
    const double value = ReadEditNumber(m_tempoEdit->text());
    if (!(value >= kMinTempo && value <= kMaxTempo)) {
        m_sink.Show({MessageKind::Warning,
                     FormatMessage(kTempoOutOfRange, FormatFixed("%.1f", kMinTempo).toStdString(),
                                   FormatFixed("%.1f", kMaxTempo).toStdString())});
        return;
    }
    m_tempo = static_cast<float>(value);
    m_name = m_nameEdit->text();
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
