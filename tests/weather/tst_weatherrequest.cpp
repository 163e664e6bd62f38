#include "apperror.h"
#include "sampleweatherservice.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QtTest>

using namespace nimbrel;

// The request address, down to the bytes that reach the server.
class TestWeatherRequest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setServiceBaseUrlForTesting(QString()); }

    void encodeQueryValue_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("letters and digits") << "Abc09"
                                            << "Abc09";
        QTest::newRow("unreserved and comma") << "a-b.c_d~e,f"
                                              << "a-b.c_d~e,f";
        QTest::newRow("space") << "New York"
                               << "New%20York";
        QTest::newRow("comma and space") << "London, UK"
                                         << "London,%20UK";
        QTest::newRow("plus") << "a+b"
                              << "a%2Bb";
        QTest::newRow("ampersand and equals") << "Paris&units=metric"
                                              << "Paris%26units%3Dmetric";
        QTest::newRow("hash") << "a#b"
                              << "a%23b";
        QTest::newRow("percent") << "100%"
                                 << "100%25";
        QTest::newRow("question mark") << "why?"
                                       << "why%3F";
        QTest::newRow("slash and quote") << "a/\"b"
                                         << "a%2F%22b";
        QTest::newRow("e acute") << QString::fromUtf8("é") << "%C3%A9";
        QTest::newRow("outside the BMP") << QString::fromUtf8("\U0001F600") << "%F0%9F%98%80";
        QTest::newRow("control character") << "a\tb\n"
                                           << "a%09b%0A";
        QTest::newRow("empty") << ""
                               << "";
    }
    void encodeQueryValue() {
        QFETCH(QString, value);
        QFETCH(QString, encoded);
        QCOMPARE(nimbrel::encodeQueryValue(value), encoded);
    }

    void requestUrl() {
        QCOMPARE(
            weatherRequestUrl(QStringLiteral("https://api.example.org/"),
                              QStringLiteral("New York"), QStringLiteral("k&y")),
            QStringLiteral("https://api.example.org/data/2.5/weather?q=New%20York&APPID=k%26y"));
    }

    void serviceBase() {
        const QString built = serviceBaseUrl();
        QVERIFY(!built.endsWith(QLatin1Char('/')));
        QVERIFY(QStringLiteral(NIMBREL_SERVICE_URL).startsWith(built));
        setServiceBaseUrlForTesting(QStringLiteral("http://127.0.0.1:1234/"));
        QCOMPARE(serviceBaseUrl(), QStringLiteral("http://127.0.0.1:1234"));
        setServiceBaseUrlForTesting(QString());
        QCOMPARE(serviceBaseUrl(), built);
    }

    // The real service is asked over HTTPS.
    void defaultServiceIsHttps() {
        if (!serviceBaseUrl().contains(QLatin1String("openweathermap.org")))
            QSKIP("built for another service");
        QVERIFY(serviceBaseUrl().startsWith(QLatin1String("https://")));
    }

    // What the server receives is exactly the encoded address: no escape is undone or added on
    // the way, so a location can never add a parameter of its own.
    void onTheWire_data() {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("target");
        QTest::newRow("London, UK") << "London, UK"
                                    << "demo-key"
                                    << "/data/2.5/weather?q=London,%20UK&APPID=demo-key";
        QTest::newRow("New York") << "New York"
                                  << "demo-key"
                                  << "/data/2.5/weather?q=New%20York&APPID=demo-key";
        QTest::newRow("injected parameter")
            << "Paris&units=metric"
            << "demo-key"
            << "/data/2.5/weather?q=Paris%26units%3Dmetric&APPID=demo-key";
        QTest::newRow("every reserved sign")
            << "a+b#c?d=e%f/g"
            << "k y"
            << "/data/2.5/weather?q=a%2Bb%23c%3Fd%3De%25f%2Fg&APPID=k%20y";
        QTest::newRow("outside ASCII") << QString::fromUtf8("Zürich") << "demo-key"
                                       << "/data/2.5/weather?q=Z%C3%BCrich&APPID=demo-key";
        QTest::newRow("unreserved") << "St.-Jean_~"
                                    << "demo-key"
                                    << "/data/2.5/weather?q=St.-Jean_~&APPID=demo-key";
        QTest::newRow("no key") << "San Diego"
                                << ""
                                << "/data/2.5/weather?q=San%20Diego&APPID=";
    }
    void onTheWire() {
        QFETCH(QString, location);
        QFETCH(QString, key);
        QFETCH(QString, target);
        sample::SampleWeatherService service;
        QVERIFY(service.listen());
        Transfer transfer;
        try {
            transfer.fetchBody(weatherRequestUrl(service.baseUrl(), location, key));
        } catch (const AppError& error) {
            QFAIL(qPrintable(error.description()));
        }
        QCOMPARE(service.requestLines(),
                 QStringList{QStringLiteral("GET %1 HTTP/1.1").arg(target)});
    }
};

QTEST_GUILESS_MAIN(TestWeatherRequest)
#include "tst_weatherrequest.moc"
