#pragma once

#include <QString>
#include <optional>

namespace nimbrel {

// When the service made the observation a reply reports: its top-level "dt", in seconds since
// 1970 (UTC). Nothing when the reply is not a JSON object or gives no usable time.
std::optional<qint64> observationTime(const QString& reply);

} // namespace nimbrel
