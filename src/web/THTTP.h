#pragma once

// The HTTP retrieval component: fetches one document at a time and reports it
// through docOutput as begin (1), pieces of data (3) and end (5). Everything is
// asynchronous on the thread that owns the object; no event is ever delivered
// from inside getDoc or cancel.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

namespace web {

struct DocOutput {
    int state = 0;               // 1 begin, 3 a piece of data, 5 end
    qint64 bytesTransferred = 0; // body bytes so far
    QByteArray piece;            // the current piece (state 3 only)
    // The piece as text: UTF-8, invalid bytes become U+FFFD. Pieces never end
    // inside a UTF-8 sequence, so the texts of the pieces join up unbroken.
    QString text() const;
};

class THTTP : public QObject {
    Q_OBJECT
public:
    enum TransferState {
        Idle = 0,      // no transfer
        Starting = 1,  // requested, begin event not yet delivered
        Waiting = 2,   // request sent (or following a redirect), no body yet
        Receiving = 3, // body bytes arriving
    };

    // Redirect hops followed for one getDoc before it ends without data.
    static constexpr int kMaxRedirects = 10;

    explicit THTTP(QObject* parent = nullptr);
    ~THTTP() override;

    // Starts fetching url and returns at once; a transfer in progress is
    // cancelled first. Only http and https addresses are fetched; any other
    // address ends at once (begin, then end) without data.
    void getDoc(const QString& url);
    // Stops the transfer in progress; no further event of it is delivered.
    void cancel();
    bool busy() const;
    int transferState() const;

    // The address given to getDoc, unchanged by redirects.
    QString url() const;
    // The host of url() as written there, with ":port" when it has one.
    QString remoteHost() const;

    // The body of the next getDoc is written into this file (created or
    // truncated when the transfer begins, closed before the end event).
    void setDocOutputFileName(const QString& path);
    QString docOutputFileName() const;

    void setProxy(bool use, const QString& host, int port);
    bool proxyUse() const;
    QString proxyHost() const;
    int proxyPort() const;

signals:
    void docOutput(web::THTTP* sender, const web::DocOutput& output);

private:
    void begin(quint64 generation);
    void send(const QUrl& url);
    void onReadyRead(QNetworkReply* reply);
    void onFinished(QNetworkReply* reply);
    bool deliver(const QByteArray& bytes);
    void end();
    void releaseReply();
    void closeFile();
    void applyProxy();

    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    std::unique_ptr<QFile> m_file;
    // Bumped by every getDoc and cancel; a step of a transfer whose generation
    // is no longer current does nothing.
    quint64 m_generation = 0;
    int m_state = Idle;
    QString m_url;
    QString m_nextFileName;
    QString m_fileName;
    qint64 m_bytes = 0;
    QByteArray m_held; // tail of an incomplete UTF-8 sequence, sent with the next piece
    int m_redirects = 0;
    bool m_proxyUse = false;
    QString m_proxyHost;
    int m_proxyPort = 0;
};

} // namespace web

Q_DECLARE_METATYPE(web::DocOutput)
