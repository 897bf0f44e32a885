#pragma once

// The HTTP retrieval component: fetches one document at a time and reports it
// through docOutput as begin (1), pieces of data (3) and end (5). Everything is
// asynchronous on the thread that owns the object; no event is ever delivered
// from inside getDoc or cancel.
//
// A transfer either delivers its whole document or fails: a failed one ends
// with DocOutput::error set, and a response outside 200-299 delivers no
// piece at all. A body written into an output file goes into a temporary
// file beside it, renamed into place only when complete, so no partial file
// ever stands under the file's name.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

namespace web {

struct DocOutput {
    int state = 0;               // 1 begin, 3 a piece of data, 5 end
    qint64 bytesTransferred = 0; // body bytes so far
    QByteArray piece;            // the current piece (state 3 only)
    // At the end: why the document did not arrive whole (an HTTP status
    // outside 200-299, a network error, a body past its cap, an output file
    // that could not be written); empty when it did.
    QString error;
    // The piece as text: UTF-8, invalid bytes become U+FFFD. Pieces never end
    // inside a UTF-8 sequence, so the texts of the pieces join up unbroken.
    QString text() const;
};

// Whether a body written into an output file is kept, decided once it is
// whole and before it takes its name: the name to take (empty: the one
// given), or why it is refused (the transfer then ends without data and
// leaves no file).
struct OutputVerdict {
    QString fileName;
    QString refusal;
};
// head: the body's first bytes (THTTP::kHeadBytes at most); contentType: the
// response's Content-Type as sent, empty when it had none.
using OutputCheck =
    std::function<OutputVerdict(const QByteArray& head, const QByteArray& contentType, const QString& fileName)>;

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
    // The bytes of a body's beginning kept for head().
    static constexpr qsizetype kHeadBytes = 16;

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

    // The body of the next getDoc is written into this file (complete and
    // closed before the end event).
    void setDocOutputFileName(const QString& path);
    QString docOutputFileName() const;
    // Whether the output file replaces a file of its name. When not (the
    // default), the body takes the first free name "<name>_<k><extension>".
    void setReplaceExisting(bool replace) { m_replace = replace; }
    // The file the last transfer's body went into when it arrived whole;
    // empty otherwise.
    QString savedFileName() const { return m_savedFileName; }
    // The check of the next getDoc's output file (see OutputCheck); none:
    // the file is kept under its name.
    void setOutputCheck(OutputCheck check) { m_nextCheck = std::move(check); }
    // The Content-Type of the current or last response that was not a
    // redirect; empty when it had none.
    QByteArray contentType() const { return m_contentType; }
    // The first kHeadBytes bytes of the current or last body.
    QByteArray head() const { return m_head; }
    // The largest body taken; a longer one ends the transfer as a failure.
    // 0: no cap.
    void setMaxBodySize(qint64 bytes) { m_maxBody = bytes; }
    qint64 maxBodySize() const { return m_maxBody; }
    // The temporary files of unfinished transfers into a directory start
    // with this ("<prefix>XXXXXX.part").
    static QString partialFilePrefix();

    // "Quillon/<version> (+<the project's page>)", sent with every request.
    static QString userAgent();
    // The HTTP status of the last response that was not a redirect (0: none
    // came), and its Retry-After header (empty when it had none).
    int statusCode() const { return m_status; }
    QByteArray retryAfter() const { return m_retryAfter; }

    void setProxy(bool use, const QString& host, int port);
    bool proxyUse() const;
    QString proxyHost() const;
    int proxyPort() const;

signals:
    void docOutput(web::THTTP* sender, const web::DocOutput& output);

private:
    void begin(quint64 generation);
    void send(const QUrl& url);
    void onMetaData(QNetworkReply* reply);
    void onReadyRead(QNetworkReply* reply);
    void onFinished(QNetworkReply* reply);
    bool deliver(const QByteArray& bytes);
    // Ends the transfer as a failure: no more data, no file.
    void fail(const QString& reason);
    void end();
    void releaseReply();
    // Drops the temporary file of an unfinished transfer.
    void discardFile();
    // Puts the complete temporary file under its name; false with the reason.
    bool placeFile(QString* reason);
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
    OutputCheck m_nextCheck;
    OutputCheck m_check;
    QByteArray m_contentType;
    QByteArray m_head;
    QString m_savedFileName;
    QString m_error;
    bool m_replace = false;
    qint64 m_maxBody = 0;
    qint64 m_bytes = 0;
    QByteArray m_held; // tail of an incomplete UTF-8 sequence, sent with the next piece
    int m_redirects = 0;
    int m_status = 0;
    QByteArray m_retryAfter;
    bool m_proxyUse = false;
    QString m_proxyHost;
    int m_proxyPort = 0;
};

} // namespace web

Q_DECLARE_METATYPE(web::DocOutput)
