#include "ui/dialogs/HelpWindow.h"

#include "model/Messages.h"

#include <QAction>
#include <QKeySequence>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

namespace lorvanta {

CHelpWindow::CHelpWindow(MessageSink& sink, CHyperLink::Opener browser, QWidget* parent)
    : QWidget(parent, Qt::Window), m_sink(sink), m_openInDesktop(std::move(browser)) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setObjectName(QStringLiteral("helpWindow"));
    resize(720, 640);

    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_browser = new QTextBrowser(this);
    // Links are followed here, so that the help's own stay in the window.
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);

    m_back = bar->addAction(QStringLiteral("Back"), m_browser, &QTextBrowser::backward);
    m_back->setShortcuts(QKeySequence::Back);
    m_back->setEnabled(false);
    m_forward = bar->addAction(QStringLiteral("Forward"), m_browser, &QTextBrowser::forward);
    m_forward->setShortcuts(QKeySequence::Forward);
    m_forward->setEnabled(false);
    m_openInBrowser =
        bar->addAction(QStringLiteral("Open in Browser"), this, &CHelpWindow::OpenInBrowser);
    m_openInBrowser->setVisible(static_cast<bool>(m_openInDesktop));
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &CHelpWindow::FollowLink);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_browser);
}

bool CHelpWindow::IsLocal(const QUrl& address) {
    return address.isLocalFile() || address.scheme() == QStringLiteral("qrc");
}

void CHelpWindow::ShowPage(const QUrl& address) {
    if (m_browser->source() != address)
        m_browser->setSource(address);
    show();
    raise();
    activateWindow();
}

void CHelpWindow::FollowLink(const QUrl& link) {
    const QUrl target = m_browser->source().resolved(link);
    if (IsLocal(target))
        m_browser->setSource(target);
    else
        OpenOutside(target);
}

void CHelpWindow::OpenInBrowser() {
    OpenOutside(m_browser->source());
}

void CHelpWindow::OpenOutside(const QUrl& address) {
    const std::optional<QString> error =
        m_openInDesktop ? m_openInDesktop(address)
                        : std::optional<QString>(QStringLiteral("The desktop has no web browser."));
    if (error)
        m_sink.Show(
            {MessageKind::Warning, std::string(CHyperLink::kOpenFailed) + error->toStdString()});
}

} // namespace lorvanta
