#include "store/FieldCodec.h"

#include <QRegularExpression>
#include <QSqlError>
#include <limits>
#include <mutex>

namespace store::detail {

namespace {

const QString kDateColumn = QStringLiteral("yyyy-MM-dd");
const QString kDateTimeColumn = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz");

[[noreturn]] void badValue(const FieldDef& def, const QVariant& value)
{
    throw StoreError(QStringLiteral("フィールド %1 に値 '%2' は設定できません")
                         .arg(def.name, value.toString()));
}

QVariant integerVariant(qlonglong v)
{
    if (v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max())
        return QVariant(int(v));
    return QVariant(v);
}

bool parseBool(const QString& text, bool* ok)
{
    const QString t = text.trimmed().toLower();
    *ok = true;
    if (t == u"true" || t == u"t" || t == u"1" || t == u"yes" || t == u"y")
        return true;
    if (t == u"false" || t == u"f" || t == u"0" || t == u"no" || t == u"n")
        return false;
    *ok = false;
    return false;
}

// Dates and times are written and read through fixed-width digit fields by
// hand: the format-string machinery cost more than the rest of a post. Years
// outside 1..9999 keep the general path, whose padding and sign rules differ.
void putDigits(char16_t* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
}

bool putDate(char16_t* out, QDate d, char16_t separator)
{
    int y = 0, m = 0, day = 0;
    d.getDate(&y, &m, &day);
    if (y < 1 || y > 9999)
        return false;
    putDigits(out, y, 4);
    out[4] = separator;
    putDigits(out + 5, m, 2);
    out[7] = separator;
    putDigits(out + 8, day, 2);
    return true;
}

void putTime(char16_t* out, QTime t)
{
    putDigits(out, t.hour(), 2);
    out[2] = u':';
    putDigits(out + 3, t.minute(), 2);
    out[5] = u':';
    putDigits(out + 6, t.second(), 2);
}

// Date and time written as "yyyy?MM?dd" + middle + "HH:mm:ss" (+ ".zzz").
QString formatDateTime(const QDateTime& dt, char16_t dateSeparator, char16_t middle, bool millis,
                       const QString& fallbackFormat)
{
    const QDate d = dt.date();
    const QTime t = dt.time();
    QString s(millis ? 23 : 19, Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(s.data());
    if (!putDate(out, d, dateSeparator))
        return dt.toString(fallbackFormat);
    out[10] = middle;
    putTime(out + 11, t);
    if (millis) {
        out[19] = u'.';
        putDigits(out + 20, t.msec(), 3);
    }
    return s;
}

QString formatDate(const QDate& d, char16_t separator, const QString& fallbackFormat)
{
    QString s(10, Qt::Uninitialized);
    if (!putDate(reinterpret_cast<char16_t*>(s.data()), d, separator))
        return d.toString(fallbackFormat);
    return s;
}

// Reads `count` ASCII digits at s[at]; false when any is not a digit.
bool takeDigits(QStringView s, qsizetype at, int count, int* value)
{
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = s[at + i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
    }
    *value = v;
    return true;
}

// "yyyy-MM-dd" or "yyyy/MM/dd" at the start of s; an invalid QDate when the
// text has another shape or names no real day.
QDate takeDate(QStringView s, char16_t separator)
{
    int y = 0, m = 0, d = 0;
    if (s.size() < 10 || s[4] != separator || s[7] != separator || !takeDigits(s, 0, 4, &y)
        || !takeDigits(s, 5, 2, &m) || !takeDigits(s, 8, 2, &d))
        return {};
    return QDate(y, m, d);
}

// The texts the store itself writes: "yyyy-MM-dd'T'HH:mm:ss.zzz" in columns
// and "yyyy/MM/dd HH:mm:ss" for display. Invalid for any other text, for a
// value the general parser would refuse, and for a local time that does not
// exist as written (a daylight-saving gap), so that such texts take the
// general path and come out as they always did.
QDateTime quickDateTime(QStringView s)
{
    char16_t separator = 0;
    bool millis = false;
    if (s.size() == 23 && s[10] == u'T' && s[19] == u'.') {
        separator = u'-';
        millis = true;
    } else if (s.size() == 19 && s[10] == u' ') {
        separator = u'/';
    } else {
        return {};
    }
    const QDate date = takeDate(s, separator);
    int h = 0, mi = 0, sec = 0, ms = 0;
    if (!date.isValid() || s[13] != u':' || s[16] != u':' || !takeDigits(s, 11, 2, &h) || !takeDigits(s, 14, 2, &mi)
        || !takeDigits(s, 17, 2, &sec) || (millis && !takeDigits(s, 20, 3, &ms)))
        return {};
    const QTime time(h, mi, sec, ms);
    if (!time.isValid())
        return {};
    QDateTime dt(date, time);
    if (!dt.isValid() || dt.date() != date || dt.time() != time)
        return {};
    return dt;
}

} // namespace

QString columnType(FieldType type, int size)
{
    switch (type) {
    case FieldType::Text:
        return QStringLiteral("VARCHAR(%1)").arg(qMax(0, size));
    case FieldType::Short:
        return QStringLiteral("SMALLINT");
    case FieldType::Long:
        // Not "INTEGER": a one-column integer key must not become the rowid.
        return QStringLiteral("INT");
    case FieldType::Date:
        return QStringLiteral("DATE");
    case FieldType::DateTime:
        return QStringLiteral("TIMESTAMP");
    case FieldType::Memo:
        return QStringLiteral("MEMO_TEXT");
    case FieldType::Bool:
        return QStringLiteral("BOOLEAN");
    case FieldType::Bytes:
        return QStringLiteral("BYTES_BLOB");
    case FieldType::Graphic:
        return QStringLiteral("GRAPHIC_BLOB");
    }
    return QStringLiteral("VARCHAR(0)");
}

void parseColumnType(const QString& declared, FieldType* type, int* size)
{
    static const QRegularExpression varchar(QStringLiteral(R"(^\s*(?:VAR)?CHAR\s*\(\s*(\d+)\s*\)\s*$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString t = declared.trimmed().toUpper();
    *size = 0;
    if (const auto m = varchar.match(t); m.hasMatch()) {
        *type = FieldType::Text;
        *size = m.captured(1).toInt();
    } else if (t == u"SMALLINT") {
        *type = FieldType::Short;
    } else if (t == u"INT" || t == u"INTEGER" || t == u"BIGINT") {
        *type = FieldType::Long;
    } else if (t == u"DATE") {
        *type = FieldType::Date;
    } else if (t == u"TIMESTAMP" || t == u"DATETIME") {
        *type = FieldType::DateTime;
    } else if (t == u"MEMO_TEXT" || t == u"TEXT") {
        *type = FieldType::Memo;
    } else if (t == u"BOOLEAN" || t == u"BOOL") {
        *type = FieldType::Bool;
    } else if (t == u"BYTES_BLOB" || t == u"BLOB") {
        *type = FieldType::Bytes;
    } else if (t == u"GRAPHIC_BLOB") {
        *type = FieldType::Graphic;
    } else if (t.contains(u"INT")) {
        *type = FieldType::Long;
    } else if (t.contains(u"BLOB")) {
        *type = FieldType::Bytes;
    } else {
        *type = FieldType::Memo;
    }
}

bool isBlob(FieldType type)
{
    return type == FieldType::Bytes || type == FieldType::Graphic;
}

bool isInteger(FieldType type)
{
    return type == FieldType::Short || type == FieldType::Long;
}

QString displayDate(const QDate& d)
{
    return d.isValid() ? formatDate(d, u'/', QStringLiteral("yyyy/MM/dd")) : QString();
}

QString displayDateTime(const QDateTime& dt)
{
    return dt.isValid() ? formatDateTime(dt, u'/', u' ', false, QStringLiteral("yyyy/MM/dd HH:mm:ss")) : QString();
}

QString columnDate(const QDate& d)
{
    return formatDate(d, u'-', kDateColumn);
}

QString columnDateTime(const QDateTime& dt)
{
    return formatDateTime(dt, u'-', u'T', true, kDateTimeColumn);
}

QDate parseDate(const QString& text, bool* ok)
{
    const QString t = text.trimmed();
    if (t.size() == 10) {
        const QDate quick = takeDate(t, t[4] == u'/' ? u'/' : u'-');
        if (quick.isValid()) {
            *ok = true;
            return quick;
        }
    }
    for (const char* f : {"yyyy/MM/dd", "yyyy/M/d", "yyyy-MM-dd", "yyyy-M-d"}) {
        const QDate d = QDate::fromString(t, QLatin1String(f));
        if (d.isValid()) {
            *ok = true;
            return d;
        }
    }
    // A date-time text stands for its day.
    bool dtOk = false;
    const QDateTime dt = parseDateTime(t, &dtOk);
    *ok = dtOk;
    return dtOk ? dt.date() : QDate();
}

QDateTime parseDateTime(const QString& text, bool* ok)
{
    const QString t = text.trimmed();
    *ok = true;
    if (const QDateTime quick = quickDateTime(t); quick.isValid())
        return quick;
    for (const char* f : {"yyyy/MM/dd HH:mm:ss", "yyyy/MM/dd H:mm:ss", "yyyy/M/d H:mm:ss", "yyyy/MM/dd HH:mm",
                          "yyyy-MM-dd'T'HH:mm:ss.zzz", "yyyy-MM-dd'T'HH:mm:ss", "yyyy-MM-dd HH:mm:ss.zzz",
                          "yyyy-MM-dd HH:mm:ss"}) {
        const QDateTime dt = QDateTime::fromString(t, QLatin1String(f));
        if (dt.isValid())
            return dt;
    }
    for (const char* f : {"yyyy/MM/dd", "yyyy/M/d", "yyyy-MM-dd"}) {
        const QDate d = QDate::fromString(t, QLatin1String(f));
        if (d.isValid())
            return d.startOfDay();
    }
    *ok = false;
    return {};
}

QVariant normalize(const FieldDef& def, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    const int id = value.typeId();
    switch (def.type) {
    case FieldType::Text:
    case FieldType::Memo: {
        QString s;
        if (id == QMetaType::QDate)
            s = displayDate(value.toDate());
        else if (id == QMetaType::QDateTime)
            s = displayDateTime(value.toDateTime());
        else if (id == QMetaType::Bool)
            s = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        else if (id == QMetaType::QByteArray)
            s = QString::fromUtf8(value.toByteArray());
        else
            s = value.toString();
        return s.isEmpty() ? QVariant() : QVariant(s);
    }
    case FieldType::Short:
    case FieldType::Long: {
        if (id == QMetaType::QString || id == QMetaType::QByteArray) {
            const QString s = value.toString().trimmed();
            if (s.isEmpty())
                return {};
            bool ok = false;
            const qlonglong v = s.toLongLong(&ok);
            if (!ok)
                badValue(def, value);
            return integerVariant(v);
        }
        if (id == QMetaType::Bool)
            return QVariant(value.toBool() ? 1 : 0);
        if (id == QMetaType::Double || id == QMetaType::Float) {
            const double d = value.toDouble();
            if (d != double(qlonglong(d)))
                badValue(def, value);
            return integerVariant(qlonglong(d));
        }
        bool ok = false;
        const qlonglong v = value.toLongLong(&ok);
        if (!ok)
            badValue(def, value);
        return integerVariant(v);
    }
    case FieldType::Date: {
        if (id == QMetaType::QDate)
            return value.toDate().isValid() ? value : QVariant();
        if (id == QMetaType::QDateTime)
            return value.toDateTime().isValid() ? QVariant(value.toDateTime().date()) : QVariant();
        const QString s = value.toString();
        if (s.trimmed().isEmpty())
            return {};
        bool ok = false;
        const QDate d = parseDate(s, &ok);
        if (!ok)
            badValue(def, value);
        return d;
    }
    case FieldType::DateTime: {
        if (id == QMetaType::QDateTime)
            return value.toDateTime().isValid() ? value : QVariant();
        if (id == QMetaType::QDate)
            return value.toDate().isValid() ? QVariant(value.toDate().startOfDay()) : QVariant();
        const QString s = value.toString();
        if (s.trimmed().isEmpty())
            return {};
        bool ok = false;
        const QDateTime dt = parseDateTime(s, &ok);
        if (!ok)
            badValue(def, value);
        return dt;
    }
    case FieldType::Bool: {
        if (id == QMetaType::Bool)
            return value;
        if (id == QMetaType::QString) {
            if (value.toString().trimmed().isEmpty())
                return {};
            bool ok = false;
            const bool b = parseBool(value.toString(), &ok);
            if (!ok)
                badValue(def, value);
            return b;
        }
        bool ok = false;
        const qlonglong v = value.toLongLong(&ok);
        if (!ok)
            badValue(def, value);
        return v != 0;
    }
    case FieldType::Bytes:
    case FieldType::Graphic: {
        QByteArray bytes;
        if (id == QMetaType::QByteArray)
            bytes = value.toByteArray();
        else if (id == QMetaType::QString)
            bytes = value.toString().toUtf8();
        else
            badValue(def, value);
        return bytes.isEmpty() ? QVariant() : QVariant(bytes);
    }
    }
    return {};
}

QVariant toColumn(const FieldDef& def, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (def.type) {
    case FieldType::Text:
    case FieldType::Memo:
        return value.toString();
    case FieldType::Short:
    case FieldType::Long:
        return value.toLongLong();
    case FieldType::Date:
        return columnDate(value.toDate());
    case FieldType::DateTime:
        return columnDateTime(value.toDateTime());
    case FieldType::Bool:
        return value.toBool() ? 1 : 0;
    case FieldType::Bytes:
    case FieldType::Graphic:
        return value.toByteArray();
    }
    return {};
}

QVariant fromColumn(const FieldDef& def, const QVariant& raw)
{
    if (!raw.isValid() || raw.isNull())
        return {};
    switch (def.type) {
    case FieldType::Text:
    case FieldType::Memo: {
        const QString s = raw.typeId() == QMetaType::QByteArray ? QString::fromUtf8(raw.toByteArray())
                                                                : raw.toString();
        return s.isEmpty() ? QVariant() : QVariant(s);
    }
    case FieldType::Short:
    case FieldType::Long: {
        bool ok = false;
        const qlonglong v = raw.toLongLong(&ok);
        return ok ? integerVariant(v) : QVariant();
    }
    case FieldType::Date: {
        bool ok = false;
        const QDate d = parseDate(raw.toString(), &ok);
        return ok ? QVariant(d) : QVariant();
    }
    case FieldType::DateTime: {
        bool ok = false;
        const QDateTime dt = parseDateTime(raw.toString(), &ok);
        return ok ? QVariant(dt) : QVariant();
    }
    case FieldType::Bool:
        if (raw.typeId() == QMetaType::QString) {
            bool ok = false;
            const bool b = parseBool(raw.toString(), &ok);
            return ok ? QVariant(b) : QVariant();
        }
        return raw.toLongLong() != 0;
    case FieldType::Bytes:
    case FieldType::Graphic: {
        const QByteArray b = raw.toByteArray();
        return b.isEmpty() ? QVariant() : QVariant(b);
    }
    }
    return {};
}

QString displayText(const FieldDef& def, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (def.type) {
    case FieldType::Date:
        return displayDate(value.toDate());
    case FieldType::DateTime:
        return displayDateTime(value.toDateTime());
    case FieldType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Bytes:
    case FieldType::Graphic:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

StoreError sqlError(const QString& what, const QSqlError& error, StoreError::Kind kind)
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    return StoreError(QStringLiteral("%1: %2").arg(what, text), kind);
}

} // namespace store::detail

namespace store {

void useCheapLocalTimeZone()
{
#ifdef Q_OS_LINUX
    // Every local-time conversion of Qt calls tzset(). With TZ unset the C
    // library then looks the zone file up again each time, a file-system
    // lookup for every date-time read or written. Naming the same default
    // zone file in TZ keeps the zone and lets tzset() see that nothing
    // changed. A TZ the user set is left alone.
    static std::once_flag once;
    std::call_once(once, [] {
        if (!qEnvironmentVariableIsSet("TZ"))
            qputenv("TZ", ":/etc/localtime");
    });
#endif
}

} // namespace store
