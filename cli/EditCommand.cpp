// lorvanta-cli edit FILE -o OUT --script "CMD; CMD; ...": opens a Taal file
// into the program's session, runs editing commands on its editor exactly as
// the menus, the grid and the side panes would, saves the Taal to OUT and prints
// the editor's state as one JSON object:
//   {"undo": [KIND, ...], "redo": [KIND, ...], "selected": [INDEX, ...],
//    "caret": N, "anchor": N, "modified": B, "messages": [TEXT, ...]}
// Lists are newest first; messages are the boxes the commands showed, in
// order, each answered with its default button, and the refusals of commands
// the program would have greyed out.
#include "Commands.h"
#include "TaalJson.h"

#include "audio/SampleBank.h"
#include "model/BolDictionary.h"
#include "model/PlaybackLimits.h"
#include "model/Vibhags.h"
#include "notation/Notation.h"
#include "persistence/TaalFile.h"
#include "session/LorvantaSession.h"

#include <cmath>
#include <functional>

namespace lorvanta::cli {

namespace {

constexpr const char* kUsage = "edit FILE -o OUT --script \"CMD; CMD; ...\" [--force]";
constexpr const char* kScriptHelp =
    "commands: select I J ... | select none | select-all | insert | append | delete | cut | "
    "copy | paste | clear-all | expand F | properties \"NAME\" BPM | rename \"NAME\" | "
    "vibhags \"X:4 2:4 0:4 3:4\" (\"\" removes them) | "
    "notation \"TEXT\" | bol I FIELD=VALUE ... (name, duration, pitch, bass, pitch-instrument, "
    "bass-instrument, pitch-emphasis, bass-emphasis) | undo | redo";

constexpr const char* kDisabledMessage = "The command \"%1\" is not available now; it was skipped.";
constexpr const char* kMultiplierMessage = "Multiplier must be between 0.1 and 10.";
constexpr const char* kNotationRetryMessage = "Error in Taal entered. Would you like to retry?";

// Records every box and answers it with its default button.
class DefaultButtonSink : public MessageSink {
public:
    MessageAnswer Show(const UserMessage& message) override {
        texts.push_back(message.text);
        switch (message.buttons) {
        case MessageButtons::YesNo:
        case MessageButtons::YesNoCancel:
            return MessageAnswer::Yes;
        case MessageButtons::RetryCancel:
            return MessageAnswer::Retry;
        case MessageButtons::Ok:
        case MessageButtons::OkCancel:
            break;
        }
        return MessageAnswer::Ok;
    }
    std::vector<std::string> texts;
};

// The script's words: blanks separate them, double quotes hold blanks and
// semicolons (with \" and \\ inside), a semicolon outside quotes ends a command.
std::optional<std::string> SplitScript(const std::string& script,
                                       std::vector<std::vector<std::string>>& commands) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    auto endWord = [&] {
        if (inWord)
            words.push_back(std::move(word));
        word.clear();
        inWord = false;
    };
    auto endCommand = [&] {
        endWord();
        if (!words.empty())
            commands.push_back(std::move(words));
        words.clear();
    };
    for (std::size_t i = 0; i < script.size(); ++i) {
        const char c = script[i];
        if (c == '"') {
            inWord = true;
            for (++i;; ++i) {
                if (i >= script.size())
                    return std::string("the script ends inside a quoted text");
                if (script[i] == '"')
                    break;
                if (script[i] == '\\' && i + 1 < script.size() &&
                    (script[i + 1] == '"' || script[i + 1] == '\\'))
                    ++i;
                word += script[i];
            }
        } else if (c == ';') {
            endCommand();
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            endWord();
        } else {
            inWord = true;
            word += c;
        }
    }
    endCommand();
    return std::nullopt;
}

// Bol indices a script may name (larger ones could not be clicked on anyway).
constexpr long kMaxScriptIndex = 1000000;

// One command of the script, checked before anything runs.
struct Step {
    std::string name;
    std::function<void()> run;
};

// What the script's commands work on: the session's document and editor,
// and the boxes they show.
struct Script {
    CLorvantaDoc& doc;
    CTaalEditor& editor;
    DefaultButtonSink& sink;
    void Refuse(const std::string& name) {
        sink.texts.push_back(FormatMessage(kDisabledMessage, name));
    }
    // An edit the editor refused for the limits of a Taal, said as the
    // program says it.
    void Report(LimitStatus status) {
        if (const auto message = LimitMessage(status))
            sink.Show(*message);
    }
};

std::optional<Instrument> ParseInstrument(const std::string& text) {
    if (text == "Tabla" || text == "0")
        return Tabla;
    if (text == "Pakhawaj" || text == "1")
        return Pakhawaj;
    return std::nullopt;
}

// The sound of the pane's list of that side with exactly this name.
std::optional<SoundId> ListedSound(const std::string& name, SoundTable table) {
    const auto rows = Rows(table).first(PrimaryRowCount(table));
    for (const SoundTableRow& row : rows)
        if (name == row.name)
            return row.id;
    return std::nullopt;
}

// Applies one FIELD=VALUE of the bol command to the pane's copy of the bol.
// Returns what is wrong with it, or nothing.
using FieldEdit = std::function<void(CBol2&)>;
std::optional<std::string> ParseField(const std::string& text, FieldEdit& edit) {
    const auto equals = text.find('=');
    if (equals == std::string::npos)
        return "\"" + text + "\" is no FIELD=VALUE";
    const std::string field = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    if (field == "name") {
        edit = [value](CBol2& bol) {
            bol.name = value;
            // A name from the pane's list sets both sounds from its entry, on Tabla.
            for (const BuiltInBolRow& row : BuiltInBols()) {
                if (value != row.name)
                    continue;
                bol.pitch.instrument = bol.bass.instrument = Tabla;
                if (const auto id = ListedSound(row.pitchSound, SoundTable::Pitch)) {
                    bol.pitch.name = row.pitchSound;
                    bol.pitch.soundId = *id;
                }
                if (const auto id = ListedSound(row.bassSound, SoundTable::Bass)) {
                    bol.bass.name = row.bassSound;
                    bol.bass.soundId = *id;
                }
                break;
            }
        };
        return std::nullopt;
    }
    if (field == "pitch" || field == "bass") {
        const bool pitch = field == "pitch";
        const auto id = ListedSound(value, pitch ? SoundTable::Pitch : SoundTable::Bass);
        if (!id)
            return "\"" + value + "\" is no " + field + " sound of the list";
        edit = [pitch, value, id = *id](CBol2& bol) {
            CSound& sound = pitch ? bol.pitch : bol.bass;
            sound.name = value;
            sound.soundId = id;
        };
        return std::nullopt;
    }
    if (field == "pitch-instrument" || field == "bass-instrument") {
        const auto instrument = ParseInstrument(value);
        if (!instrument)
            return field + " is Tabla or Pakhawaj, not \"" + value + "\"";
        const bool pitch = field == "pitch-instrument";
        edit = [pitch, instrument = *instrument](CBol2& bol) {
            (pitch ? bol.pitch : bol.bass).instrument = instrument;
        };
        return std::nullopt;
    }
    // The numeric edits refuse values outside their ranges.
    const std::optional<double> number = ParseNumber(value);
    if (field == "duration") {
        if (!number || *number < 0.0 || *number > 10.0)
            return "duration is a number of beats from 0 to 10, not \"" + value + "\"";
        edit = [v = static_cast<float>(*number)](CBol2& bol) { bol.duration = v; };
        return std::nullopt;
    }
    if (field == "pitch-emphasis" || field == "bass-emphasis") {
        if (!number || *number < -20.0 || *number > 20.0)
            return field + " is a number of dB from -20 to 20, not \"" + value + "\"";
        const bool pitch = field == "pitch-emphasis";
        edit = [pitch, v = static_cast<float>(*number)](CBol2& bol) {
            (pitch ? bol.pitch : bol.bass).emphasis = v;
        };
        return std::nullopt;
    }
    return "unknown field \"" + field + "\"";
}

// Turns one command's words into a step. Returns what is wrong, or nothing.
std::optional<std::string> MakeStep(const std::vector<std::string>& words, Script& s, Step& step) {
    const std::string& name = words[0];
    const std::vector<std::string> args(words.begin() + 1, words.end());
    step.name = name;
    CTaalEditor* e = &s.editor;
    // A command that takes no arguments, run when its rule allows.
    auto simple = [&](std::function<bool()> enabled,
                      std::function<void()> action) -> std::optional<std::string> {
        if (!args.empty())
            return name + " takes no arguments";
        step.run = [&s, name, enabled, action] {
            if (enabled())
                action();
            else
                s.Refuse(name);
        };
        return std::nullopt;
    };

    if (name == "select") {
        if (args.empty())
            return std::string("select needs bol numbers or \"none\"");
        if (args.size() == 1 && args[0] == "none") {
            step.run = [e] { e->Click(-1, {}); };
            return std::nullopt;
        }
        std::vector<int> indices;
        for (const std::string& arg : args) {
            const std::optional<long> index = ParseInteger(arg);
            if (!index || *index < 0 || *index > kMaxScriptIndex)
                return "select: \"" + arg + "\" is no bol index";
            indices.push_back(static_cast<int>(*index));
        }
        step.run = [e, indices] {
            e->Click(indices[0], {});
            for (std::size_t i = 1; i < indices.size(); ++i)
                e->Click(indices[i], {false, true});
        };
        return std::nullopt;
    }
    if (name == "select-all")
        return simple([e] { return e->CanSelectAll(); }, [e] { e->SelectAll(); });
    if (name == "insert")
        return simple([e] { return e->CanInsert(); }, [&s, e] { s.Report(e->Insert()); });
    if (name == "append")
        return simple([] { return true; }, [&s, e] { s.Report(e->Append()); });
    if (name == "delete")
        return simple([e] { return e->CanDelete(); }, [e] { e->Delete(); });
    if (name == "cut")
        return simple([e] { return e->CanDelete(); }, [e] { e->Cut(); });
    if (name == "copy")
        return simple([e] { return e->CanDelete(); }, [e] { e->Copy(); });
    if (name == "paste")
        return simple([e] { return e->CanPaste(); }, [&s, e] { s.Report(e->Paste()); });
    if (name == "clear-all")
        return simple([e] { return e->CanSelectAll(); }, [e] { e->ClearAll(); });
    if (name == "undo")
        return simple([e] { return e->CanUndo(); }, [e] { e->Undo(); });
    if (name == "redo")
        return simple([e] { return e->CanRedo(); }, [e] { e->Redo(); });

    if (name == "expand") {
        const std::optional<double> factor = args.size() == 1 ? ParseNumber(args[0]) : std::nullopt;
        if (!factor)
            return std::string("expand needs one number");
        step.run = [&s, e, f = *factor] {
            if (f == 2.0) {
                if (!e->CanExpandDouble())
                    return s.Refuse("expand 2");
                return s.Report(e->ExpandSelected(2.0f));
            }
            if (!e->CanDelete())
                return s.Refuse(f == 0.5 ? "expand 0.5" : "expand");
            if (f == 0.5)
                return s.Report(e->ExpandSelected(0.5f));
            // Custom: the dialog's range, the factor kept in single precision.
            if (!(f >= 0.1 && f <= 10.0)) {
                s.sink.Show({MessageKind::Warning, kMultiplierMessage});
                return;
            }
            s.Report(e->ExpandSelected(static_cast<float>(f)));
        };
        return std::nullopt;
    }
    if (name == "properties") {
        const std::optional<double> bpm = args.size() == 2 ? ParseNumber(args[1]) : std::nullopt;
        if (!bpm)
            return std::string("properties needs a name and a tempo");
        step.run = [&s, e, taalName = args[0], v = *bpm] {
            if (!(v >= kMinTempoBpm && v <= kMaxTempoBpm)) {
                s.sink.Show({MessageKind::Warning,
                             FormatMessage(kTempoOutOfRangeMessage, "10.0", "1000.0")});
                return;
            }
            e->SetTaalProperties(taalName, static_cast<float>(v));
        };
        return std::nullopt;
    }
    if (name == "vibhags") {
        // Taal Properties with only the vibhags changed; whether they fit is
        // the editor's check, at the Taal's length when the command runs.
        VibhagList vibhags;
        if (args.size() != 1)
            return std::string("vibhags needs one text");
        if (const VibhagStatus status = ParseVibhags(args[0], vibhags); status != VibhagStatus::Ok)
            return "vibhags: " + VibhagStatusText(status, vibhags, 0.0f);
        step.run = [&s, e, text = args[0]] {
            e->SetTaalProperties(s.doc.Taal().Name(), s.doc.DefaultTempo(), text);
        };
        return std::nullopt;
    }
    if (name == "rename") {
        if (args.size() != 1)
            return std::string("rename needs one name");
        step.run = [e, taalName = args[0]] { e->CommitName(taalName); };
        return std::nullopt;
    }
    if (name == "notation") {
        if (args.size() != 1)
            return std::string("notation needs one text");
        step.run = [&s, e, text = args[0]] {
            CTaal parsed;
            if (!ParseTaalText(text, parsed, s.sink)) {
                s.sink.Show(
                    {MessageKind::Question, kNotationRetryMessage, MessageButtons::RetryCancel});
                return;
            }
            // The typed text never renames the Taal.
            parsed.SetName(s.doc.Taal().Name());
            s.Report(e->ReplaceTaal(parsed));
        };
        return std::nullopt;
    }
    if (name == "bol") {
        const std::optional<long> index = args.empty() ? std::nullopt : ParseInteger(args[0]);
        if (!index || *index < 0 || *index > kMaxScriptIndex)
            return std::string("bol needs a bol index and FIELD=VALUE edits");
        std::vector<FieldEdit> edits;
        for (std::size_t i = 1; i < args.size(); ++i) {
            FieldEdit edit;
            if (auto problem = ParseField(args[i], edit))
                return "bol: " + *problem;
            edits.push_back(std::move(edit));
        }
        step.run = [&s, e, i = static_cast<int>(*index), edits] {
            // The pane can be edited only with a bol shown in it.
            if (i >= s.doc.Taal().Count())
                return s.Refuse("bol " + std::to_string(i));
            e->Click(i, {});
            CBol2 edited = *s.doc.Taal().BolAt(i);
            for (const FieldEdit& edit : edits)
                edit(edited);
            s.Report(e->ApplyBolProperties(edited));
        };
        return std::nullopt;
    }
    return "unknown command \"" + name + "\"";
}

std::string IntList(const std::vector<int>& values) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        text += (i ? ", " : "") + std::to_string(values[i]);
    return text + "]";
}

std::vector<int> Kinds(const CActionList& list) {
    std::vector<int> kinds;
    for (const auto& action : list)
        kinds.push_back(static_cast<int>(action->kind));
    return kinds;
}

ExitCode RunEdit(const std::vector<std::string>& args) {
    const std::string usage = std::string("lorvanta-cli ") + kUsage + "\n" + kScriptHelp;
    CommandLine line;
    if (const auto exitCode = ReadArguments(args, kUsage, {"-o", "--script"}, 1, line, {"--force"}))
        return *exitCode;
    const auto out = line.Option("-o");
    const auto scriptText = line.Option("--script");
    if (!out || !scriptText)
        return UsageError(usage);

    // The session the window holds, silent: nothing is heard, so no bol is
    // rendered. The boxes are answered with their default buttons; the
    // clipboard is the program's own.
    CSampleBank bank;
    DefaultButtonSink sink;
    MemoryClipboard clipboard;
    CLorvantaSession session(bank, sink, {}, &clipboard, SessionSound::Silent);
    RecordingMessageSink openSink;
    if (const auto failed =
            OpenTaalArgument(session.Document(), line, openSink, {.readWhole = true}))
        return *failed;
    session.OnInitialUpdate();
    CLorvantaDoc& doc = session.Document();
    CTaalEditor& editor = session.Editor();
    Script script{doc, editor, sink};

    // The whole script is checked before any command runs.
    std::vector<std::vector<std::string>> commands;
    if (auto problem = SplitScript(*scriptText, commands))
        return UsageError(usage, *problem);
    std::vector<Step> steps;
    for (const auto& words : commands) {
        Step step;
        if (auto problem = MakeStep(words, script, step))
            return UsageError(usage, *problem);
        steps.push_back(std::move(step));
    }
    for (const Step& step : steps)
        step.run();

    const bool modified = doc.IsModified();
    SaveFailure failure;
    if (!SaveTaalFile(doc, *out, failure)) {
        std::fprintf(stderr, "%s\n",
                     failure.Message("Cannot save file %1: %2.", FullPathName(*out)).c_str());
        return ExitCode::Failure;
    }

    std::string messages = "[";
    for (std::size_t i = 0; i < sink.texts.size(); ++i)
        messages += (i ? ", " : "") + JsonString(sink.texts[i]);
    messages += "]";
    std::printf("{\"undo\": %s, \"redo\": %s, \"selected\": %s, \"caret\": %d, \"anchor\": %d, "
                "\"modified\": %s, \"messages\": %s}\n",
                IntList(Kinds(editor.Lists().UndoList())).c_str(),
                IntList(Kinds(editor.Lists().RedoList())).c_str(),
                IntList(editor.SelectedIndices()).c_str(), editor.Caret(), editor.Anchor(),
                modified ? "true" : "false", messages.c_str());
    return ExitCode::Ok;
}

} // namespace

const Command kEditCommand{"edit", kUsage, RunEdit};

} // namespace lorvanta::cli
