#include "apperror.h"

#include <utility>

namespace nimbrel {

AppError::AppError(QString description)
    : m_description(std::move(description)), m_utf8(m_description.toUtf8()) {}

AppError AppError::typeMismatch() {
    return AppError(QStringLiteral("Type mismatch"));
}

AppError AppError::overflow() {
    return AppError(QStringLiteral("Overflow"));
}

AppError AppError::invalidPropertyValue() {
    return AppError(QStringLiteral("Invalid property value"));
}

AppError AppError::fileNotFound() {
    return AppError(QStringLiteral("File not found"));
}

} // namespace nimbrel
