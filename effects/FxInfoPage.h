#pragma once

#include <QString>
#include <QUrl>

// Where an effect's description page lives, and what stands in for it when the
// maker's web server cannot be reached. Window-free.
namespace zendal {

// The maker's web server: the environment variable ZENDAL_WEB_BASE when set,
// else the address the editor was built with. No trailing slash.
QString webBase();

// base + "/download/zendal/fxinfo/" + display name + "-info.html". The display
// name is one path segment, percent-encoded as a browser encodes it (spaces
// become %20; "+" and "-" stay).
QUrl fxInfoPageUrl(const QString& displayName);

// The catalogue's own description of the effect (resource
// format_resource_name(display) + "_INFO") with a first line saying that it is
// the offline copy; "No description available offline." when there is none.
QString offlineDescriptionHtml(const QString& displayName);

// True when the page may be fetched from this address: always in the editor;
// while the test suite runs (ZENDAL_TEST set), only from the loopback address,
// so that no test ever reaches the network.
bool mayFetch(const QUrl& url);

}  // namespace zendal
