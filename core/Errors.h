#pragma once

#include <QString>
#include <stdexcept>

namespace zendal {

// Text that should be a number and is not. The user sees what() as a message;
// the operation that raised it stops there.
class ConversionError : public std::runtime_error {
  public:
    explicit ConversionError(const QString& text);
    QString message() const { return QString::fromStdString(what()); }
};

}  // namespace zendal
