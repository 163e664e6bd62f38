#include "readsetting.h"

namespace nimbrel {

QString readSetting(const QString& key, const char* defaultText) {
    return readSetting(key, QString::fromUtf8(defaultText));
}

QString readSetting(const QString& key, qint64 defaultNumber) {
    return readSetting(key, QString::number(defaultNumber));
}

} // namespace nimbrel
