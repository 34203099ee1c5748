#pragma once

// A Lorvanta application under test: settings in a temporary folder, message
// boxes answered from a script and recorded, file and folder pickers and the
// web browser replaced by recorders.

#include "app/LorvantaApp.h"
#include "app/MainFrame.h"
#include "audiodevice/SystemOutput.h"
#include "model/Messages.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace lorvanta::test {

// Answers each box with the next scripted answer, or with the first button
// of the box when the script has run out; keeps every message.
class ScriptedMessageSink : public RecordingMessageSink {
public:
    MessageAnswer Show(const UserMessage& message) override {
        RecordingMessageSink::Show(message);
        if (!m_answers.empty()) {
            const MessageAnswer answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        }
        if (message.buttons == MessageButtons::YesNo ||
            message.buttons == MessageButtons::YesNoCancel)
            return MessageAnswer::Yes;
        return message.buttons == MessageButtons::RetryCancel ? MessageAnswer::Cancel
                                                              : MessageAnswer::Ok;
    }
    void Answer(MessageAnswer answer) { m_answers.push_back(answer); }

private:
    std::deque<MessageAnswer> m_answers;
};

// The desktop as tests see it.
struct FakeShell {
    QString openFile, saveFile, folder, soundFile;
    bool browser = true;
    int mergeAsks = 0; // Merge Taal's own file dialog
    QStringList suggestedSaveNames, filesShown;
    QList<QUrl> urlsOpened;

    ShellServices Services() {
        ShellServices services;
        services.chooseOpenFile = [this](QWidget*) { return openFile; };
        services.chooseSaveFile = [this](QWidget*, const QString& suggested) {
            suggestedSaveNames.append(suggested);
            return saveFile;
        };
        services.chooseSoundFile = [this](QWidget*, const QString&) { return soundFile; };
        services.chooseMergeFile = [this](QWidget*) {
            ++mergeAsks;
            return openFile;
        };
        services.chooseFolder = [this](QWidget*, const QString&, const QString&) { return folder; };
        services.openUrl = [this](const QUrl& url) -> std::optional<QString> {
            urlsOpened.append(url);
            return std::nullopt;
        };
        services.hasBrowser = [this] { return browser; };
        services.showInFileManager = [this](const QString& file) -> std::optional<QString> {
            filesShown.append(file);
            return std::nullopt;
        };
        return services;
    }
};

// A temporary folder that holds the settings and the test's files.
class AppFixture {
public:
    AppFixture() {
        const QString settings = m_dir.path() + QStringLiteral("/settings");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings);
    }

    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Write(const QString& name, std::span<const std::uint8_t> bytes) const {
        QFile file(Path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<qint64>(bytes.size()));
        return Path(name);
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QString Teentaal() { return QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/Teentaal.tal"); }

    // Starts the program with the arguments after its name; null when start-up
    // ends the program.
    std::unique_ptr<CLorvantaApp> Start(const QStringList& arguments = {},
                                        OutputOpener opener = OpenChosenOutput) {
        auto app = std::make_unique<CLorvantaApp>(sink, shell.Services(), std::move(opener));
        app->SetBolTablePath(LORVANTA_SOURCE_DIR "/resources/Tabla Bols.txt");
        if (!app->InitInstance(QStringList{QStringLiteral("lorvanta")} + arguments))
            return nullptr;
        return app;
    }

    ScriptedMessageSink sink;
    FakeShell shell;

private:
    QTemporaryDir m_dir;
};

// Lets queued work (posted events, repaints) run.
inline void Flush() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Replaces the text of an edit by typing, as a user would.
inline void TypeOver(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

inline std::vector<std::string> Texts(const RecordingMessageSink& sink) {
    std::vector<std::string> texts;
    for (const UserMessage& message : sink.Messages())
        texts.push_back(message.text);
    return texts;
}

// A tool bar docked in a shown, active window, with a second edit to move the
// focus to.
template <typename Bar> struct BarWindow {
    RecordingMessageSink sink;
    QMainWindow window;
    Bar* bar = new Bar(sink, &window);
    QLineEdit* elsewhere = new QLineEdit(&window);

    BarWindow() {
        window.addToolBar(bar);
        window.setCentralWidget(elsewhere);
        window.resize(1000, 200); // room for the whole bar
        elsewhere->setFocus();
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
};

} // namespace lorvanta::test
