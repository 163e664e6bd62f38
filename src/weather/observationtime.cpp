#include "observationtime.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

namespace nimbrel {

namespace {

// Far beyond any real observation and well inside what QDateTime takes, so a silly value reads
// as no time at all rather than as a date nobody can show.
constexpr double kLatestSeconds = 1e11;

} // namespace

std::optional<qint64> observationTime(const QString& reply) {
    const QJsonValue dt =
        QJsonDocument::fromJson(reply.toUtf8()).object().value(QLatin1String("dt"));
    if (!dt.isDouble())
        return std::nullopt;
    const double seconds = dt.toDouble();
    if (!std::isfinite(seconds) || seconds < 0 || seconds > kLatestSeconds)
        return std::nullopt;
    return qint64(seconds);
}

} // namespace nimbrel
