#include "core/Errors.h"

namespace zendal {

ConversionError::ConversionError(const QString& text)
    : std::runtime_error(
          QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString()) {}

}  // namespace zendal
