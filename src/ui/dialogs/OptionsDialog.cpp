#include "ui/dialogs/OptionsDialog.h"

#include "app/AppSettings.h"
#include "model/Messages.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* grid = new QGridLayout;
    grid->addWidget(folderLabel, 0, 0);
    grid->addWidget(m_folderEdit, 0, 1);
    grid->addWidget(m_browseButton, 0, 2);
    grid->addWidget(displayLabel, 1, 0);
    grid->addWidget(m_displayList, 1, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addWidget(buttons);
    resize(500, 165);

    connect(m_browseButton, &QPushButton::clicked, this, &COptionsDialog::OnBrowse);
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

void COptionsDialog::accept() {
    const QString folder = m_folderEdit->text();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        m_settings.taalsFolder = folder;
        m_settings.playingBeatDisplay = static_cast<std::uint32_t>(m_displayList->currentIndex());
        QDialog::accept();
        return;
    }
    const MessageAnswer answer =
        m_sink.Show({MessageKind::Warning, FormatMessage(kFolderMissing, folder.toStdString()),
                     MessageButtons::RetryCancel});
    if (answer == MessageAnswer::Retry) {
        m_folderEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    done(QDialog::Accepted);
}

} // namespace lorvanta
