// The About box with its hyperlink, and Help from the menu and the notation
// pane.
#include "AppTestSupport.h"

#include "app/HelpPage.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/HelpWindow.h"
#include "ui/panes/TaalTextView.h"

#include <QAction>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTimer>

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
        // The desktop refuses: its reason is shown and the link stays unvisited.
        fixture.shell.urlError = QStringLiteral("No browser.");
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(fixture.sink.Texts(),
                 std::vector<std::string>{"Unable to open hyperlink:\n\nNo browser."});
        QVERIFY(!link.IsVisited());

        fixture.shell.urlError.reset();
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(fixture.shell.urlsOpened, (QList<QUrl>{address, address}));
        QVERIFY(link.IsVisited());
    }

    void helpShowsTheShippedPageInItsOwnWindow() {
        AppFixture fixture;
        const auto app = fixture.Start();
        CMainFrame& frame = *app->MainFrame();
        frame.Commands().Action(kCmdHelp)->trigger();
        CHelpWindow* help = frame.HelpWindow();
        QVERIFY(help && help->isVisible());
        QTextBrowser& page = *help->Browser();
        const QUrl address = page.source();
        QVERIFY(address.isLocalFile() && page.toPlainText().contains("The notation"));

        // Web addresses and Open in Browser go to the desktop's browser.
        const QUrl web(QStringLiteral("https://example.org/tabla"));
        help->FollowLink(web);
        QVERIFY(help->OpenInBrowserAction()->isVisible());
        help->OpenInBrowserAction()->trigger();
        QCOMPARE(fixture.shell.urlsOpened, (QList<QUrl>{web, page.source()}));

        QVERIFY(fixture.sink.Messages().empty());
    }

    void withoutABrowserHelpIsNotOfferedThere() {
        AppFixture fixture;
        fixture.shell.browser = false;
        const auto app = fixture.Start();
        app->MainFrame()->OnHelp();
        QVERIFY(!app->MainFrame()->HelpWindow()->OpenInBrowserAction()->isVisible());
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
