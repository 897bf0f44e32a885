#pragma once

// The HTML display component: a web view filling the widget. Every navigation
// of its main frame, whether asked for by requestDoc, by a clicked link or by a
// script, is reported through doRequestDoc and then carried out.

#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

class QWebEngineView;

namespace web {

// The page of THTML: reports navigation requests of the main frame, and
// follows http and https only.
class THTMLPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit THTMLPage(QObject* parent = nullptr);

    // Whether a navigation to url is carried out.
    static bool isAllowed(const QUrl& url, bool isMainFrame);

signals:
    void navigationRequested(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

class THTML : public QWidget {
    Q_OBJECT
public:
    explicit THTML(QWidget* parent = nullptr);

    // Fetches and shows the address; an address without a scheme is taken as
    // a web address ("example.com" becomes "http://example.com").
    void requestDoc(const QString& url);
    // The address of the document shown (or being loaded).
    QString url() const;
    QWebEngineView* view() const;

signals:
    void doRequestDoc(const QString& url);
    void beginRetrieval();
    void endRetrieval();

private:
    QWebEngineView* m_view = nullptr;
};

} // namespace web
