#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pressbird::crx {

// A Chromium extension id: the first 16 bytes of the SHA-256 of the public
// key (DER SubjectPublicKeyInfo), each nibble written as a letter a-p.
QString extensionId(const QByteArray &publicKeyDer);

// The public key of an RSA private key in PEM, as DER SubjectPublicKeyInfo;
// nullopt when the text is no such key.
std::optional<QByteArray> publicKeyOf(const QByteArray &privateKeyPem, QString *why = nullptr);

// A CRX3 container: "Cr24", version 3, the header (the public key, the
// signature of the signed data and the zip, and the signed data naming the
// id), then the zip as it is. nullopt, with why, when the key cannot sign.
std::optional<QByteArray> packCrx3(const QByteArray &zip, const QByteArray &privateKeyPem,
                                   QString *why = nullptr);

} // namespace pressbird::crx
