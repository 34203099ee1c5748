// A bol grid on its own window over a session of its own: the Taal's bols
// named and timed as a test asks, with vibhags, shown at a size.
#pragma once

#include "AppTestSupport.h"

#include "app/AppSettings.h"
#include "audio/SampleBank.h"
#include "gridlayout/GridLayoutSupport.h"
#include "model/LorvantaDoc.h"
#include "model/Vibhags.h"
#include "session/LorvantaSession.h"
#include "ui/grid/LorvantaView.h"

#include <functional>
#include <memory>
#include <vector>

namespace lorvanta::test {

struct GridFixture {
    CSampleBank bank;
    RecordingMessageSink sink;
    AppSettings settings;
    CLorvantaSession session{bank, sink, OpenChosenOutput};
    CLorvantaDoc& doc = session.Document();
    std::unique_ptr<CLorvantaView> view;

    GridFixture(const std::vector<float>& durations, QSize size, const char* vibhags,
                const std::function<const char*(int)>& nameOf) {
        doc.Taal().SetName("Teentaal");
        for (std::size_t i = 0; i < durations.size(); ++i) {
            const CBol2 bol(nameOf(static_cast<int>(i)), 0, durations[i], Tabla);
            doc.InsertBol(doc.Taal().Count() - 1, &bol);
        }
        doc.SetEmpty(durations.empty());
        doc.SetModified(false);
        WriteVibhagRecord(doc.Params(), Vibhags(vibhags));
        view = std::make_unique<CLorvantaView>(session, sink, settings);
        view->resize(size);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        session.OnInitialUpdate();
        Flush();
    }
    // Playing stopped at once: the position display stays, at a place the
    // test sets.
    void Pause() {
        session.Play();
        session.Pause();
        QVERIFY(session.IsPaused());
    }
};

} // namespace lorvanta::test
