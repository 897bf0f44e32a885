#pragma once

// Step-by-step forms of the page walk and of address normalisation, written
// straight from the text functions, to check the single-pass code against.
// Used by tst_textutils and by the text fuzzer.

#include "web/TextUtils.h"

#include <QByteArray>
#include <QList>

namespace literal {

// Every tag the crawl's loop sees: NextTag until both the tag and the rest of
// the page are empty.
inline QList<QByteArray> tagsByNextTag(QByteArray text)
{
    QList<QByteArray> tags;
    QByteArray tag = web::NextTag(text);
    while (!tag.isEmpty() || !text.isEmpty()) {
        tags.append(tag);
        tag = web::NextTag(text);
    }
    return tags;
}

inline QList<QByteArray> tagsByWalker(const QByteArray& page)
{
    QList<QByteArray> tags;
    web::TagWalker walker(page);
    for (;;) {
        QByteArray tag = walker.next();
        if (tag.isEmpty() && walker.atEnd())
            break;
        tags.append(tag);
    }
    return tags;
}

// What the crawl's loop hands on: an href value as a picture or a page link,
// then a src value when it is a wanted picture.
inline QList<web::FoundLink> linksByNextTag(QByteArray text, const web::PictureTypes& types)
{
    QList<web::FoundLink> links;
    QByteArray tag = web::NextTag(text);
    while (!tag.isEmpty() || !text.isEmpty()) {
        QByteArray v;
        if (web::AttrValue("href", tag, &v))
            links.append({v, web::IsWantedPicture(v, types)});
        QByteArray w;
        if (web::AttrValue("src", tag, &w) && web::IsWantedPicture(w, types))
            links.append({w, true});
        tag = web::NextTag(text);
    }
    return links;
}

// Normalisation by its plain steps: drop the port ":80", then rewrite the
// first "/../" and the first "/./" again and again.
inline QByteArray normalizeByRewriting(QByteArray a)
{
    const qsizetype scheme = a.indexOf("//");
    if (scheme >= 0) {
        const QByteArray host = a.mid(scheme + 2).split('/').first();
        if (host.endsWith(":80"))
            a.remove(scheme + 2 + host.size() - 3, 3);
    }
    while (a.contains("/../")) {
        const QByteArray head = web::SplitAt("/../", a);
        a = web::DirectoryOf(head) + "/" + a;
    }
    while (a.contains("/./")) {
        const QByteArray head = web::SplitAt("/./", a);
        a = head + "/" + a;
    }
    return a;
}

} // namespace literal
