#include "ui/dialogs/AboutDialog.h"

#include "audio/StrokeData.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QVBoxLayout>

namespace lorvanta {

CAboutDialog::CAboutDialog(const QUrl& helpAddress, MessageSink& sink, CHyperLink::Opener opener,
                           QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Lorvanta"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    auto* logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":/icons/logo.png")));
    auto* name = new QLabel(QStringLiteral("Lorvanta"), this);
    QFont large = name->font();
    large.setPointSizeF(large.pointSizeF() * 1.6);
    large.setBold(true);
    name->setFont(large);
    auto* version = new QLabel(VersionText(), this);
    auto* purpose = new QLabel(QStringLiteral("Tabla and pakhawaj accompaniment: compose a Taal\n"
                                              "and practise with it at any tempo and pitch."),
                               this);
    auto* copyright = new QLabel(QStringLiteral("Copyright (C) Quelnor"), this);
    // The recordings the recorded strokes are derived from, credited as their
    // package credits them.
    QLabel* recordings = nullptr;
    if (HasBuiltInKit(BuiltInKit::Recorded))
        recordings = new QLabel(
            QStringLiteral("Recorded strokes from tabla recordings by dio_333\n"
                           "(Copyright 2011 dio_333, CC0; freesound.org/people/dio_333),\n"
                           "as Debian's sonic-pi-samples carries them."),
            this);
    m_link =
        new CHyperLink(QStringLiteral("Lorvanta help"), helpAddress, sink, std::move(opener), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(version);
    text->addSpacing(8);
    text->addWidget(purpose);
    text->addWidget(copyright);
    if (recordings)
        text->addWidget(recordings);
    text->addSpacing(8);
    text->addWidget(m_link);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(logo, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CAboutDialog::VersionText() {
    return QString::fromLatin1(kVersionFormat).arg(QStringLiteral(LORVANTA_VERSION));
}

void CAboutDialog::mousePressEvent(QMouseEvent* event) {
    event->accept();
    accept();
}

} // namespace lorvanta
