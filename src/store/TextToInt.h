#pragma once

#include <QString>
#include <limits>

namespace store {

// The integer that the user's texts stand for, wherever settings and edits are
// read: leading blanks, an optional sign, then decimal digits or "$"/"0x" and
// hexadecimal digits, nothing after, within 32 bits. Anything else is not a
// number (ok = false) and each caller applies its own default.
inline qint32 toInteger(const QString& text, bool* ok)
{
    *ok = false;
    int i = 0;
    const int n = int(text.size());
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0')
               && (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return 0;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return 0;
        value = value * base + digit;
        // Hexadecimal texts may spell the full 32-bit pattern ("$FFFFFFFF" is -1).
        const qint64 limit = base == 16 ? 0xFFFFFFFFLL : qint64(std::numeric_limits<qint32>::max()) + 1;
        if (value > limit)
            return 0;
    }
    qint64 result = negative ? -value : value;
    if (base == 16 && !negative && value > std::numeric_limits<qint32>::max())
        result = qint64(qint32(quint32(value)));
    if (result < std::numeric_limits<qint32>::min() || result > std::numeric_limits<qint32>::max())
        return 0;
    *ok = true;
    return qint32(result);
}

// The integer in a text, or the fallback when the text is not a number.
inline qint32 toIntegerOr(const QString& text, qint32 fallback)
{
    bool ok = false;
    const qint32 v = toInteger(text, &ok);
    return ok ? v : fallback;
}

} // namespace store
