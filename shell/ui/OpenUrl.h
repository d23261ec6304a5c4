#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace zendal {

// Opens an address in the user's default web browser. False when the desktop
// could not hand it to one.
bool OpenURL(const QString& address);

// Tests: record addresses instead of starting a browser (empty function
// restores), and make OpenURL report that no browser could be started.
void setUrlOpenerForTesting(std::function<void(const QUrl&)> opener);
void setUrlOpenerFailsForTesting(bool fails);

}  // namespace zendal
