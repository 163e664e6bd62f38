// https on Windows goes through the system's own TLS, Schannel: Qt's backend for it is the one
// loaded, OpenSSL is nowhere, and a request starts with a TLS handshake.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class TestTlsWin : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void schannelIsTheOnlyBackend() {
        QVERIFY(QSslSocket::supportsSsl());
        QCOMPARE(QSslSocket::activeBackend(), QStringLiteral("schannel"));
        QVERIFY(!QSslSocket::availableBackends().contains(QStringLiteral("openssl")));
    }

    void httpsRequestIsAHandshake() {
        // A plain web server, as a wrongly given port would be: it answers the handshake's
        // first bytes with a plain reply.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray received;
        connect(&server, &QTcpServer::newConnection, &server, [&server, &received] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, &received] {
                received += socket->readAll();
                socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n"
                              "Connection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
        });
        QNetworkAccessManager manager;
        QNetworkReply* reply = manager.get(QNetworkRequest(
            QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(server.serverPort()))));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 20000);
        // It fails (how depends on the TLS stack's reading of a plain reply), and what reached
        // the server was a TLS record of the handshake kind (22), not a request line.
        QVERIFY(reply->error() != QNetworkReply::NoError);
        QVERIFY(!received.isEmpty());
        QCOMPARE(int(received.at(0)), 22);
        delete reply;
    }
};

QTEST_GUILESS_MAIN(TestTlsWin)
#include "tst_tls_win.moc"
