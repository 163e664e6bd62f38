#pragma once

#include <QHostAddress>
#include <QString>
#include <QTcpServer>

namespace nimbrel::test {

// A local port that nothing listens on: bound once to learn a free number, then released.
inline quint16 closedLocalPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A reply laid out as the service writes it; the temperatures are given as text so a test
// controls their exact digits.
inline QString serviceReply(const QString& temp, const QString& tempMin, const QString& tempMax,
                            const QString& name = QStringLiteral("San Diego"),
                            const QString& description = QStringLiteral("clear sky")) {
    return QStringLiteral(
               R"({"coord":{"lon":-117.1573,"lat":32.7153},"weather":[{"id":800,"main":"Clear",)"
               R"("description":"%5","icon":"01d"}],"base":"stations","main":{"temp":%1,)"
               R"("feels_like":292.61,"temp_min":%2,"temp_max":%3,"pressure":1014,"humidity":52},)"
               R"("visibility":10000,"wind":{"speed":3.6,"deg":270},"clouds":{"all":0},)"
               R"("dt":1690000000,"sys":{"type":2,"id":2019527,"country":"US","sunrise":1689943514,)"
               R"("sunset":1689994331},"timezone":-25200,"id":5391811,"name":"%4","cod":200})")
        .arg(temp, tempMin, tempMax, name, description);
}

} // namespace nimbrel::test
