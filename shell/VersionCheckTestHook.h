#pragma once

#include <QString>

// Linked into test executables only, never into the programs: lets a test's
// loopback HTTPS server be trusted by the version check.
namespace zendal::update {

// Trusts the certificates of a PEM file in addition to the system's. False
// when the file holds none.
bool trustCertificatesForTesting(const QString& pemFile);
void clearTrustForTesting();

}  // namespace zendal::update
