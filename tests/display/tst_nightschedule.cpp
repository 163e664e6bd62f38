#include "burninwalk.h"
#include "nightschedule.h"

#include <QTest>

#include <tuple>
#include <utility>

using namespace nimbrel;

class TestNightSchedule : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nightsFollowTheWallClock() {
        const QTimeZone zone("Europe/Berlin");
        // Whether 15 January at that time, or that many hours later, lies in the night.
        const auto night = [&](QTime from, QTime to, int hour, int minute, int later = 0) {
            const QDateTime now(QDate(2026, 1, 15), QTime(hour, minute), zone);
            return isNight(now.addSecs(later * 3600), from, to, zone);
        };
        const QTime late(23, 0), early(6, 30), one(13, 0), three(15, 0);
        QVERIFY(!night(late, early, 22, 59) && night(late, early, 23, 0));
        QVERIFY(night(late, early, 3, 0) && !night(late, early, 6, 30));
        QVERIFY(!night(one, three, 12, 59) && night(one, three, 13, 0));
        QVERIFY(night(one, three, 14, 59) && !night(one, three, 15, 0));
        QVERIFY(!night(one, three, 3, 0) && !night(late, late, 23, 0));
        // Asleep for eight hours from 18:00 or from 23:00, it wakes into the night or the day.
        QVERIFY(!night(late, early, 18, 0) && night(late, early, 18, 0, 8));
        QVERIFY(night(late, early, 23, 0) && !night(late, early, 23, 0, 8));
    }

    // Minute by minute across the nights the clocks change: each night starts once and ends once.
    void clockChangesNeitherSkipNorRepeatANight() {
        const QTimeZone zone("Europe/Berlin");
        const QDate spring(2026, 3, 29), autumn(2026, 10, 25);
        const QTime one(1, 0), half(2, 30), five(5, 0);
        const auto utc = [](const QDate& date, int hour, int minute) {
            return QDateTime(date, QTime(hour, minute), QTimeZone::utc());
        };
        // From and To on that date, and the instants the night starts and ends.
        const std::tuple<QDate, QTime, QTime, QDateTime, QDateTime> nights[] = {
            {spring, half, five, utc(spring, 1, 0), utc(spring, 3, 0)},
            {spring, one, half, utc(spring, 0, 0), utc(spring, 1, 0)},
            {autumn, half, five, utc(autumn, 0, 30), utc(autumn, 4, 0)},
            {autumn, one, half, utc(autumn.addDays(-1), 23, 0), utc(autumn, 0, 30)}};
        for (const auto& [date, from, to, start, end] : nights) {
            QList<QDateTime> changes;
            bool was = false;
            for (QDateTime now(date.addDays(-1), QTime(12, 0), zone);
                 now < QDateTime(date, QTime(12, 0), zone); now = now.addSecs(60)) {
                if (std::exchange(was, isNight(now, from, to, zone)) != was)
                    changes.append(now);
            }
            QCOMPARE(changes, (QList<QDateTime>{start, end}));
        }
    }

    // A day of moves on a few screens: within 1% of the middle, a few pixels a move, and back in
    // the middle before the day is out; a screen too small for a pixel's walk stays put.
    void burnInWalk() {
        for (const QSize& size :
             {QSize(800, 480), QSize(3840, 2160), QSize(1080, 1920), QSize(99, 40)}) {
            const QPoint reach(size.width() / 100, size.height() / 100);
            QPoint last = burnInOffset(0, size), furthest;
            QCOMPARE(last, QPoint());
            int inTheMiddle = 0;
            for (qint64 move = 1; move <= 288; ++move) {
                const QPoint now = burnInOffset(move, size);
                QVERIFY(qAbs(now.x()) <= reach.x() && qAbs(now.y()) <= reach.y());
                QVERIFY(qMax(qAbs(now.x() - last.x()), qAbs(now.y() - last.y())) <= 3);
                furthest = {qMax(furthest.x(), qAbs(now.x())), qMax(furthest.y(), qAbs(now.y()))};
                inTheMiddle += now.isNull() ? 1 : 0;
                last = now;
            }
            QVERIFY(inTheMiddle > 0);
            QVERIFY(furthest.x() * 2 >= reach.x() && furthest.y() * 2 >= reach.y());
        }
    }
};

QTEST_MAIN(TestNightSchedule)
#include "tst_nightschedule.moc"
