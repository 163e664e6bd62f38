#pragma once

#include <QString>

namespace nimbrel {

// The service's base address chosen at build time (NIMBREL_SERVICE_URL), unless this run was
// pointed at another one (the command line, or a test's own server).
QString serviceBaseUrl();
void setServiceBaseUrl(const QString& base);
inline void setServiceBaseUrlForTesting(const QString& base) {
    setServiceBaseUrl(base);
}

// NIMBREL_SERVICE_URL as built. It sits alone in its own source file so that a build of the
// program for end-to-end tests can link a definition of its own in its place.
const char* builtInServiceUrl();

// UTF-8 percent-encoding of one query value: everything but unreserved characters and the
// comma is encoded, so the value can never add or change a query parameter.
QString encodeQueryValue(const QString& value);

// base + "/data/2.5/weather?q=" + location + "&APPID=" + key, both values encoded.
QString weatherRequestUrl(const QString& base, const QString& location, const QString& apiKey);

} // namespace nimbrel
