#pragma once

#include <QString>

namespace nimbrel {

// The service's base address chosen at build time (NIMBREL_SERVICE_URL).
QString serviceBaseUrl();

// UTF-8 percent-encoding of one query value: everything but unreserved characters and the
// comma is encoded, so the value can never add or change a query parameter.
QString encodeQueryValue(const QString& value);

// base + "/data/2.5/weather?q=" + location + "&APPID=" + key, both values encoded.
QString weatherRequestUrl(const QString& base, const QString& location, const QString& apiKey);

} // namespace nimbrel
