// The About box with its hyperlink, and Help from the menu and the notation
// pane.
#include "AppTestSupport.h"

#include "app/HelpPage.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/panes/TaalTextView.h"

#include <QAction>
#include <QPushButton>
#include <QStandardPaths>

using namespace lorvanta;
using namespace lorvanta::test;

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void aboutBox() {
        AppFixture fixture;
        const QUrl address(QStringLiteral("https://help.example/lorvanta"));
        CAboutDialog about(address, fixture.sink, fixture.shell.Services().openUrl);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));

        CHyperLink& link = *about.Link();
        QCOMPARE(link.palette().color(QPalette::WindowText), CHyperLink::LinkColour());

        // The desktop refuses: its reason is shown and the link stays unvisited.
        fixture.shell.urlError = QStringLiteral("No browser.");
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(fixture.sink.Texts(),
                 std::vector<std::string>{"Unable to open hyperlink:\n\nNo browser."});
        QVERIFY(!link.IsVisited());
        QVERIFY(about.isVisible());

        fixture.shell.urlError.reset();
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(fixture.shell.urlsOpened, (QList<QUrl>{address, address}));
        QVERIFY(link.IsVisited());
        QCOMPARE(link.palette().color(QPalette::WindowText), CHyperLink::VisitedColour());
        QVERIFY(about.isVisible());

        // A click anywhere else closes the box.
        QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!about.isVisible());
    }

    void helpOpensTheShippedPage() {
        AppFixture fixture;
        const auto app = fixture.Start();
        app->MainFrame()->Commands().Action(kCmdHelp)->trigger();
        QCOMPARE(fixture.shell.urlsOpened.size(), 1);
        const QUrl page = fixture.shell.urlsOpened[0];
        QVERIFY(page.isLocalFile());
        QFile file(page.toLocalFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray html = file.readAll();
        QVERIFY(html.contains("<h2 id=\"notation\">The notation</h2>"));

        // The notation pane's Help does the same.
        app->MainFrame()->GetTextView()->HelpButton()->click();
        QCOMPARE(fixture.shell.urlsOpened.size(), 2);
        QCOMPARE(fixture.shell.urlsOpened[1], page);
    }

    void helpAddressIsConfiguration() {
        AppFixture fixture;
        OpenApplicationSettings()->setValue(kHelpAddressValue, "https://help.example/");
        QCOMPARE(HelpAddress(), QUrl(QStringLiteral("https://help.example/")));

        const auto app = fixture.Start();
        fixture.shell.urlError = QStringLiteral("No browser.");
        app->MainFrame()->OnHelp();
        QCOMPARE(fixture.sink.Texts(),
                 std::vector<std::string>{"Unable to open the help page:\n\nNo browser."});
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
