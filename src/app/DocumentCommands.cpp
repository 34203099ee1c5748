// The application's document commands: New, Open, the recent files, Save,
// Save As, and the question before a modified document is left.
#include "app/LorvantaApp.h"
#include "app/MainFrame.h"
#include "model/Messages.h"
#include "model/Text.h"
#include "persistence/TaalFile.h"
#include "ui/grid/LorvantaView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace lorvanta {

namespace {

std::filesystem::path ToPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// The name offered for a document without a file: its title cut at the
// first character no file name may hold, with the Taal extension.
QString SuggestedFileName(const std::string& title) {
    QString name = QString::fromStdString(title);
    const qsizetype bad = name.indexOf(QRegularExpression(QStringLiteral("[/\\\\:]")));
    if (bad >= 0)
        name.truncate(bad);
    if (name.isEmpty())
        name = QString::fromLatin1(CLorvantaApp::kNewDocumentName);
    return name + QString::fromLatin1(kTaalExtension);
}

} // namespace

bool CLorvantaApp::OpenDocumentFile(const QString& path) {
    return OpenDocument(path) == OpenResult::Opened;
}

CLorvantaApp::OpenResult CLorvantaApp::OpenDocument(const QString& path) {
    if (!SaveModified())
        return OpenResult::Cancelled;

    // Read aside, so that a file that cannot be read leaves the document as
    // it was.
    CLorvantaDoc opened;
    const ReadOutcome outcome = OpenTaalFile(opened, ToPath(path), m_sink);
    if (outcome.structuralError)
        return OpenResult::Failed;

    m_session->Stop();
    Document().DeleteContents();
    Document().Taal().Assign(opened.Taal());
    Document().Header() = opened.Header();
    Document().Params() = opened.Params();
    Document().SetEmpty(opened.IsEmpty());
    Document().SetPathName(opened.PathName());
    Document().SetTitle(opened.Title());
    Document().SetModified(false);
    m_notReadWhole = outcome.valid ? std::filesystem::path() : ToPath(path);

    m_recentFiles.Add(QString::fromStdString(Document().PathName()));
    m_recentFiles.Save();
    m_frame->InitialUpdateViews();
    // A repaired Taal is offered for saving, whatever is undone.
    if (outcome.repaired)
        Document().SetModifiedUntilSaved();

    ApplyOpenedTempoRule(Document());
    m_frame->OnDocumentOpened(Document().DefaultTempo());
    m_frame->UpdateCommandUI();
    return OpenResult::Opened;
}

void CLorvantaApp::OnFileNew() {
    if (!SaveModified())
        return;
    ResetToNewDocument();
}

void CLorvantaApp::ResetToNewDocument() {
    m_session->Stop();
    Document().OnNewDocument();
    Document().SetModified(false);
    m_notReadWhole.clear();
    if (m_frame)
        m_frame->InitialUpdateViews();
}

void CLorvantaApp::OnFileOpen() {
    const QString path = m_shell.chooseOpenFile ? m_shell.chooseOpenFile(m_frame.get()) : QString();
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

void CLorvantaApp::OnOpenRecentFile(int index) {
    if (index < 0 || index >= m_recentFiles.Files().size())
        return;
    if (OpenDocument(m_recentFiles.Files().at(index)) == OpenResult::Failed) {
        m_recentFiles.Remove(index);
        m_recentFiles.Save();
    }
}

bool CLorvantaApp::OnFileSave() {
    // A document without a file is offered under its Taal's name.
    Document().SetTitle(Document().Taal().Name());
    const bool saved = DoSave(QString::fromStdString(Document().PathName()));
    m_frame->RefreshTaalTree();
    return saved;
}

bool CLorvantaApp::OnFileSaveAs() {
    const bool saved = DoSave(QString());
    m_frame->RefreshTaalTree();
    return saved;
}

bool CLorvantaApp::DoSave(const QString& path) {
    QString target = path;
    if (target.isEmpty()) {
        QString suggested = QString::fromStdString(Document().PathName());
        if (suggested.isEmpty()) {
            suggested = SuggestedFileName(Document().Title());
            const QString folder = m_frame->Settings().taalsFolder;
            if (QFileInfo(folder).isDir())
                suggested = QDir(folder).filePath(suggested);
        }
        target =
            m_shell.chooseSaveFile ? m_shell.chooseSaveFile(m_frame.get(), suggested) : QString();
        if (target.isEmpty())
            return false;
        if (QFileInfo(target).suffix().isEmpty())
            target += QString::fromLatin1(kTaalExtension);
    }

    // Saving over a file not read whole replaces what was not read; No offers
    // another file instead.
    std::error_code error;
    if (!m_notReadWhole.empty() &&
        std::filesystem::equivalent(ToPath(target), m_notReadWhole, error)) {
        const MessageAnswer answer = m_sink.Show(
            {MessageKind::Question, messages::kSaveIncompleteRead, MessageButtons::YesNo});
        if (answer != MessageAnswer::Yes)
            return DoSave(QString());
    }

    SaveFailure failure;
    if (!SaveTaalFile(Document(), ToPath(target), failure)) {
        m_sink.Show({MessageKind::Error,
                     failure.Message(kSaveFailed, QDir::toNativeSeparators(target).toStdString())});
        return false;
    }
    if (!m_notReadWhole.empty() &&
        std::filesystem::equivalent(ToPath(target), m_notReadWhole, error))
        m_notReadWhole.clear();
    Document().SetTitle(QFileInfo(target).fileName().toStdString());
    m_recentFiles.Add(QString::fromStdString(Document().PathName()));
    m_recentFiles.Save();
    m_frame->UpdateCommandUI();
    return true;
}

bool CLorvantaApp::SaveModified() {
    if (!Document().IsModified())
        return true;
    const std::string name =
        Document().Title().empty() ? std::string(kNewDocumentName) : Document().Title();
    const MessageAnswer answer =
        m_sink.Show({MessageKind::Question, FormatMessage(kAskToSave, ShownName(name)),
                     MessageButtons::YesNoCancel});
    if (answer == MessageAnswer::Cancel)
        return false;
    if (answer != MessageAnswer::Yes)
        return true;
    return DoSave(QString::fromStdString(Document().PathName()));
}

} // namespace lorvanta
