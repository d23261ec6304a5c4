#include "effects/FxInfoPage.h"

#include <QRegularExpression>

#include "effects/EffectCatalogue.h"
#include "resources/ResourceStore.h"

#ifndef ZENDAL_WEB_BASE
#define ZENDAL_WEB_BASE "https://www.tavrel.com"
#endif

namespace zendal {

QString webBase() {
    QString base = qEnvironmentVariableIsSet("ZENDAL_WEB_BASE")
                       ? qEnvironmentVariable("ZENDAL_WEB_BASE")
                       : QStringLiteral(ZENDAL_WEB_BASE);
    while (base.endsWith(QLatin1Char('/'))) base.chop(1);
    return base;
}

QUrl fxInfoPageUrl(const QString& displayName) {
    QUrl url(webBase());
    // The name is taken as one decoded path segment, so that "?", "#" or "%"
    // in a name cannot turn into a query, a fragment or an escape.
    url.setPath(url.path(QUrl::FullyDecoded) + QStringLiteral("/download/zendal/fxinfo/") +
                    displayName + QStringLiteral("-info.html"),
                QUrl::DecodedMode);
    return url;
}

QString offlineDescriptionHtml(const QString& displayName) {
    const auto page =
        ResourceStore::instance().read(format_resource_name(displayName) + QStringLiteral("_INFO"));
    if (!page || page->trimmed().isEmpty())
        return QStringLiteral("<p>No description available offline.</p>");

    const QString note = QStringLiteral(
        "<p><i>Offline copy: the description page could not be loaded from the web server, so the "
        "editor's own copy is shown.</i></p>");
    QString html = QString::fromUtf8(*page);
    static const QRegularExpression body(QStringLiteral("<body[^>]*>"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = body.match(html);
    if (m.hasMatch()) return html.insert(m.capturedEnd(), note);
    return note + html;
}

bool mayFetch(const QUrl& url) {
    if (!qEnvironmentVariableIsSet("ZENDAL_TEST")) return true;
    const QString host = url.host();
    if (host == QLatin1String("localhost") || host == QLatin1String("::1")) return true;
    // 127.x.y.z, written as an address (not a name that merely starts with 127).
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4 || parts[0] != QLatin1String("127")) return false;
    for (const QString& part : parts) {
        bool ok = false;
        const int v = part.toInt(&ok);
        if (!ok || v < 0 || v > 255) return false;
    }
    return true;
}

}  // namespace zendal
