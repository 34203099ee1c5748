// File > Save Sound: the Taal image at the tempo and pitch in force, written
// as a file other programs can play, read back here with libsndfile.
#include "app/SoundExport.h"
#include "audio/SampleBank.h"
#include "audio/TaalRenderer.h"
#include "model/LorvantaDoc.h"
#include "model/Messages.h"
#include "persistence/TaalFile.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cmath>

using namespace lorvanta;

namespace {

struct SoundInfo {
    bool opened = false;
    sf_count_t frames = 0;
    int rate = 0;
    int channels = 0;
    int format = 0;
};

SoundInfo ReadBack(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<short> samples(static_cast<std::size_t>(info.frames));
    const sf_count_t read = sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    return {read == info.frames, info.frames, info.samplerate, info.channels,
            info.format & SF_FORMAT_TYPEMASK};
}

// Teentaal open and rendered, as the grid holds it.
struct Session {
    Session() {
        OpenTaalFile(doc, LORVANTA_SOURCE_DIR "/Taals/Teentaal.tal", sink);
        renderer.SetTempo(0.6f);
        renderer.InitialUpdate();
    }
    // A chooser that records what it was offered and answers `answer`.
    SoundFileChooser Chooser(const QString& answer) {
        return [this, answer](QWidget*, const QString& suggested) {
            offered.append(suggested);
            return answer;
        };
    }

    RecordingMessageSink sink;
    CLorvantaDoc doc;
    CSampleBank bank;
    CTaalRenderer renderer{doc.Taal(), bank, sink};
    QStringList offered;
};

} // namespace

class SoundExportTest : public QObject {
    Q_OBJECT

private slots:
    void writesPlayableWavAndFlac() {
        QTemporaryDir dir;
        Session session;

        // 120 bpm: every bol's slot shrinks, the file follows.
        session.renderer.SetTempo(0.5f);
        const QString wav = dir.filePath(QStringLiteral("teen.wav"));
        QVERIFY(SaveSound(session.doc, session.renderer, session.sink, session.Chooser(wav)));
        QCOMPARE(session.offered,
                 QStringList{QStringLiteral(LORVANTA_SOURCE_DIR "/Taals/Teentaal.wav")});
        const SoundInfo wavInfo = ReadBack(wav);
        QCOMPARE(wavInfo.format, SF_FORMAT_WAV);
        QCOMPARE(wavInfo.rate, 22050);
        QCOMPARE(wavInfo.frames, sf_count_t{16 * 11025}); // 16 beats at 120 bpm
        QCOMPARE(static_cast<std::uint64_t>(QFileInfo(wav).size()), session.renderer.ImageSize());

        // One semitone up plays faster; the tempo stays put, so the frames
        // follow the rate. FLAC by its extension, whatever its case.
        session.renderer.SetPitch(static_cast<float>(std::pow(2.0, 1.0 / 12.0)));
        const QString flac = dir.filePath(QStringLiteral("teen.FLAC"));
        QVERIFY(SaveSound(session.doc, session.renderer, session.sink, session.Chooser(flac)));
        const SoundInfo flacInfo = ReadBack(flac);
        QCOMPARE(flacInfo.format, SF_FORMAT_FLAC);
        QCOMPARE(flacInfo.rate, 23361);
        QCOMPARE(static_cast<std::uint64_t>(flacInfo.frames), session.renderer.TotalSamples());
        QVERIFY(session.sink.Messages().empty());
    }

    void failuresAreShownAndLeaveNoFile() {
        QTemporaryDir dir;
        Session session;
        // A name without an extension becomes a WAV file.
        QVERIFY(SaveSound(session.doc, session.renderer, session.sink,
                          session.Chooser(dir.filePath(QStringLiteral("loop")))));
        QVERIFY(ReadBack(dir.filePath(QStringLiteral("loop.wav"))).opened);

        const QString mp3 = dir.filePath(QStringLiteral("teen.mp3"));
        QVERIFY(!SaveSound(session.doc, session.renderer, session.sink, session.Chooser(mp3)));
        QVERIFY(QString::fromStdString(session.sink.Messages().at(0).text)
                    .startsWith(QStringLiteral("Cannot write sound file ") + mp3));
        QVERIFY(!QFileInfo::exists(mp3));
    }

    void cancelAndEmptyTaalWriteNothing() {
        Session session;
        // An empty Taal: disabled, and not even a file name is asked for.
        session.doc.DeleteContents();
        session.doc.SetEmpty(true);
        QVERIFY(!CanSaveSound(session.doc));
        session.offered.clear();
        QVERIFY(!SaveSound(session.doc, session.renderer, session.sink,
                           session.Chooser(QStringLiteral("/tmp/x.wav"))));
        QVERIFY(session.offered.isEmpty());
    }
};

QTEST_MAIN(SoundExportTest)
#include "SoundExportTest.moc"
