#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace zendal {

// Opens an address in the user's default web browser.
void OpenURL(const QString& address);

// Tests: record addresses instead of starting a browser (empty function restores).
void setUrlOpenerForTesting(std::function<void(const QUrl&)> opener);

}  // namespace zendal
