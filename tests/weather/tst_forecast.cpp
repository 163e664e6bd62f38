#include "forecast.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <QtTest>

using namespace nimbrel;
using namespace Qt::StringLiterals;

namespace {

// 12:00 UTC on 9 December 2024.
const QDateTime kNoon(QDate(2024, 12, 9), QTime(12, 0), QTimeZone::utc());

// A forecast as the service lays it out, cut down to what matters: points given as hours from
// kNoon and kelvin.
QString forecast(const QJsonValue& timezone, const QList<QPair<int, double>>& points) {
    QJsonArray list;
    for (const auto& [hours, kelvin] : points)
        list.append(QJsonObject{{u"dt"_s, kNoon.toSecsSinceEpoch() + hours * 3600},
                                {u"main"_s, QJsonObject{{u"temp"_s, kelvin}}}});
    const QJsonObject city{{u"name"_s, u"Somewhere"_s}, {u"timezone"_s, timezone}};
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{u"list"_s, list}, {u"city"_s, city}}).toJson());
}

} // namespace

// Which points make up "today" at the place, whatever the computer's own time zone.
class TestForecast : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void todayAtThePlace_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("nowHours");           // from kNoon
        QTest::addColumn<QList<double>>("expected"); // low and high; empty for none
        // 01:00 on the 10th there: the day ends at 11:00 UTC on the 10th.
        QTest::newRow("UTC+13") << forecast(13 * 3600, {{-3, 280}, {3, 285}, {21, 296}, {24, 300}})
                                << 0 << QList<double>{285, 296};
        // 20:00 on the 8th there: the day ends at 10:00 UTC.
        QTest::newRow("UTC-10") << forecast(-10 * 3600, {{-3, 287}, {-1, 299}, {0, 281}}) << -6
                                << QList<double>{287, 290};
        // 22:00 on the 8th there: still the 8th alone, to 10:00 UTC on the 9th; tomorrow is
        // the strip's.
        QTest::newRow("late in the evening")
            << forecast(-10 * 3600, {{-3, 287}, {0, 281}, {12, 299}, {24, 270}}) << -4
            << QList<double>{287, 290};
        QTest::newRow("nothing left today") << forecast(0, {{12, 280}}) << 8 << QList<double>{};
        QTest::newRow("points that are no reading")
            << forecast(0, {{-3, 0}, {0, 400}, {3, 295}}) << -6 << QList<double>{290, 295};
        QTest::newRow("no time zone") << forecast(QJsonValue(), {{3, 280}}) << 0 << QList<double>{};
    }
    void todayAtThePlace() {
        QFETCH(QString, reply);
        QFETCH(int, nowHours);
        QFETCH(QList<double>, expected);
        const std::optional<Forecast> read = readForecastReply(reply);
        const std::optional<DayRange> range =
            read ? todayRange(*read, 290.0, kNoon.addSecs(nowHours * 3600)) : std::nullopt;
        const QList<double> found =
            range ? QList<double>{range->low, range->high} : QList<double>{};
        QCOMPARE(found, expected);
    }

    // The strip's days are the place's own, from its today on, whatever the computer's zone.
    void daysAtThePlace_data() {
        QTest::addColumn<int>("offsetHours");
        QTest::addColumn<QStringList>("expected"); // date low-high icon chance, per day
        // 01:00 on the 10th there at kNoon: the 9th there is over, the 10th is today.
        QTest::newRow("UTC+13") << 13
                                << QStringList{u"2024-12-10 281-300 10d 70"_s,
                                               u"2024-12-11 284-284 01d -"_s};
        // 02:00 on the 9th there: the 9th ends at 10:00 UTC on the 10th, before the late point.
        QTest::newRow("UTC-10") << -10
                                << QStringList{u"2024-12-09 281-290 10d 70"_s,
                                               u"2024-12-10 284-300 01d -"_s};
    }
    void daysAtThePlace() {
        QFETCH(int, offsetHours);
        QFETCH(QStringList, expected);
        // Hours from kNoon: one point of the day before, a wet day (two points of rain by day,
        // one clear night), a point at 10:30 UTC that is late today at UTC+13 and early
        // tomorrow at UTC-10, then a dry day.
        struct Point {
            double hours;
            double kelvin;
            const char* icon;
            double pop;
        };
        const QList<Point> points{{-13, 300, "01d", 0},  {0, 290, "10d", 0.7},
                                  {3, 281, "10d", 0.2},  {6, 285, "01n", 0},
                                  {22.5, 300, "01n", 0}, {24, 284, "01d", 0.1}};
        Forecast forecast;
        forecast.utcOffset = offsetHours * 3600;
        for (const Point& p : points)
            forecast.points.append({kNoon.toSecsSinceEpoch() + qint64(p.hours * 3600), p.kelvin,
                                    QLatin1String(p.icon), p.pop});
        QStringList found;
        for (const ForecastDay& day : forecastDays(forecast, kNoon.toSecsSinceEpoch())) {
            const bool wet = day.precipitationChance && *day.precipitationChance >= 0.3;
            found.append(day.date.toString(Qt::ISODate) + u' ' + QString::number(day.low) + u'-' +
                         QString::number(day.high) + u' ' + day.iconCode + u' ' +
                         (wet ? QString::number(qRound(*day.precipitationChance * 100)) : u"-"_s));
        }
        QCOMPARE(found, expected);
    }

    // The morning's low stays once the sun is up, and the place's midnight starts a new day.
    void temperaturesSeenToday() {
        const qint64 midnight =
            QDateTime(QDate(2024, 12, 9), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch() -
            13 * 3600; // midnight at UTC+13
        TemperaturesToday seen;
        QVERIFY(!seen.range(midnight));
        seen.note(275, midnight + 6 * 3600, 13 * 3600);
        seen.note(290, midnight + 14 * 3600, 13 * 3600);
        const std::optional<DayRange> day = seen.range(midnight + 15 * 3600);
        QVERIFY(day);
        QCOMPARE(day->low, 275.0);
        QCOMPARE(day->high, 290.0);
        QVERIFY(!seen.range(midnight + 24 * 3600));
        seen.note(280, midnight + 24 * 3600 + 60, 13 * 3600);
        QCOMPARE(seen.range(midnight + 25 * 3600)->low, 280.0);
    }
};

QTEST_GUILESS_MAIN(TestForecast)
#include "tst_forecast.moc"
