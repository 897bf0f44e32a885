#pragma once

// Fingerprints of pictures, kept in side tables of the store beside the
// fixed ones: the SHA-256 of a file's bytes and its 64-bit perceptual hash
// with its pixel size. Files are keyed by full path and valid only while
// their size and modification time are the ones fingerprinted; records of a
// picture database are keyed by the database's name and the serial.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace store {

class Store;

struct Fingerprint {
    QByteArray sha256;           // 32 bytes
    std::optional<quint64> hash; // the perceptual hash, once computed
    QSize pixels;                // the picture's full size, with the hash
    bool operator==(const Fingerprint&) const = default;
};

class Fingerprints {
public:
    // Creates the side tables when the store has none yet.
    explicit Fingerprints(Store& store);

    // A file's fingerprint; none when the file has none or has changed since.
    std::optional<Fingerprint> file(const QString& path, qint64 size, const QDateTime& modified);
    void putFile(const QString& path, qint64 size, const QDateTime& modified, const Fingerprint& f);
    // The paths whose kept fingerprint has these bytes (they may have changed since).
    QStringList filesWithSha(const QByteArray& sha256);

    std::optional<Fingerprint> record(const QString& database, qint32 serial);
    void putRecord(const QString& database, qint32 serial, const Fingerprint& f);
    // The serials of a database whose kept fingerprint has these bytes.
    QList<qint32> recordsWithSha(const QString& database, const QByteArray& sha256);
    void dropRecord(const QString& database, qint32 serial);
    // A record that took another serial takes its fingerprint along.
    void moveRecord(const QString& database, qint32 from, qint32 to);
    void dropDatabase(const QString& database);
    void renameDatabase(const QString& from, const QString& to);

    // Kept fingerprints still without their perceptual hash (bytes seen at
    // the door), one at a time in key order after the one given.
    struct FileKey {
        QString path;
        qint64 size = 0;
        QDateTime modified;
        QByteArray sha256;
    };
    std::optional<FileKey> nextFileWithoutHash(const QString& afterPath);
    std::optional<qint32> nextRecordWithoutHash(const QString& database, qint32 afterSerial);
    // The hash of a kept fingerprint, written only while the row still
    // stands for those bytes (the file or record may have changed meanwhile).
    void putFileHash(const FileKey& key, quint64 hash, QSize pixels);
    void putRecordHash(const QString& database, qint32 serial, const QByteArray& sha256, quint64 hash, QSize pixels);
    // A row of a file that is gone or has changed.
    void dropFile(const QString& path);

    static const QString kFileTable;   // "_Fingerprint"
    static const QString kRecordTable; // "_FingerprintDB"

private:
    Store& m_store;
};

// The SHA-256 of bytes or of a file's bytes (read in pieces; empty when the
// file cannot be read).
QByteArray sha256Of(const QByteArray& bytes);
QByteArray sha256OfFile(const QString& path);

} // namespace store
