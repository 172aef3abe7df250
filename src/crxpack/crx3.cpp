#include "crx3.h"

#include <QCryptographicHash>

#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace pressbird::crx {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct BioFree {
    void operator()(BIO *bio) const { BIO_free(bio); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

Key readPrivateKey(const QByteArray &pem, QString *why) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
        if (why)
            *why = u"not an RSA private key in PEM"_qs;
        return nullptr;
    }
    return key;
}

std::optional<QByteArray> publicDer(EVP_PKEY *key) {
    unsigned char *der = nullptr;
    const int size = i2d_PUBKEY(key, &der);
    if (size <= 0)
        return std::nullopt;
    QByteArray out(reinterpret_cast<const char *>(der), size);
    OPENSSL_free(der);
    return out;
}

// Protocol buffers, the little of them a CRX header needs.
void appendVarint(QByteArray &out, quint64 value) {
    while (value >= 0x80) {
        out.append(char((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.append(char(value));
}
void appendBytesField(QByteArray &out, quint32 field, const QByteArray &bytes) {
    appendVarint(out, (quint64(field) << 3) | 2); // wire type 2: length-delimited
    appendVarint(out, quint64(bytes.size()));
    out.append(bytes);
}
void appendLittleEndian32(QByteArray &out, quint32 value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((value >> shift) & 0xff));
}

} // namespace

QString extensionId(const QByteArray &publicKeyDer) {
    const QByteArray hash =
        QCryptographicHash::hash(publicKeyDer, QCryptographicHash::Sha256).left(16);
    QString id;
    for (const char byte : hash) {
        const auto value = static_cast<unsigned char>(byte);
        id.append(QChar(u'a' + (value >> 4)));
        id.append(QChar(u'a' + (value & 0x0f)));
    }
    return id;
}

std::optional<QByteArray> publicKeyOf(const QByteArray &privateKeyPem, QString *why) {
    const Key key = readPrivateKey(privateKeyPem, why);
    if (!key)
        return std::nullopt;
    return publicDer(key.get());
}

std::optional<QByteArray> packCrx3(const QByteArray &zip, const QByteArray &privateKeyPem,
                                   QString *why) {
    const Key key = readPrivateKey(privateKeyPem, why);
    if (!key)
        return std::nullopt;
    const std::optional<QByteArray> publicKey = publicDer(key.get());
    if (!publicKey) {
        if (why)
            *why = u"the public key cannot be written"_qs;
        return std::nullopt;
    }

    // SignedData { bytes crx_id = 1; }: the id's 16 bytes.
    QByteArray signedData;
    appendBytesField(signedData, 1,
                     QCryptographicHash::hash(*publicKey, QCryptographicHash::Sha256).left(16));

    // What is signed: a fixed prefix, the signed data with its length, the zip.
    QByteArray message("CRX3 SignedData", 16); // the terminating NUL belongs to it
    appendLittleEndian32(message, quint32(signedData.size()));
    message.append(signedData);
    message.append(zip);

    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    size_t signatureSize = 0;
    if (!context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &signatureSize,
                       reinterpret_cast<const unsigned char *>(message.constData()),
                       size_t(message.size())) != 1) {
        if (why)
            *why = u"the key cannot sign"_qs;
        return std::nullopt;
    }
    QByteArray signature(qsizetype(signatureSize), '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()),
                       &signatureSize, reinterpret_cast<const unsigned char *>(message.constData()),
                       size_t(message.size())) != 1) {
        if (why)
            *why = u"the key cannot sign"_qs;
        return std::nullopt;
    }
    signature.truncate(qsizetype(signatureSize));

    // CrxFileHeader { repeated AsymmetricKeyProof sha256_with_rsa = 2;
    //                 bytes signed_header_data = 10000; }
    QByteArray proof;
    appendBytesField(proof, 1, *publicKey);
    appendBytesField(proof, 2, signature);
    QByteArray header;
    appendBytesField(header, 2, proof);
    appendBytesField(header, 10000, signedData);

    QByteArray crx("Cr24");
    appendLittleEndian32(crx, 3);
    appendLittleEndian32(crx, quint32(header.size()));
    crx.append(header);
    crx.append(zip);
    return crx;
}

} // namespace pressbird::crx
