#include "picturedb/PasswordHash.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

namespace picturedb {

namespace {

const QString kScheme = QStringLiteral("pbkdf2-sha256");
constexpr int kIterations = 200000;
// A stored count above this is not ours: refuse it rather than spin on it.
constexpr int kMaxIterations = 10000000;
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;

QByteArray derive(const QString& password, const QByteArray& salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              kKeyBytes);
}

struct Parsed {
    int iterations = 0;
    QByteArray salt;
    QByteArray key;
};

bool parse(const QString& stored, Parsed* out)
{
    const QStringList parts = stored.split(u'$');
    if (parts.size() != 4 || parts[0] != kScheme)
        return false;
    bool ok = false;
    out->iterations = parts[1].toInt(&ok);
    if (!ok || out->iterations < 1 || out->iterations > kMaxIterations)
        return false;
    const auto salt = QByteArray::fromBase64Encoding(parts[2].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto key = QByteArray::fromBase64Encoding(parts[3].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!salt || !key || salt.decoded.isEmpty() || key.decoded.size() != kKeyBytes)
        return false;
    out->salt = salt.decoded;
    out->key = key.decoded;
    return true;
}

// Compares in time independent of where the first difference is.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

QString hashPassword(const QString& password)
{
    QByteArray salt(kSaltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    return QStringLiteral("%1$%2$%3$%4")
        .arg(kScheme)
        .arg(kIterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(derive(password, salt, kIterations).toBase64()));
}

bool isPasswordHash(const QString& stored)
{
    Parsed p;
    return parse(stored, &p);
}

bool passwordMatches(const QString& stored, const QString& typed)
{
    Parsed p;
    if (!parse(stored, &p))
        return stored == typed;
    return sameBytes(derive(typed, p.salt, p.iterations), p.key);
}

} // namespace picturedb
