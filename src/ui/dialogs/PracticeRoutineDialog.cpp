#include "ui/dialogs/PracticeRoutineDialog.h"

#include "model/Messages.h"
#include "persistence/SafeSave.h"
#include "session/LorvantaSession.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace lorvanta {

namespace {

enum Column { kFile, kLength, kTempo, kPause, kColumns };

constexpr qint64 kMaxRoutineFileBytes = 1 << 20;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The fields of one step as its line in the routine's text writes them.
QStringList StepFields(const RoutineStep& step) {
    const QString line = Text(WriteRoutine({{step}}).substr(WriteRoutine({}).size()));
    QStringList fields = line.trimmed().split(QLatin1Char('|'));
    for (QString& field : fields)
        field = field.trimmed();
    QStringList row(kColumns);
    row[kFile] = fields.value(0);
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QString& field = fields.at(i);
        if (field.startsWith(QStringLiteral("pause")))
            row[kPause] = field;
        else if (field.endsWith(QStringLiteral("bpm")))
            row[kTempo] = field;
        else
            row[kLength] = field;
    }
    return row;
}

} // namespace

CPracticeRoutineDialog::CPracticeRoutineDialog(CLorvantaSession& session, QString taalsFolder,
                                               QString routinesFolder, MessageSink& sink,
                                               std::function<bool()> beforeReplacing,
                                               QWidget* parent)
    : QDialog(parent), m_session(session), m_taalsFolder(std::move(taalsFolder)),
      m_routinesFolder(std::move(routinesFolder)), m_sink(sink),
      m_beforeReplacing(std::move(beforeReplacing)) {
    setWindowTitle(tr("Practice Routine"));
    m_table = new QTableWidget(0, kColumns, this);
    m_table->setObjectName(QStringLiteral("routineSteps"));
    m_table->setHorizontalHeaderLabels(
        {tr("Taal file"), tr("Length"), tr("Tempo"), tr("Pause after")});
    m_table->horizontalHeader()->setSectionResizeMode(kFile, QHeaderView::Stretch);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setToolTip(tr("Length: \"4 cycles\" or \"3 minutes\"; tempo: \"80 bpm\", \"+10 "
                           "bpm\" or empty for the Taal's own; pause: \"pause 5 s\" or empty"));

    const auto button = [this](const QString& text, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* add = button(tr("&Add..."), [this] {
        const QStringList files = QFileDialog::getOpenFileNames(
            this, tr("Add Steps"), m_taalsFolder, tr("Taal Files (*.tal)"));
        for (const QString& file : files)
            AddStep(file);
    });
    auto* remove = button(tr("&Remove"), [this] {
        if (m_table->currentRow() >= 0)
            m_table->removeRow(m_table->currentRow());
    });
    auto* up = button(tr("&Up"), [this] { MoveRow(-1); });
    auto* down = button(tr("Do&wn"), [this] { MoveRow(1); });
    auto* open = button(tr("&Open..."), [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, tr("Open Routine"), m_routinesFolder, tr("Practice Routines (*.routine)"));
        if (!file.isEmpty())
            OpenRoutineFile(file);
    });
    auto* save = button(tr("&Save..."), [this] {
        QDir().mkpath(m_routinesFolder);
        QString file = QFileDialog::getSaveFileName(
            this, tr("Save Routine"), m_routinePath.isEmpty() ? m_routinesFolder : m_routinePath,
            tr("Practice Routines (*.routine)"));
        if (file.isEmpty())
            return;
        if (!file.endsWith(QString::fromLatin1(kRoutineExtension.data(), kRoutineExtension.size())))
            file += QString::fromLatin1(kRoutineExtension.data(), kRoutineExtension.size());
        SaveRoutineFile(file);
    });
    auto* play = button(tr("&Play"), [this] { PlayRoutine(); });
    auto* stop = button(tr("S&top"), [this] { m_session.Stop(); });
    auto* close = button(tr("Close"), [this] { hide(); });

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, remove, up, down, open, save, play, stop})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* top = new QHBoxLayout;
    top->addWidget(m_table, 1);
    top->addLayout(buttons);
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("routineProgress"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_progress);
    resize(640, 320);

    if (auto* window = qobject_cast<QMainWindow*>(parent)) {
        m_statusLabel = new QLabel(window->statusBar());
        m_statusLabel->setObjectName(QStringLiteral("routineStatus"));
        window->statusBar()->addPermanentWidget(m_statusLabel);
    }
    m_timer = new QTimer(this);
    m_timer->setInterval(200);
    connect(m_timer, &QTimer::timeout, this, &CPracticeRoutineDialog::UpdateProgress);
}

QString CPracticeRoutineDialog::StepFileText(const QString& path) const {
    if (!m_taalsFolder.isEmpty()) {
        const QString relative = QDir(m_taalsFolder).relativeFilePath(path);
        if (!relative.startsWith(QStringLiteral("..")) && !QDir::isAbsolutePath(relative))
            return relative;
    }
    return path;
}

void CPracticeRoutineDialog::AddStep(const QString& taalFile) {
    RoutineStep step;
    step.file = StepFileText(taalFile).toStdString();
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    const QStringList fields = StepFields(step);
    for (int column = 0; column < kColumns; ++column)
        m_table->setItem(row, column, new QTableWidgetItem(fields.at(column)));
    m_table->setCurrentCell(row, kFile);
}

void CPracticeRoutineDialog::MoveRow(int by) {
    const int row = m_table->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= m_table->rowCount())
        return;
    for (int column = 0; column < kColumns; ++column) {
        QTableWidgetItem* a = m_table->takeItem(row, column);
        QTableWidgetItem* b = m_table->takeItem(to, column);
        m_table->setItem(row, column, b);
        m_table->setItem(to, column, a);
    }
    m_table->setCurrentCell(to, m_table->currentColumn());
}

std::optional<PracticeRoutine> CPracticeRoutineDialog::Routine() {
    // Each row is one line of the routine's text, so a problem's line is its row.
    std::string text;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        QStringList fields;
        for (int column = 0; column < kColumns; ++column) {
            const QTableWidgetItem* item = m_table->item(row, column);
            const QString field = item ? item->text().trimmed() : QString();
            if (column == kFile || !field.isEmpty())
                fields << QString(field).replace(QLatin1Char('\n'), QLatin1Char(' '));
        }
        // A file named with "|" or "#" at its start could not be read back.
        if (fields.front().contains(QLatin1Char('|')) ||
            fields.front().startsWith(QLatin1Char('#')))
            fields.front().clear();
        text += fields.join(QStringLiteral(" | ")).toStdString() + '\n';
    }
    const RoutineParse parse = ParseRoutine(text);
    if (parse.status != RoutineStatus::Ok) {
        // Each row is a line: the problem is named by its step.
        QString message = Text(RoutineProblemText(parse));
        if (message.startsWith(QStringLiteral("Line ")))
            message.replace(0, 4, QStringLiteral("Step"));
        m_sink.Show({MessageKind::Warning, message.toStdString()});
        return std::nullopt;
    }
    return parse.routine;
}

void CPracticeRoutineDialog::SetRoutine(const PracticeRoutine& routine) {
    m_table->setRowCount(0);
    for (const RoutineStep& step : routine.steps) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const QStringList fields = StepFields(step);
        for (int column = 0; column < kColumns; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(fields.at(column)));
    }
}

bool CPracticeRoutineDialog::OpenRoutineFile(const QString& path) {
    QFile file(path);
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxRoutineFileBytes || !file.open(QIODevice::ReadOnly)) {
        m_sink.Show(
            {MessageKind::Error, FormatMessage("Cannot open the routine %1.",
                                               QDir::toNativeSeparators(path).toStdString())});
        return false;
    }
    const RoutineParse parse = ParseRoutine(file.readAll().toStdString());
    if (parse.status != RoutineStatus::Ok) {
        m_sink.Show({MessageKind::Error, FormatMessage("Cannot open the routine %1: %2",
                                                       QDir::toNativeSeparators(path).toStdString(),
                                                       RoutineProblemText(parse))});
        return false;
    }
    SetRoutine(parse.routine);
    m_routinePath = path;
    return true;
}

bool CPracticeRoutineDialog::SaveRoutineFile(const QString& path) {
    const auto routine = Routine();
    if (!routine)
        return false;
    const std::string text = WriteRoutine(*routine);
    SaveFailure failure;
    if (!WriteFileSafely(path.toStdString(),
                         std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                         failure)) {
        m_sink.Show(
            {MessageKind::Error, failure.Message("Cannot save the routine %1: %2.",
                                                 QDir::toNativeSeparators(path).toStdString())});
        return false;
    }
    m_routinePath = path;
    return true;
}

bool CPracticeRoutineDialog::PlayRoutine() {
    const auto routine = Routine();
    if (!routine)
        return false;
    std::vector<std::filesystem::path> folders;
    if (!m_routinePath.isEmpty())
        folders.emplace_back(QFileInfo(m_routinePath).absolutePath().toStdString());
    folders.emplace_back(m_taalsFolder.toStdString());
    RoutinePlan plan = PlanRoutine(*routine, folders, m_sink);
    if (plan.status != RoutinePlanStatus::Ok) {
        m_sink.Show({MessageKind::Error, RoutinePlanProblemText(plan)});
        return false;
    }
    if (m_beforeReplacing && !m_beforeReplacing())
        return false;
    m_session.StartRoutine(std::move(plan));
    m_timer->start();
    UpdateProgress();
    return m_session.IsInRoutine();
}

QString CPracticeRoutineDialog::ProgressText() const {
    const auto progress = m_session.Routine();
    if (!progress || !progress->planned)
        return {};
    const PlannedStep& step = *progress->planned;
    const QString what =
        step.pause ? tr("Pause") : tr("%1 at %2 bpm").arg(Text(step.title)).arg(step.bpm);
    const QString left = progress->cyclesLeft == 1 ? tr("1 cycle left")
                                                   : tr("%1 cycles left").arg(progress->cyclesLeft);
    return tr("Step %1 of %2: %3, %4")
        .arg(step.routineStep + 1)
        .arg(progress->routineSteps)
        .arg(what, left);
}

void CPracticeRoutineDialog::UpdateProgress() {
    const QString text = ProgressText();
    m_progress->setText(text.isEmpty() ? tr("Not playing a routine.") : text);
    if (m_statusLabel)
        m_statusLabel->setText(text);
    if (text.isEmpty())
        m_timer->stop();
}

} // namespace lorvanta
