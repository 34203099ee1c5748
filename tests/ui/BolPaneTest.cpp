// The numeric edit and spin controls (typing, growing decimals, stepping,
// validity codes) and the bol properties form built on them: its states,
// choices from its lists, Apply, Revert and Play Bol.
#include "app/AppSettings.h"
#include "audio/SampleBank.h"
#include "audio/output/device/SystemOutput.h"
#include "model/Bol.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "model/TaalEditor.h"
#include "ui/grid/LorvantaView.h"
#include "ui/panes/BolPropertiesPane.h"
#include "ui/panes/NumEdit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <map>

using namespace lorvanta;

namespace {

// Types the text one key at a time, letting queued work run between keys as
// a user's typing would.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QTest::keyClicks(widget, QString(c));
        QCoreApplication::processEvents();
    }
}

void ReplaceBy(CNumEdit& edit, const QString& typed) {
    edit.setText(QString());
    Type(&edit, typed);
}

CBol2 SampleBol() {
    CBol2 bol;
    bol.name = "Dha: Pressed Ge";
    bol.duration = 0.5f;
    bol.pitch = {};
    bol.pitch.name = "Na";
    bol.pitch.soundId = 12;
    bol.pitch.emphasis = -3.0f;
    bol.bass.name = "Pressed Ge";
    bol.bass.soundId = 1;
    bol.bass.emphasis = 2.0f;
    return bol;
}

struct PaneState {
    bool controls;
    bool apply;
    bool revert;
};

PaneState StateOf(const CBolPropertiesPane& pane) {
    return {pane.NameBox()->isEnabled(), pane.ApplyButton()->isEnabled(),
            pane.RevertButton()->isEnabled()};
}

// A pane on screen with the sample bol, so that focus moves as a user's does.
struct ShownPane {
    RecordingMessageSink sink;
    CBolPropertiesPane pane{sink};
    ShownPane() {
        pane.show();
        pane.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&pane));
        pane.ShowBol(SampleBol(), 0);
    }
};

void Choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

} // namespace

class BolPaneTest : public QObject {
    Q_OBJECT

private slots:
    // --- CNumEdit and CNumSpinCtrl ---------------------------------------

    void decimalsOnlyGrow() {
        CNumEdit edit;
        QVERIFY(edit.SetValue(1.0f));
        QCOMPARE(edit.text(), QStringLiteral("1"));
        QVERIFY(edit.SetValue(0.25f));
        QCOMPARE(edit.text(), QStringLiteral("0.25"));
        QVERIFY(edit.SetValue(1.0f));
        QCOMPARE(edit.text(), QStringLiteral("1.00"));

        // "%G" writes 1234567 as 1.23457E+06: nine characters after the point.
        CNumEdit large;
        QCOMPARE(large.ConstructFormat(1234567.0f), QStringLiteral("%.9f"));
        QVERIFY(large.SetValue(1234567.0f));
        QCOMPARE(large.text(), QStringLiteral("1234567.000000000"));
        QCOMPARE(large.ConstructFormat(2.5f), QStringLiteral("%.9f"));
    }

    void typedDecimalsCarryIntoSteps() {
        CNumEdit edit;
        CNumSpinCtrl spin;
        spin.SetBuddy(&edit);
        QCOMPARE(edit.text(), QStringLiteral("0"));
        spin.SetDelta(0.25f);
        ReplaceBy(edit, QStringLiteral("1.234"));
        QCOMPARE(edit.text(), QStringLiteral("1.234"));
        QCOMPARE(edit.Decimals(), 3);
        spin.Spin(1);
        QCOMPARE(edit.text(), QStringLiteral("1.484"));
        spin.Spin(1);
        QCOMPARE(edit.text(), QStringLiteral("1.734"));
        spin.Spin(-4);
        QCOMPARE(edit.text(), QStringLiteral("0.734"));
    }

    void validityCodes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::newRow("number") << "12.5" << 0;
        QTest::newRow("blanks around") << " -3 " << 0;
        QTest::newRow("too high") << "20.01" << 1;
        QTest::newRow("far too high") << "1e999" << 1;
        QTest::newRow("empty") << "" << 2;
        QTest::newRow("word") << "abc" << 2;
        QTest::newRow("trailing word") << "1.5x" << 2;
        QTest::newRow("double sign") << "--1" << 2;
        QTest::newRow("not a number") << "nan" << 2;
        QTest::newRow("minus") << "-" << 3;
    }

    void validityCodes() {
        QFETCH(QString, text);
        QFETCH(int, code);
        CNumEdit edit;
        edit.SetRange(-20.0f, 20.0f);
        QCOMPARE(edit.IsValid(text), code);
        edit.setText(text);
        QCOMPARE(edit.GetValue(), code == 0 ? *ReadNumberText(text) : -20.0f);
    }

    void verboseExplainsRefusals() {
        RecordingMessageSink sink;
        CNumEdit edit(&sink);
        edit.SetRange(0.0f, 10.0f);
        edit.IsValid(QStringLiteral("x"));
        QVERIFY(sink.Messages().empty());
        edit.SetVerbose(true);
        edit.IsValid(QStringLiteral("x"));
        edit.IsValid(QStringLiteral("11"));
        edit.IsValid(QStringLiteral("-"));
        QCOMPARE(sink.Messages().size(), std::size_t{2});
        QCOMPARE(sink.Messages()[0].text, std::string("Characters must be a number.\n"));
        QCOMPARE(sink.Messages()[1].text, std::string("Given value is out of range.\n"));
    }

    void typingRules() {
        CNumEdit edit;
        edit.SetRange(-20.0f, 20.0f);

        // 25 is refused at the 5: the 2 stays, selected.
        ReplaceBy(edit, QStringLiteral("25"));
        QCOMPARE(edit.text(), QStringLiteral("2"));
        QCOMPARE(edit.selectedText(), QStringLiteral("2"));

        // A lone sign is kept; a letter after it restores the value before the
        // key, which an incomplete text reads as the minimum.
        ReplaceBy(edit, QStringLiteral("-"));
        QCOMPARE(edit.text(), QStringLiteral("-"));
        QCOMPARE(edit.IsValid(), int(CNumEdit::kIncomplete));
        Type(&edit, QStringLiteral("a"));
        QCOMPARE(edit.text(), QStringLiteral("-20"));

        // Spaces are swallowed.
        ReplaceBy(edit, QStringLiteral("1 5"));
        QCOMPARE(edit.text(), QStringLiteral("15"));

        // Backspace over the last digit puts it back; Delete may empty the
        // text, which then reads as the minimum.
        ReplaceBy(edit, QStringLiteral("7"));
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QCOMPARE(edit.text(), QStringLiteral("7"));
        QCoreApplication::processEvents();
        QTest::keyClick(&edit, Qt::Key_Home);
        QTest::keyClick(&edit, Qt::Key_Delete);
        QCOMPARE(edit.text(), QString());
        QCOMPARE(edit.GetValue(), -20.0f);

        // Characters typed behind a refused one are thrown away until the
        // event loop runs; the next key replaces the restored text.
        edit.setText(QString());
        QTest::keyClicks(&edit, QStringLiteral("1x3"));
        QCOMPARE(edit.text(), QStringLiteral("1"));
        QCoreApplication::processEvents();
        Type(&edit, QStringLiteral("3"));
        QCOMPARE(edit.text(), QStringLiteral("3"));
    }

    void setValueAndStepsKeepToTheRange() {
        CNumEdit edit;
        CNumSpinCtrl spin;
        spin.SetBuddy(&edit);
        spin.SetRange(0.0f, 10.0f);
        spin.SetDelta(0.25f);
        QVERIFY(!edit.SetValue(10.5f));
        QVERIFY(!edit.SetValue(std::numeric_limits<float>::quiet_NaN()));
        spin.SetPos(9.9f);
        QCOMPARE(edit.text(), QStringLiteral("9.9"));
        spin.Spin(1);
        QCOMPARE(spin.GetPos(), 10.0f);
        QCOMPARE(edit.text(), QStringLiteral("10.0"));
        spin.Spin(-100);
        QCOMPARE(spin.GetPos(), 0.0f);

        // Held arrows take larger steps; the arrows' own position never
        // reaches an end of 0 to 1000 however far they go.
        QCOMPARE(CNumSpinCtrl::AcceleratedChange(0), 1);
        QCOMPARE(CNumSpinCtrl::AcceleratedChange(2500), 5);
        QCOMPARE(CNumSpinCtrl::AcceleratedChange(6000), 20);
        for (const int change : {20, -20}) {
            for (int i = 0; i < 200; ++i) {
                spin.Spin(change);
                QVERIFY(spin.IntegerPos() > 0 && spin.IntegerPos() < 1000);
            }
        }
        spin.SetPos(3.0f);
        QCOMPARE(spin.IntegerPos(), 500);

        // An arrow key in the edit spins too.
        QTest::keyClick(&edit, Qt::Key_Up);
        QCOMPARE(spin.GetPos(), 3.25f);
    }

    void spinWithAPlainEditReportsNothing() {
        QLineEdit plain;
        CNumSpinCtrl spin;
        spin.SetBuddy(&plain);
        spin.SetDelta(2.0f);
        spin.SetPos(4.0f);
        QCOMPARE(spin.GetPos(), 0.0f);
        spin.Spin(1);
        QCOMPARE(plain.text(), QString());
    }

    // --- The bol properties form -----------------------------------------

    void listsAndFirstDisplay() {
        RecordingMessageSink sink;
        CBolPropertiesPane pane(sink);
        QCOMPARE(pane.NameBox()->count(), 34);
        QCOMPARE(pane.PitchSoundList()->itemData(20).toUInt(), 28u);
        QCOMPARE(pane.BassSoundList()->count(), 12);

        // Nothing selected yet: every control and both buttons off.
        const PaneState start = StateOf(pane);
        QVERIFY(!start.controls && !start.apply && !start.revert);
        QVERIFY(!pane.PlayBolButton()->isEnabled());
    }

    void showChangeApplyRevert() {
        RecordingMessageSink sink;
        CBolPropertiesPane pane(sink);
        QSignalSpy applied(&pane, &CBolPropertiesPane::applyRequested);

        pane.ShowBol(SampleBol(), 6);
        PaneState state = StateOf(pane);
        QVERIFY(state.controls && !state.apply && !state.revert);
        QCOMPARE(pane.BolNumber()->text(), QStringLiteral("7"));
        QCOMPARE(pane.DurationEdit()->text(), QStringLiteral("0.5"));
        QCOMPARE(pane.BassSoundList()->currentText(), QStringLiteral("Pressed Ge"));
        QCOMPARE(pane.PitchEmphasisEdit()->text(), QStringLiteral("-3"));

        // A spin is a change; Revert puts the bol back.
        pane.DurationSpin()->Spin(2);
        state = StateOf(pane);
        QVERIFY(state.controls && state.apply && state.revert);
        pane.RevertButton()->click();
        QCOMPARE(pane.DurationEdit()->text(), QStringLiteral("0.5"));
        state = StateOf(pane);
        QVERIFY(state.controls && !state.apply && !state.revert);

        // A typed name that is not listed is kept as typed, the sounds stay.
        pane.NameBox()->lineEdit()->selectAll();
        QTest::keyClicks(pane.NameBox()->lineEdit(), QStringLiteral("Tirakita"));
        QVERIFY(StateOf(pane).apply);
        pane.DurationSpin()->Spin(-2);
        pane.ApplyButton()->click();
        QCOMPARE(applied.count(), 1);
        const auto edited = applied.at(0).at(0).value<CBol2>();
        QCOMPARE(edited.name, std::string("Tirakita"));
        QCOMPARE(edited.index, 6u);
        QCOMPARE(edited.duration, 0.0f);
        QCOMPARE(edited.pitch.soundId, 12u);
        QCOMPARE(edited.bass.emphasis, 2.0f);
        state = StateOf(pane);
        QVERIFY(state.controls && !state.apply && !state.revert);

        // The grid's nothing-selected call turns the whole form off.
        pane.EnableFields(false, false, false);
        QVERIFY(!pane.BassEmphasisEdit()->isEnabled());
    }

    void choosingFromTheLists() {
        RecordingMessageSink sink;
        CBolPropertiesPane pane(sink);
        CBol2 bol = SampleBol();
        bol.pitch.instrument = Pakhawaj;
        pane.ShowBol(bol, 0);
        QCOMPARE(pane.PitchInstrumentList()->currentIndex(), 1);

        // The heading entry: both sounds Silence, both instruments Tabla.
        Choose(pane.NameBox(), 0);
        QCOMPARE(pane.PitchInstrumentList()->currentIndex(), 0);
        QCOMPARE(pane.PitchSoundList()->currentText(), QStringLiteral("Silence"));
        QCOMPARE(pane.PitchSoundId(), 0u);
        QCOMPARE(pane.BassSoundId(), 0u);

        const int dhin = pane.NameBox()->findText(QStringLiteral("Dha: Pressed Ge"));
        Choose(pane.NameBox(), dhin);
        QCOMPARE(pane.PitchSoundId(), 12u);
        QCOMPARE(pane.BassSoundId(), 1u);

        // An instrument refills its side's sounds; the id follows the Silence
        // now shown, so Apply stores what the form shows.
        Choose(pane.BassInstrumentList(), 1);
        QCOMPARE(pane.BassSoundList()->currentText(), QStringLiteral("Silence"));
        QCOMPARE(pane.BassSoundId(), 0u);
        Choose(pane.PitchSoundList(), pane.PitchSoundList()->findText(QStringLiteral("Tin")));
        QCOMPARE(pane.PitchSoundId(), 14u);

        QSignalSpy played(&pane, &CBolPropertiesPane::playBolRequested);
        pane.PlayBolButton()->click();
        QCOMPARE(played.count(), 1);
        const auto heard = played.at(0).at(0).value<CBol2>();
        QCOMPARE(heard.pitch.name, std::string("Tin"));
        QCOMPARE(pane.EditedBol(), bol);

        QSignalSpy applied(&pane, &CBolPropertiesPane::applyRequested);
        pane.OnApply();
        const auto edited = applied.at(0).at(0).value<CBol2>();
        QCOMPARE(edited.bass.soundId, 0u);
        QCOMPARE(edited.bass.instrument, std::uint8_t{Pakhawaj});
    }

    void typedListedNameIsOnlyAName_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("tab") << int(Qt::Key_Tab);
        QTest::newRow("return") << int(Qt::Key_Return);
    }

    // Typing a name the list holds changes the name; only a choice from the
    // list sets the sounds.
    void typedListedNameIsOnlyAName() {
        QFETCH(int, key);
        ShownPane shown;
        QLineEdit* name = shown.pane.NameBox()->lineEdit();
        name->setFocus();
        name->selectAll();
        Type(name, QStringLiteral("Ra"));
        QTest::keyClick(name, Qt::Key(key));
        QCoreApplication::processEvents();
        QCOMPARE(shown.pane.NameBox()->currentText(), QStringLiteral("Ra"));
        QCOMPARE(shown.pane.PitchSoundList()->currentText(), QStringLiteral("Na"));
        QCOMPARE(shown.pane.PitchSoundId(), 12u);
        QCOMPARE(shown.pane.BassSoundId(), 1u);

        // The same name chosen in the drop-down list sets its sounds.
        QComboBox* box = shown.pane.NameBox();
        box->showPopup();
        box->view()->setCurrentIndex(box->model()->index(box->findText(QStringLiteral("Ra")), 0));
        QTest::keyClick(box->view(), Qt::Key_Return);
        QCOMPARE(shown.pane.PitchSoundList()->currentText(), QStringLiteral("Ghasee Ra"));
    }

    void signsAndEmptyFieldsWaitForTheFieldToBeLeft_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("messages");
        QTest::newRow("negative, left") << "-5"
                                        << "tab" << 0;
        QTest::newRow("sign while typing") << "-"
                                           << "" << 0;
        QTest::newRow("emptied while typing") << ""
                                              << "" << 0;
        QTest::newRow("sign left") << "-"
                                   << "tab" << 1;
        QTest::newRow("empty, Apply") << ""
                                      << "apply" << 1;
        QTest::newRow("sign, Play Bol") << "-"
                                        << "play" << 1;
    }

    void signsAndEmptyFieldsWaitForTheFieldToBeLeft() {
        QFETCH(QString, typed);
        QFETCH(QString, end);
        QFETCH(int, messages);
        ShownPane shown;
        CNumEdit* edit = shown.pane.PitchEmphasisEdit();
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        Type(edit, typed);
        QCOMPARE(edit->text(), typed);
        QVERIFY(shown.sink.Messages().empty());
        QVERIFY(StateOf(shown.pane).apply);

        if (end == QStringLiteral("tab"))
            QTest::keyClick(edit, Qt::Key_Tab);
        else if (end == QStringLiteral("apply"))
            QTest::mouseClick(shown.pane.ApplyButton(), Qt::LeftButton);
        else if (end == QStringLiteral("play"))
            QTest::mouseClick(shown.pane.PlayBolButton(), Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(int(shown.sink.Messages().size()), messages);
        if (messages)
            QCOMPARE(shown.sink.Messages()[0].text, std::string("Enter a number."));
        if (messages == 0 && !end.isEmpty()) {
            shown.pane.OnApply();
            QCOMPARE(shown.pane.EditedBol().pitch.emphasis, -5.0f);
        }
    }

    // Squeezed to its share of a small screen, the form scrolls: every
    // control keeps its own size and can be brought into view.
    void squeezedFormScrolls() {
        RecordingMessageSink sink;
        CBolPropertiesPane pane(sink);
        pane.setMinimumHeight(100);
        pane.resize(300, 160);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        auto* area = pane.findChild<QScrollArea*>();
        QVERIFY(area);
        for (QWidget* control : std::initializer_list<QWidget*>{
                 pane.NameBox(), pane.DurationEdit(), pane.PitchInstrumentList(),
                 pane.PitchSoundList(), pane.PitchEmphasisEdit(), pane.BassInstrumentList(),
                 pane.BassSoundList(), pane.BassEmphasisEdit(), pane.BassEmphasisSpin(),
                 pane.ApplyButton(), pane.RevertButton()}) {
            const QRect place(control->mapTo(area->widget(), QPoint()), control->size());
            area->ensureVisible(place.center().x(), place.center().y(), place.width() / 2 + 1,
                                place.height() / 2 + 1);
            QVERIFY(control->height() >= control->minimumSizeHint().height());
            QCOMPARE(control->visibleRegion().boundingRect().size(), control->size());
        }
    }

    void formFollowsTheGridThroughEdits_data() {
        QTest::addColumn<QString>("steps");
        QTest::newRow("delete, undo") << "s3 del undo";
        QTest::newRow("delete, undo, redo") << "s3 del undo redo";
        QTest::newRow("select all, delete") << "all del";
        QTest::newRow("select all, delete, undo") << "all del undo";
        QTest::newRow("delete the last bol") << "s5 del s4 del s3 del s2 del s1 del s0 del";
        QTest::newRow("insert, undo") << "s2 ins undo";
        QTest::newRow("clear all, undo") << "s2 clear undo";
    }

    // After every edit, undo and redo the form shows the bol the grid has
    // selected (the one Apply changes), or is empty and off without one.
    void formFollowsTheGridThroughEdits() {
        QFETCH(QString, steps);
        CLorvantaDoc doc;
        for (int i = 0; i < 6; ++i) {
            const CBol2 bol(("B" + std::to_string(i + 1)).c_str(), 0, 1.0f, Tabla);
            doc.InsertBol(i - 1, &bol);
        }
        doc.SetEmpty(false);
        CSampleBank bank;
        RecordingMessageSink sink;
        AppSettings settings;
        CBolPropertiesPane pane(sink);
        CLorvantaView view(doc, bank, sink, settings, OpenChosenOutput);
        view.SetBolPane(&pane);
        view.OnInitialUpdate();
        CTaalEditor& editor = view.Editor();

        const std::map<QString, std::function<void()>> edits = {
            {"del", [&] { editor.Delete(); }},
            {"undo", [&] { editor.Undo(); }},
            {"redo", [&] { editor.Redo(); }},
            {"ins", [&] { editor.Insert(); }},
            {"clear", [&] { editor.ClearAll(); }}};
        for (const QString& step : steps.split(QLatin1Char(' '))) {
            // Selections (Select All shows the last bol) set the scene.
            if (step == QStringLiteral("all")) {
                editor.SelectAll();
                continue;
            }
            if (step.startsWith(QLatin1Char('s'))) {
                editor.SelectBol(step.mid(1).toInt(), true);
                continue;
            }
            edits.at(step)();
            const int selected = editor.GetFirstSelected();
            QCOMPARE(pane.PlayBolButton()->isEnabled(), selected >= 0);
            QCOMPARE(pane.NameBox()->isEnabled(), selected >= 0);
            QCOMPARE(pane.BolNumber()->text(),
                     selected >= 0 ? QString::number(selected + 1) : QString());
            QCOMPARE(pane.NameBox()->currentText().toStdString(),
                     selected >= 0 ? doc.Taal().BolAt(selected)->name : std::string());
        }
        QVERIFY(sink.Messages().empty());
    }

    void loudEmphasisAndFailedFields() {
        RecordingMessageSink sink;
        CBolPropertiesPane pane(sink);
        QSignalSpy applied(&pane, &CBolPropertiesPane::applyRequested);

        // 30 dB from a file: shown, kept by Apply, out of the spin's reach.
        CBol2 bol = SampleBol();
        bol.pitch.emphasis = 30.0f;
        pane.ShowBol(bol, 2);
        QCOMPARE(pane.PitchEmphasisEdit()->text(), QStringLiteral("30"));
        pane.OnApply();
        QCOMPARE(applied.last().at(0).value<CBol2>().pitch.emphasis, 30.0f);
        QVERIFY(sink.Messages().empty());

        // A field that fails when the form is read (quietly at the change,
        // reported at Apply): those before it take their new values, it and
        // those after keep theirs; Apply goes on.
        pane.NameBox()->setEditText(QStringLiteral("Ge"));
        pane.BassEmphasisEdit()->setText(QStringLiteral("x"));
        QVERIFY(sink.Messages().empty());
        pane.DurationEdit()->blockSignals(true);
        pane.DurationEdit()->setText(QStringLiteral("2"));
        pane.DurationEdit()->blockSignals(false);
        pane.OnApply();
        QCOMPARE(sink.Messages().size(), std::size_t{1});
        QCOMPARE(sink.Messages()[0].text, std::string("Enter a number."));
        QVERIFY(sink.Messages()[0].kind == MessageKind::Warning);
        const auto edited = applied.last().at(0).value<CBol2>();
        QCOMPARE(edited.name, std::string("Ge"));
        QCOMPARE(edited.bass.emphasis, 2.0f);
        QCOMPARE(edited.duration, 0.5f);

        sink.Clear();
        pane.BassEmphasisEdit()->setText(QStringLiteral("41"));
        pane.OnApply();
        QCOMPARE(sink.Messages().at(0).text, std::string("Enter a number between -40 and 40."));
    }
};

QTEST_MAIN(BolPaneTest)
#include "BolPaneTest.moc"
