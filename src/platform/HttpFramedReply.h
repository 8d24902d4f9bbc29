#pragma once
// A GET over HTTP/1.1 whose message framing this program reads itself.
//
// Qt's client now and then takes a connection that closes between two chunks of a chunked
// body for the end of that body, and finishes the reply without an error: a download of no
// announced length could stop halfway and look complete. This reply speaks HTTP/1.1 over a
// socket of its own and ends only where the server said the body ends: at the closing
// chunk, after "Content-Length" bytes, or, for a body with neither, when the connection
// closes. A connection that closes before that end fails with RemoteHostClosedError.
//
// It behaves as a QNetworkReply towards its reader (readyRead, downloadProgress,
// metaDataChanged, finished; the status and header fields of the final response), follows
// redirects by the request's redirect policy and limit, honours the request's transfer
// time-out (the longest it may go without traffic) and asks for one response per
// connection.

#include <QNetworkReply>
#include <QTimer>

namespace quillon::http {

class FramedReply final : public QNetworkReply {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FramedReply)
public:
    /// Starts the GET of `request` from the event loop.
    explicit FramedReply(const QNetworkRequest &request, QObject *parent = nullptr);
    ~FramedReply() override;

    void abort() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    enum class Stage { connecting, statusLine, headerLines, body, chunkSize, chunkData, chunkEnd, trailers, done };
    enum class Framing { none, length, chunked, untilClose };

    void connectTo(const QUrl &url);
    void sendRequest();
    void receive();
    void endOfStream();
    void socketFailed();

    /// Reads what the input holds; false once the reply has ended or turned to a redirect.
    bool parse();
    bool parseStatusLine(const QByteArray &line);
    bool headersDone();
    bool followRedirect();
    std::optional<QByteArray> takeLine();
    void deliver(qint64 count);

    void succeed();
    void fail(NetworkError code, const QString &detail);
    void dropSocket();
    /// Emits what the last pass produced: data, then the end.
    void settle();

    QAbstractSocket *m_socket = nullptr;
    QTimer m_idle;
    int m_redirects = 0;

    Stage m_stage = Stage::connecting;
    Framing m_framing = Framing::none;
    QByteArray m_input;
    qsizetype m_inputAt = 0;
    qint64 m_headBytes = 0;
    qint64 m_remaining = 0; ///< of the body (length framing) or of the current chunk
    qint64 m_received = 0;
    qint64 m_total = -1;
    int m_status = 0;
    QByteArray m_reason;
    QList<QPair<QByteArray, QByteArray>> m_fields;

    QByteArray m_body;
    qsizetype m_bodyAt = 0;
    bool m_delivered = false;
    bool m_ended = false;
    bool m_endSignalled = false;
};

} // namespace quillon::http
