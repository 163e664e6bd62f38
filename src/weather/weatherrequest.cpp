#include "weatherrequest.h"

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

bool keptAsIs(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == ',';
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
    static constexpr char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = value.toUtf8();
    QString encoded;
    encoded.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        if (keptAsIs(c)) {
            encoded += QLatin1Char(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded += QLatin1Char('%');
            encoded += QLatin1Char(hex[byte >> 4]);
            encoded += QLatin1Char(hex[byte & 0x0F]);
        }
    }
    return encoded;
}

QString weatherRequestUrl(const QString& base, const QString& location, const QString& apiKey) {
    return withoutTrailingSlash(base) + QLatin1String("/data/2.5/weather?q=") +
           encodeQueryValue(location) + QLatin1String("&APPID=") + encodeQueryValue(apiKey);
}

} // namespace nimbrel
