#include "web/TextUtils.h"

#include <cstring>

namespace web {

namespace {

constexpr char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

// Position of needle in hay, comparing ASCII-lower-cased bytes; -1 when not
// found. The needle is short (a separator or an attribute name), so the scan
// stays linear in the haystack.
qsizetype findNoCase(QByteArrayView hay, QByteArrayView needle, qsizetype from = 0)
{
    const qsizetype m = needle.size();
    const qsizetype n = hay.size();
    if (m == 0 || n - from < m)
        return -1;
    const char* h = hay.data();
    const char* s = needle.data();
    const char first = lowerAscii(s[0]);
    const char firstUpper = (first >= 'a' && first <= 'z') ? char(first - ('a' - 'A')) : first;
    for (qsizetype i = from; i <= n - m; ++i) {
        const char c = h[i];
        if (c != first && c != firstUpper)
            continue;
        qsizetype k = 1;
        while (k < m && lowerAscii(h[i + k]) == lowerAscii(s[k]))
            ++k;
        if (k == m)
            return i;
    }
    return -1;
}

qsizetype findExact(QByteArrayView hay, QByteArrayView needle, qsizetype from = 0)
{
    if (needle.isEmpty())
        return -1;
    return hay.indexOf(needle, from);
}

bool endsWithNoCase(QByteArrayView text, QByteArrayView lowerSuffix)
{
    const qsizetype n = text.size();
    const qsizetype m = lowerSuffix.size();
    if (n < m)
        return false;
    for (qsizetype k = 0; k < m; ++k) {
        if (lowerAscii(text[n - m + k]) != lowerSuffix[k])
            return false;
    }
    return true;
}

// AttrValue over views, used on whole pages: nothing is copied until the value
// is kept. name must already be lower-case.
bool attrValueView(QByteArrayView name, QByteArrayView tag, QByteArrayView* value)
{
    *value = {};
    const qsizetype at = findNoCase(tag, name);
    // Nothing before the name (or no name at all): not found.
    if (at <= 0)
        return false;
    QByteArrayView rest = tag.sliced(at + name.size());
    const qsizetype eq = rest.indexOf('=');
    if (eq < 0)
        return false;
    rest = rest.sliced(eq + 1);
    qsizetype start = 0;
    while (start < rest.size() && static_cast<unsigned char>(rest[start]) <= 0x20)
        ++start;
    rest = rest.sliced(start);
    const qsizetype space = rest.indexOf(' ');
    QByteArrayView v = space < 0 ? rest : rest.first(space);
    // A leading double quote costs the value its first and its last byte,
    // whatever that last byte is.
    if (!v.isEmpty() && v[0] == '"')
        v = v.size() >= 2 ? v.sliced(1, v.size() - 2) : QByteArrayView();
    *value = v;
    return !v.isEmpty();
}

bool isWantedPicture(QByteArrayView link, const PictureTypes& types)
{
    // The extension starts at the last "." unless a ":" or "\" follows it.
    qsizetype i = link.size() - 1;
    while (i >= 0 && link[i] != '.' && link[i] != ':' && link[i] != '\\')
        --i;
    if (i < 0 || link[i] != '.')
        return false;
    const QByteArrayView ext = link.sliced(i);
    if (ext.size() != 4)
        return false;
    return (types.jpeg && endsWithNoCase(ext, ".jpg")) || (types.gif && endsWithNoCase(ext, ".gif"))
        || (types.bmp && endsWithNoCase(ext, ".bmp"));
}

bool isFollowablePage(QByteArrayView link)
{
    if (link.isEmpty())
        return false;
    return link.back() == '/' || endsWithNoCase(link, "htm") || endsWithNoCase(link, "html");
}

// Resolves "/../" exactly as repeating "address := DirectoryOf(text before the
// first "/../") + "/" + text after it" until none is left, in one pass. After
// each step nothing before the join can start a new "/../" (the text before
// the first occurrence never ends in "/.."), so the scan goes on from the "/"
// that begins the rest. DirectoryOf of the text before is: that text + "//"
// when it holds no "//"; else the text cut at its last "/" when that "/" lies
// after the first "//"'s two characters; else the text itself.
QByteArray resolveParents(const QByteArray& address)
{
    static constexpr QByteArrayView kParent("/../");
    qsizetype hit = address.indexOf(kParent);
    if (hit < 0)
        return address;

    QByteArray out;
    out.reserve(address.size() + 2);
    qsizetype firstDoubleSlash = -1;
    QList<qsizetype> slashesAfterHost; // positions in out of "/" past the first "//"

    auto append = [&](QByteArrayView piece) {
        const qsizetype base = out.size();
        out.append(piece);
        for (qsizetype k = base; k < out.size(); ++k) {
            if (out[k] != '/')
                continue;
            if (firstDoubleSlash < 0) {
                if (k > 0 && out[k - 1] == '/')
                    firstDoubleSlash = k - 1;
            } else if (k >= firstDoubleSlash + 2) {
                slashesAfterHost.append(k);
            }
        }
    };

    qsizetype pos = 0;
    while (hit >= 0) {
        append(QByteArrayView(address).sliced(pos, hit - pos));
        if (firstDoubleSlash < 0) {
            append("//");
        } else if (!slashesAfterHost.isEmpty()) {
            out.truncate(slashesAfterHost.takeLast());
        }
        pos = hit + 3; // the "/" that joins the rest
        hit = address.indexOf(kParent, pos);
    }
    append(QByteArrayView(address).sliced(pos));
    return out;
}

// Replacing the first "/./" by "/" until none is left has one outcome whatever
// the order, so a single pass that folds each "/./" as it completes gives it.
QByteArray resolveCurrent(const QByteArray& address)
{
    if (!address.contains("/./"))
        return address;
    QByteArray out;
    out.reserve(address.size());
    for (const char c : address) {
        out.append(c);
        const qsizetype n = out.size();
        if (n >= 3 && out[n - 1] == '/' && out[n - 2] == '.' && out[n - 3] == '/')
            out.chop(2);
    }
    return out;
}

} // namespace

QByteArray SplitAt(const QByteArray& separator, QByteArray& text)
{
    const qsizetype p = findNoCase(text, separator);
    if (p < 0) {
        QByteArray head;
        head.swap(text);
        return head;
    }
    QByteArray head = text.left(p);
    // Removing from the front of an unshared array only moves its start, so a
    // caller that consumes a text piece by piece does not copy the rest each time.
    text.remove(0, p + separator.size());
    return head;
}

bool SkipPast(const QByteArray& separator, QByteArray& text)
{
    const qsizetype p = findExact(text, separator);
    if (p < 0)
        return false;
    text.remove(0, p + separator.size());
    return true;
}

QByteArray HostOf(const QByteArray& address)
{
    if (!address.startsWith("http"))
        return {};
    QByteArray rest = address;
    if (rest.startsWith("https://"))
        rest.remove(0, 8);
    else
        SkipPast("http://", rest);
    return SplitAt("/", rest);
}

QByteArray DirectoryOf(const QByteArray& address)
{
    QByteArray rest = address;
    QByteArray result = SplitAt("//", rest) + "//";
    // The host, then every segment but the last, each after a "/": that is the
    // rest up to its last "/" (all of it when it has none).
    const qsizetype last = rest.lastIndexOf('/');
    result += last < 0 ? rest : rest.left(last);
    return result;
}

QByteArray NextTag(QByteArray& source)
{
    QByteArray piece = SplitAt(">", source);
    while (!piece.contains('<') && !source.isEmpty())
        piece = SplitAt(">", source);
    while (SkipPast("<", piece)) {
    }
    return piece;
}

bool AttrValue(const QByteArray& name, const QByteArray& tag, QByteArray* value)
{
    if (value)
        value->clear();
    QByteArray rest = tag;
    const QByteArray head = SplitAt(name, rest);
    // This also covers a tag that begins with the name, and an empty tag.
    if (head.isEmpty())
        return false;
    if (!SkipPast("=", rest))
        return false;
    qsizetype start = 0;
    while (start < rest.size() && static_cast<unsigned char>(rest[start]) <= 0x20)
        ++start;
    rest.remove(0, start);
    QByteArray v = SplitAt(" ", rest);
    if (v.startsWith('"'))
        v = v.size() >= 2 ? v.mid(1, v.size() - 2) : QByteArray();
    if (value)
        *value = v;
    return !v.isEmpty();
}

QByteArray NormalizeURL(const QByteArray& address)
{
    QByteArray a = address;
    // ":80" goes only where it is the port: at the end of the host part, which
    // runs from the first "//" to the next "/" or the end of the text.
    const qsizetype scheme = a.indexOf("//");
    if (scheme >= 0) {
        const qsizetype hostStart = scheme + 2;
        qsizetype hostEnd = a.indexOf('/', hostStart);
        if (hostEnd < 0)
            hostEnd = a.size();
        if (hostEnd - hostStart >= 3 && QByteArrayView(a).sliced(hostEnd - 3, 3) == ":80")
            a.remove(hostEnd - 3, 3);
    }
    return resolveCurrent(resolveParents(a));
}

QByteArray MakeAbsoluteURL(const PageContext& page, const QByteArray& link)
{
    if (link.startsWith("http"))
        return NormalizeURL(link);
    const QByteArray scheme = page.address.startsWith("https://") ? QByteArray("https://") : QByteArray("http://");
    QByteArray joined;
    if (link.startsWith('/'))
        joined = scheme + page.host + link;
    else if (link.startsWith('~'))
        joined = scheme + page.host + '/' + link;
    else
        joined = DirectoryOf(page.address) + '/' + link;
    return NormalizeURL(joined);
}

bool IsWantedPicture(const QByteArray& link, const PictureTypes& types)
{
    return isWantedPicture(link, types);
}

bool IsFollowablePage(const QByteArray& link)
{
    return isFollowablePage(link);
}

TagWalker::TagWalker(QByteArray page)
    : m_page(std::move(page))
{
}

bool TagWalker::atEnd() const
{
    return m_pos >= m_page.size();
}

QByteArray TagWalker::next()
{
    return nextView().toByteArray();
}

QByteArrayView TagWalker::nextView()
{
    const qsizetype n = m_page.size();
    if (m_pos >= n)
        return {};
    const char* d = m_page.constData();
    for (;;) {
        const qsizetype start = m_pos;
        const void* gt = std::memchr(d + start, '>', size_t(n - start));
        const qsizetype end = gt ? static_cast<const char*>(gt) - d : n;
        m_pos = gt ? end + 1 : n;
        // The piece is [start, end); the tag is what follows its last "<".
        const void* lt = memrchr(d + start, '<', size_t(end - start));
        if (lt)
            return QByteArrayView(static_cast<const char*>(lt) + 1, d + end);
        if (m_pos >= n)
            return QByteArrayView(d + start, end - start);
    }
}

QList<FoundLink> ExtractLinks(const QByteArray& page, const PictureTypes& types)
{
    QList<FoundLink> links;
    TagWalker walker(page);
    for (;;) {
        const QByteArrayView tag = walker.nextView();
        if (tag.isEmpty() && walker.atEnd())
            break;
        QByteArrayView value;
        if (attrValueView("href", tag, &value))
            links.append({value.toByteArray(), isWantedPicture(value, types)});
        if (attrValueView("src", tag, &value) && isWantedPicture(value, types))
            links.append({value.toByteArray(), true});
    }
    return links;
}

} // namespace web
