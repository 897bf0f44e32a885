#pragma once

// The small text functions that take pages and addresses apart. They work on
// bytes of UTF-8: positions and lengths count bytes, and lower-casing maps only
// the ASCII letters A-Z. They deliberately do what these simple steps do, not
// what a full URL or HTML parser would: the exploration tables are keyed by
// their results.

#include "viewing/PictureKind.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace web {

// The page a link was found on, as its download slot knows it.
struct PageContext {
    QByteArray host;
    QByteArray address;
};

// The picture types ticked in the settings dialog.
using PictureTypes = viewing::PictureTypes;

// head := text before the first occurrence of separator (case ignored);
// text := text after it. Not found: head := the whole text, text := empty.
// An empty separator is never found.
QByteArray SplitAt(const QByteArray& separator, QByteArray& text);

// Exact search. Found: text := text after the first occurrence, true.
// Not found (or an empty separator): text unchanged, false.
bool SkipPast(const QByteArray& separator, QByteArray& text);

// The host part (with any port) of an address that begins with "http";
// empty for any other address.
QByteArray HostOf(const QByteArray& address);

// Scheme, host and directories of an address: the last segment and the "/"
// before it dropped.
QByteArray DirectoryOf(const QByteArray& address);

// Inner text of the next tag; consumes source up to and including the tag's
// ">". Text between tags is discarded; when the source runs out before a "<"
// is seen, the last piece comes back unchanged.
QByteArray NextTag(QByteArray& source);

// The value of the first attribute whose name occurs anywhere in the tag text
// (case ignored). *value (when given) receives the value, empty if not found.
bool AttrValue(const QByteArray& name, const QByteArray& tag, QByteArray* value);

// Removes the default port ":80" of the address and resolves "/../" and "/./".
QByteArray NormalizeURL(const QByteArray& address);

// Joins a link to the page it was found on, then normalises it.
QByteArray MakeAbsoluteURL(const PageContext& page, const QByteArray& link);

// True when the link's extension (from its last ".", unless a ":" or "\"
// follows it; case ignored) names a wanted kind: ".jpg", ".gif", ".bmp",
// ".png", ".webp", ".avif", and with markup ".jpeg", ".jpe", ".jfif".
bool IsWantedPicture(const QByteArray& link, const PictureTypes& types);

// True when the link, as found on the page, ends in "/", "htm" or "html".
bool IsFollowablePage(const QByteArray& link);

// Gives the same tags as repeated NextTag calls on the page, without copying
// the rest of the page at each step: taking a page apart costs time
// proportional to its size.
class TagWalker {
public:
    explicit TagWalker(QByteArray page);

    // True when the remaining text is empty.
    bool atEnd() const;
    // What NextTag would return.
    QByteArray next();
    // The same, as a view into the page; valid while the walker lives.
    QByteArrayView nextView();

private:
    QByteArray m_page;
    qsizetype m_pos = 0;
};

struct FoundLink {
    QByteArray link;
    bool picture = false;

    friend bool operator==(const FoundLink&, const FoundLink&) = default;
};

// The links of a page in page order: every href value (picture true when it
// is a wanted picture, so a page link still to pass IsFollowablePage
// otherwise) and every src value that is a wanted picture.
//
// With markup the tags are read as a browser reads them (each attribute by
// its whole name, quotes of either kind, entities decoded), and pictures
// are also taken from srcset, data-src, data-srcset, data-original and
// data-lazy-src, <meta property="og:image"> and name="twitter:image", and
// <link rel="image_src">. In those places and in the src of an img, an
// address whose path names no picture kind, or that has a query, is a
// picture too: what it is shows only when it is fetched. Each picture
// address comes once.
QList<FoundLink> ExtractLinks(const QByteArray& page, const PictureTypes& types);

// An attribute value with its character references decoded: the named ones
// a page commonly holds (&amp; &lt; &gt; &quot; &apos; &nbsp;) and numeric
// ones, as UTF-8. Anything else stays as written.
QByteArray DecodeEntities(QByteArrayView value);

// The addresses of the candidates of a srcset value, in order, each once:
// an address runs to the next blank (commas inside it stay, trailing ones
// end it), descriptors ("480w", "2x") run to the next comma. A candidate
// whose descriptors are not of that form is dropped, as a browser drops it.
QList<QByteArray> SrcsetAddresses(QByteArrayView srcset);

// A link found with markup that begins with "//" takes the scheme of the
// page it was found on; any other link is returned as it is.
QByteArray WithPageScheme(const QByteArray& link, const QByteArray& pageAddress);

} // namespace web
