#include "web/TextUtils.h"

#include <QSet>
#include <QString>
#include <QVarLengthArray>
#include <algorithm>
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

// The extension of a link: from its last "." unless one of the stop
// characters follows it; empty when there is none.
QByteArrayView extensionOf(QByteArrayView link, QByteArrayView stops)
{
    qsizetype i = link.size() - 1;
    while (i >= 0 && link[i] != '.' && !stops.contains(link[i]))
        --i;
    if (i < 0 || link[i] != '.')
        return {};
    return link.sliced(i);
}

// Every extension of a picture kind has four or five characters.
viewing::PictureKind kindOfLinkExtension(QByteArrayView ext, bool markup)
{
    if (ext.size() < 4 || ext.size() > 5)
        return viewing::PictureKind::None;
    return viewing::kindOfExtension(ext, markup);
}

bool isWantedPicture(QByteArrayView link, const PictureTypes& types)
{
    return types.wants(kindOfLinkExtension(extensionOf(link, ":\\"), types.markup));
}

bool isFollowablePage(QByteArrayView link)
{
    if (link.isEmpty())
        return false;
    return link.back() == '/' || endsWithNoCase(link, "htm") || endsWithNoCase(link, "html");
}

// --- Markup: tags read as a browser reads them --------------------------------

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

QByteArrayView trimmedHtml(QByteArrayView v)
{
    while (!v.isEmpty() && isHtmlSpace(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && isHtmlSpace(v.back()))
        v.chop(1);
    return v;
}

bool equalsNoCase(QByteArrayView text, QByteArrayView lower)
{
    return text.size() == lower.size() && endsWithNoCase(text, lower);
}

struct Attribute {
    QByteArrayView name;
    QByteArrayView value; // as written, quotes removed
};

struct MarkupTag {
    QByteArrayView name; // empty for an end tag, a comment or a declaration
    QVarLengthArray<Attribute, 8> attributes;

    // The first attribute of the name: a repeated one does not count.
    const Attribute* find(QByteArrayView lowerName) const
    {
        for (const Attribute& a : attributes)
            if (equalsNoCase(a.name, lowerName))
                return &a;
        return nullptr;
    }
    bool isFirstOfItsName(const Attribute& attribute) const
    {
        for (const Attribute& a : attributes) {
            if (&a == &attribute)
                return true;
            if (a.name.size() == attribute.name.size()
                && std::equal(a.name.begin(), a.name.end(), attribute.name.begin(),
                              [](char x, char y) { return lowerAscii(x) == lowerAscii(y); }))
                return false;
        }
        return false;
    }
};

// The tag text is what follows its "<", up to its ">".
MarkupTag parseTag(QByteArrayView tag)
{
    MarkupTag t;
    const qsizetype n = tag.size();
    if (n == 0 || tag[0] == '/' || tag[0] == '!' || tag[0] == '?')
        return t;
    qsizetype i = 0;
    while (i < n && !isHtmlSpace(tag[i]) && tag[i] != '/')
        ++i;
    t.name = tag.first(i);
    for (;;) {
        while (i < n && (isHtmlSpace(tag[i]) || tag[i] == '/'))
            ++i;
        if (i >= n)
            break;
        const qsizetype start = i++;
        while (i < n && !isHtmlSpace(tag[i]) && tag[i] != '/' && tag[i] != '=')
            ++i;
        Attribute a{tag.sliced(start, i - start), {}};
        qsizetype j = i;
        while (j < n && isHtmlSpace(tag[j]))
            ++j;
        if (j < n && tag[j] == '=') {
            i = j + 1;
            while (i < n && isHtmlSpace(tag[i]))
                ++i;
            if (i < n && (tag[i] == '"' || tag[i] == '\'')) {
                const char quote = tag[i++];
                const qsizetype end = tag.indexOf(quote, i);
                const qsizetype stop = end < 0 ? n : end;
                a.value = tag.sliced(i, stop - i);
                i = end < 0 ? n : end + 1;
            } else {
                const qsizetype valueStart = i;
                while (i < n && !isHtmlSpace(tag[i]))
                    ++i;
                a.value = tag.sliced(valueStart, i - valueStart);
            }
        }
        t.attributes.append(a);
    }
    return t;
}

bool decodeReference(QByteArrayView name, QByteArray* text)
{
    static constexpr struct {
        const char* name;
        const char* text;
    } kNamed[] = {{"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
    if (name.front() != '#') {
        for (const auto& e : kNamed) {
            if (name == QByteArrayView(e.name)) {
                *text = e.text;
                return true;
            }
        }
        return false;
    }
    const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    const QByteArrayView digits = name.sliced(hex ? 2 : 1);
    if (digits.isEmpty())
        return false;
    char32_t code = 0;
    for (const char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            return false;
        code = std::min<char32_t>(code * (hex ? 16 : 10) + char32_t(d), 0x110000);
    }
    // As a browser reads them: no character, a surrogate or one past Unicode is U+FFFD.
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    *text = QString::fromUcs4(&code, 1).toUtf8();
    return true;
}

bool isDescriptor(QByteArrayView token)
{
    if (token.size() < 2)
        return false;
    const char unit = token.back();
    if (unit != 'w' && unit != 'x' && unit != 'h')
        return false;
    bool digit = false;
    for (const char c : token.chopped(1)) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-')
            return false;
    }
    return digit;
}

bool descriptorsValid(QByteArrayView d)
{
    qsizetype i = 0;
    for (;;) {
        while (i < d.size() && isHtmlSpace(d[i]))
            ++i;
        if (i >= d.size())
            return true;
        const qsizetype start = i;
        while (i < d.size() && !isHtmlSpace(d[i]))
            ++i;
        if (!isDescriptor(d.sliced(start, i - start)))
            return false;
    }
}

// A value that names a scheme other than the Web's (data:, javascript:,
// blob: …) holds no address a slot could fetch.
bool hasOtherScheme(QByteArrayView v)
{
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (v.isEmpty() || !letter(v[0]))
        return false;
    qsizetype i = 1;
    while (i < v.size() && (letter(v[i]) || (v[i] >= '0' && v[i] <= '9') || v[i] == '+' || v[i] == '-' || v[i] == '.'))
        ++i;
    if (i >= v.size() || v[i] != ':')
        return false;
    const QByteArrayView scheme = v.first(i);
    return !equalsNoCase(scheme, "http") && !equalsNoCase(scheme, "https");
}

// Whether an address found where a page shows a picture is taken: by its
// extension when its path names a kind and it has no query; otherwise the
// fetched bytes tell.
bool wantedInPicturePlace(QByteArrayView address, const PictureTypes& types)
{
    if (address.isEmpty() || hasOtherScheme(address))
        return false;
    const qsizetype query = address.indexOf('?');
    const qsizetype fragment = address.indexOf('#');
    if (query >= 0 && (fragment < 0 || query < fragment))
        return true;
    const QByteArrayView path = fragment < 0 ? address : address.first(fragment);
    const viewing::PictureKind kind = kindOfLinkExtension(extensionOf(path, "/:\\"), true);
    return kind == viewing::PictureKind::None || types.wants(kind);
}

bool relHasImageSrc(QByteArrayView rel)
{
    qsizetype i = 0;
    while (i < rel.size()) {
        while (i < rel.size() && isHtmlSpace(rel[i]))
            ++i;
        const qsizetype start = i;
        while (i < rel.size() && !isHtmlSpace(rel[i]))
            ++i;
        if (i > start && equalsNoCase(rel.sliced(start, i - start), "image_src"))
            return true;
    }
    return false;
}

QByteArray attributeText(const Attribute* a)
{
    return a ? trimmedHtml(DecodeEntities(a->value)).toByteArray() : QByteArray();
}

// The links of one tag read with markup. pictures: the picture addresses
// already taken from the page.
void markupLinksOf(QByteArrayView tagText, const PictureTypes& types, QList<FoundLink>& links,
                   QSet<QByteArray>& pictures)
{
    const MarkupTag tag = parseTag(tagText);
    if (tag.name.isEmpty())
        return;
    const bool img = equalsNoCase(tag.name, "img");
    const bool pictureTag = img || equalsNoCase(tag.name, "source");
    bool sharedPicture = false; // a <meta> naming the page's picture
    if (equalsNoCase(tag.name, "meta")) {
        for (const char* key : {"property", "name"}) {
            const QByteArray k = attributeText(tag.find(key));
            sharedPicture = sharedPicture || equalsNoCase(k, "og:image") || equalsNoCase(k, "twitter:image");
        }
    }
    const bool imageSrc = equalsNoCase(tag.name, "link") && relHasImageSrc(attributeText(tag.find("rel")));

    // place: a picture position, where an address of no known kind is taken too.
    auto addPicture = [&](const QByteArray& address, bool place) {
        if (!(place ? wantedInPicturePlace(address, types) : isWantedPicture(address, types)))
            return;
        if (pictures.contains(address))
            return;
        pictures.insert(address);
        links.append({address, true});
    };
    for (const Attribute& a : tag.attributes) {
        if (!tag.isFirstOfItsName(a))
            continue;
        const QByteArray value = attributeText(&a);
        if (value.isEmpty())
            continue;
        if (equalsNoCase(a.name, "href")) {
            if (imageSrc || isWantedPicture(value, types))
                addPicture(value, imageSrc);
            else
                links.append({value, false});
        } else if (equalsNoCase(a.name, "src")) {
            addPicture(value, img);
        } else if (equalsNoCase(a.name, "srcset")) {
            if (pictureTag)
                for (const QByteArray& address : SrcsetAddresses(value))
                    addPicture(address, true);
        } else if (equalsNoCase(a.name, "data-srcset")) {
            for (const QByteArray& address : SrcsetAddresses(value))
                addPicture(address, pictureTag);
        } else if (equalsNoCase(a.name, "data-src") || equalsNoCase(a.name, "data-original")
                   || equalsNoCase(a.name, "data-lazy-src")) {
            addPicture(value, pictureTag);
        } else if (equalsNoCase(a.name, "content") && sharedPicture) {
            addPicture(value, true);
        }
    }
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
    if (types.markup) {
        QSet<QByteArray> pictures;
        for (;;) {
            const QByteArrayView tag = walker.nextView();
            if (tag.isEmpty() && walker.atEnd())
                break;
            markupLinksOf(tag, types, links, pictures);
        }
        return links;
    }
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

QByteArray DecodeEntities(QByteArrayView value)
{
    if (!value.contains('&'))
        return value.toByteArray();
    // The longest reference read, "&#x0010FFFF;" and the like.
    constexpr qsizetype kLongest = 12;
    QByteArray out;
    out.reserve(value.size());
    qsizetype i = 0;
    while (i < value.size()) {
        const char c = value[i];
        if (c == '&') {
            const qsizetype semicolon = value.indexOf(';', i + 1);
            QByteArray text;
            if (semicolon > i + 1 && semicolon - i <= kLongest
                && decodeReference(value.sliced(i + 1, semicolon - i - 1), &text)) {
                out += text;
                i = semicolon + 1;
                continue;
            }
        }
        out.append(c);
        ++i;
    }
    return out;
}

QList<QByteArray> SrcsetAddresses(QByteArrayView srcset)
{
    QList<QByteArray> out;
    QSet<QByteArray> seen;
    const qsizetype n = srcset.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (isHtmlSpace(srcset[i]) || srcset[i] == ','))
            ++i;
        if (i >= n)
            break;
        const qsizetype start = i;
        while (i < n && !isHtmlSpace(srcset[i]))
            ++i;
        QByteArrayView address = srcset.sliced(start, i - start);
        bool valid = true;
        if (address.endsWith(',')) {
            // Commas that end an address end its candidate: no descriptors.
            while (address.endsWith(','))
                address.chop(1);
        } else {
            // The descriptors run to the next comma outside parentheses.
            const qsizetype from = i;
            int depth = 0;
            while (i < n && !(srcset[i] == ',' && depth == 0)) {
                if (srcset[i] == '(')
                    ++depth;
                else if (srcset[i] == ')' && depth > 0)
                    --depth;
                ++i;
            }
            valid = descriptorsValid(srcset.sliced(from, i - from));
            if (i < n)
                ++i;
        }
        QByteArray a = address.toByteArray();
        if (valid && !a.isEmpty() && !seen.contains(a)) {
            seen.insert(a);
            out.append(std::move(a));
        }
    }
    return out;
}

QByteArray WithPageScheme(const QByteArray& link, const QByteArray& pageAddress)
{
    if (!link.startsWith("//"))
        return link;
    return (pageAddress.startsWith("https://") ? QByteArray("https:") : QByteArray("http:")) + link;
}

} // namespace web
