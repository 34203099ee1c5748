#include "ui/dialogs/OptionsDialog.h"

#include <algorithm>

#include "model/Messages.h"
#include "model/Text.h"
#include "ui/Services.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace lorvanta {

namespace {

// An edit whose whole text is selected whenever it gains the focus.
class CSelectAllEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        // After the click that brought the focus has placed the cursor.
        QTimer::singleShot(0, this, &QLineEdit::selectAll);
    }
};

} // namespace

COptionsDialog::COptionsDialog(AppSettings& settings, MessageSink& sink, FolderPicker picker,
                               QWidget* parent)
    : QDialog(parent), m_settings(settings), m_sink(sink), m_picker(std::move(picker)) {
    setWindowTitle(QStringLiteral("Options"));

    auto* folderLabel = new QLabel(QStringLiteral("Taals Directory"), this);
    m_folderEdit = new CSelectAllEdit(m_settings.taalsFolder, this);
    m_browseButton = new QPushButton(QStringLiteral("Browse"), this);
    auto* displayLabel = new QLabel(QStringLiteral("Display currently playing beat as"), this);
    m_displayList = new QComboBox(this);
    m_displayList->addItem(QStringLiteral("Number"));
    m_displayList->addItem(QStringLiteral("Bol Name"));
    m_displayList->setCurrentIndex(static_cast<int>(m_settings.playingBeatDisplay));
    auto* strokesLabel = new QLabel(QStringLiteral("Strokes:"), this);
    m_strokesList = new QComboBox(this);
    if (HasBuiltInKit(BuiltInKit::Recorded))
        m_strokesList->addItem(QStringLiteral("Recorded"), kStrokesRecorded);
    m_strokesList->addItem(QStringLiteral("Synthesised"), kStrokesSynthesised);
    m_strokesList->addItem(QStringLiteral("Kit folder"), kStrokesFolder);
    const KitChoice& strokes = m_settings.strokes;
    m_strokesList->setCurrentIndex(StrokesIndex(!strokes.folder.empty() ? kStrokesFolder
                                                : strokes.builtIn == BuiltInKit::Recorded
                                                    ? kStrokesRecorded
                                                    : kStrokesSynthesised));
    m_kitEdit = new QLineEdit(QFile::decodeName(strokes.folder.string().c_str()), this);
    m_kitBrowseButton = new QPushButton(QStringLiteral("Browse…"), this);
    auto* endingsLabel = new QLabel(QStringLiteral("Stroke endings:"), this);
    m_endingsList = new QComboBox(this);
    m_endingsList->addItem(QStringLiteral("Ring on"));
    m_endingsList->addItem(QStringLiteral("Cut at the next bol"));
    m_endingsList->setCurrentIndex(m_settings.style.endings == StrokeEndings::Ring ? 0 : 1);
    auto* humaniseLabel = new QLabel(QStringLiteral("Humanise:"), this);
    m_humaniseSpin = new QSpinBox(this);
    m_humaniseSpin->setRange(0, static_cast<int>(kMaxHumanise));
    m_humaniseSpin->setSuffix(QStringLiteral(" %"));
    m_humaniseSpin->setValue(static_cast<int>(std::lround(m_settings.style.humanise)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* grid = new QGridLayout;
    grid->addWidget(folderLabel, 0, 0);
    grid->addWidget(m_folderEdit, 0, 1);
    grid->addWidget(m_browseButton, 0, 2);
    grid->addWidget(displayLabel, 1, 0);
    grid->addWidget(m_displayList, 1, 1, Qt::AlignLeft);
    grid->addWidget(strokesLabel, 2, 0);
    grid->addWidget(m_strokesList, 2, 1, Qt::AlignLeft);
    grid->addWidget(m_kitEdit, 3, 1);
    grid->addWidget(m_kitBrowseButton, 3, 2);
    grid->addWidget(endingsLabel, 4, 0);
    grid->addWidget(m_endingsList, 4, 1, Qt::AlignLeft);
    grid->addWidget(humaniseLabel, 5, 0);
    grid->addWidget(m_humaniseSpin, 5, 1, Qt::AlignLeft);
    m_outputList = new QComboBox(this);
    m_outputList->setObjectName(QStringLiteral("soundOutputList"));
    SetSoundOutputs({});
    grid->addWidget(new QLabel(QStringLiteral("Sound output:"), this), 6, 0);
    grid->addWidget(m_outputList, 6, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addWidget(buttons);
    resize(500, 280);
    UpdateKitControls();

    connect(m_browseButton, &QPushButton::clicked, this, &COptionsDialog::OnBrowse);
    connect(m_kitBrowseButton, &QPushButton::clicked, this, &COptionsDialog::OnBrowseKit);
    connect(m_strokesList, &QComboBox::currentIndexChanged, this,
            &COptionsDialog::UpdateKitControls);
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsDialog::reject);
}

void COptionsDialog::OnBrowse() {
    if (!m_picker)
        return;
    const QString folder =
        m_picker(this, QString::fromLatin1(kPickerTitle), m_settings.taalsFolder);
    if (folder.isEmpty())
        return;
    m_settings.taalsFolder = folder;
    m_folderEdit->setText(folder);
}

void COptionsDialog::OnBrowseKit() {
    if (!m_picker)
        return;
    const QString start = m_kitEdit->text().isEmpty() ? m_settings.taalsFolder : m_kitEdit->text();
    const QString folder = m_picker(this, QString::fromLatin1(kPickerTitle), start);
    if (folder.isEmpty())
        return;
    m_kitEdit->setText(folder);
    m_strokesList->setCurrentIndex(StrokesIndex(kStrokesFolder));
}

int COptionsDialog::StrokesIndex(StrokesEntry entry) const {
    return m_strokesList->findData(entry);
}

void COptionsDialog::UpdateKitControls() {
    const bool folder = m_strokesList->currentData().toInt() == kStrokesFolder;
    m_kitEdit->setEnabled(folder);
}

bool COptionsDialog::FolderUsable(const QString& folder, QLineEdit* edit) {
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return true;
    const MessageAnswer answer = m_sink.Show(
        {MessageKind::Warning, FormatMessage(kFolderMissing, ShownName(folder.toStdString())),
         MessageButtons::RetryCancel});
    if (answer == MessageAnswer::Retry)
        edit->setFocus(Qt::OtherFocusReason);
    else
        done(QDialog::Accepted);
    return false;
}

void COptionsDialog::SetSoundOutputs(const QStringList& devices) {
    m_outputList->clear();
    m_outputList->addItem(QStringLiteral("Default"), QString());
    QString host;
    for (const QString& device : devices) {
        // A line between the host interfaces' groups.
        const QString deviceHost = device.section(QStringLiteral(": "), 0, 0);
        if (deviceHost != host)
            m_outputList->insertSeparator(m_outputList->count());
        host = deviceHost;
        m_outputList->addItem(device, device);
    }
    const QString& chosen = m_settings.soundOutput;
    if (!chosen.isEmpty() && m_outputList->findData(chosen) < 0)
        m_outputList->addItem(chosen + QStringLiteral(" (not found)"), chosen);
    m_outputList->setCurrentIndex(std::max(0, m_outputList->findData(chosen)));
}

void COptionsDialog::accept() {
    const QString folder = m_folderEdit->text();
    if (!FolderUsable(folder, m_folderEdit))
        return;
    KitChoice strokes;
    switch (m_strokesList->currentData().toInt()) {
    case kStrokesRecorded:
        strokes.builtIn = BuiltInKit::Recorded;
        break;
    case kStrokesSynthesised:
        strokes.builtIn = BuiltInKit::Synthesised;
        break;
    default:
        if (!FolderUsable(m_kitEdit->text(), m_kitEdit))
            return;
        strokes = {DefaultBuiltInKit(), QFile::encodeName(m_kitEdit->text()).toStdString()};
        break;
    }
    m_settings.taalsFolder = folder;
    m_settings.playingBeatDisplay = static_cast<std::uint32_t>(m_displayList->currentIndex());
    m_settings.strokes = strokes;
    m_settings.style.endings =
        m_endingsList->currentIndex() == 0 ? StrokeEndings::Ring : StrokeEndings::Cut;
    m_settings.style.humanise = static_cast<float>(m_humaniseSpin->value());
    m_settings.soundOutput = m_outputList->currentData().toString();
    QDialog::accept();
}

} // namespace lorvanta
