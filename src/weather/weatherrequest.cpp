#include "weatherrequest.h"

#include <QUrl>

namespace nimbrel {

namespace {

QString& baseOverride() {
    static QString base;
    return base;
}

QString withoutTrailingSlash(QString base) {
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

} // namespace

QString serviceBaseUrl() {
    if (!baseOverride().isEmpty())
        return baseOverride();
    return withoutTrailingSlash(QString::fromUtf8(builtInServiceUrl()));
}

void setServiceBaseUrl(const QString& base) {
    baseOverride() = withoutTrailingSlash(base);
}

QString encodeQueryValue(const QString& value) {
    // The comma stays as it is: the service reads "city,country" from it.
    return QString::fromLatin1(QUrl::toPercentEncoding(value, ","));
}

QString weatherRequestUrl(const QString& base, const QString& location, const QString& apiKey) {
    return withoutTrailingSlash(base) + QLatin1String("/data/2.5/weather?q=") +
           encodeQueryValue(location) + QLatin1String("&APPID=") + encodeQueryValue(apiKey);
}

} // namespace nimbrel
