#include "shell/VersionCheckTestHook.h"

#include <QSslCertificate>

#include "shell/VersionCheck.h"

namespace zendal::update {

bool trustCertificatesForTesting(const QString& pemFile) {
    const QList<QSslCertificate> certs = QSslCertificate::fromPath(pemFile, QSsl::Pem);
    additionalTrust().append(certs);
    return !certs.isEmpty();
}

void clearTrustForTesting() {
    additionalTrust().clear();
}

}  // namespace zendal::update
