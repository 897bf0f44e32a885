#include "web/THTML.h"

#include <QVBoxLayout>
#include <QWebEngineView>

namespace web {

THTMLPage::THTMLPage(QObject* parent)
    : QWebEnginePage(parent)
{
}

bool THTMLPage::isAllowed(const QUrl& url, bool isMainFrame)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http" || scheme == u"https")
        return true;
    // A frame inside a page may be blank or carry its own inline document;
    // a local file or any other scheme is never opened.
    return !isMainFrame && (scheme == u"about" || scheme == u"data" || scheme == u"blob");
}

bool THTMLPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    Q_UNUSED(type);
    if (!isAllowed(url, isMainFrame))
        return false;
    // Frames inside a page load their own documents; only the page's own
    // document is a request of the view.
    if (isMainFrame)
        emit navigationRequested(url);
    return true;
}

THTML::THTML(QWidget* parent)
    : QWidget(parent)
    , m_view(new QWebEngineView(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    auto* page = new THTMLPage(m_view);
    m_view->setPage(page);
    connect(page, &THTMLPage::navigationRequested, this,
            [this](const QUrl& url) { emit doRequestDoc(url.toString()); });
    connect(page, &QWebEnginePage::loadStarted, this, &THTML::beginRetrieval);
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool) { emit endRetrieval(); });
}

void THTML::requestDoc(const QString& url)
{
    m_view->load(QUrl::fromUserInput(url));
}

QString THTML::url() const { return m_view->url().toString(); }

QWebEngineView* THTML::view() const { return m_view; }

} // namespace web
