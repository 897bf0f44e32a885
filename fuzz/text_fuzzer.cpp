// Feeds arbitrary bytes through the text functions the way the crawl calls
// them, and checks the single-pass page walk and normalisation against their
// step-by-step forms.
//
// Input: one byte of picture-type flags (bit 0 jpeg, 1 gif, 2 bmp, 3 png,
// 4 webp, 5 avif, 6 markup), then the page address up to the first line
// break, then the page. With markup the page is read as a browser reads it,
// which has no step-by-step form: it must only hold together.

#include "web/LiteralText.h"
#include "web/TextUtils.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Step-by-step forms are quadratic in places; keep the cross-checks to inputs
// of a few kilobytes.
constexpr qsizetype kCrossCheckLimit = 8192;

[[noreturn]] void mismatch(const char* what, const QByteArray& input)
{
    std::fprintf(stderr, "mismatch: %s (input %lld bytes)\n", what, static_cast<long long>(input.size()));
    std::abort();
}

void checkNormalize(const QByteArray& address, const QByteArray& input)
{
    if (address.size() <= kCrossCheckLimit && web::NormalizeURL(address) != literal::normalizeByRewriting(address))
        mismatch("NormalizeURL", input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    if (input.isEmpty())
        return 0;

    web::PictureTypes types;
    const auto flags = static_cast<unsigned char>(input[0]);
    types.jpeg = flags & 1;
    types.gif = flags & 2;
    types.bmp = flags & 4;
    types.png = flags & 8;
    types.webp = flags & 16;
    types.avif = flags & 32;
    types.markup = flags & 64;
    const QByteArray rest = input.mid(1);
    const qsizetype lineEnd = rest.indexOf('\n');
    const QByteArray address = lineEnd < 0 ? rest : rest.left(lineEnd);
    const QByteArray page = lineEnd < 0 ? QByteArray() : rest.mid(lineEnd + 1);
    const web::PageContext context{web::HostOf(address), address};
    (void)web::DirectoryOf(address);
    checkNormalize(address, input);

    if (types.markup) {
        for (const web::FoundLink& link : web::ExtractLinks(page, types)) {
            if (link.link.isEmpty())
                mismatch("ExtractLinks with markup gave an empty link", input);
            (void)web::MakeAbsoluteURL(context, web::WithPageScheme(link.link, address));
        }
        (void)web::SrcsetAddresses(page);
        (void)web::DecodeEntities(page);
        return 0;
    }

    // The crawl's loop, call for call.
    QList<web::FoundLink> found;
    QByteArray text = page;
    QByteArray tag = web::NextTag(text);
    while (!tag.isEmpty() || !text.isEmpty()) {
        QByteArray v;
        if (web::AttrValue("href", tag, &v)) {
            if (v.isEmpty())
                mismatch("AttrValue found an empty value", input);
            const bool picture = web::IsWantedPicture(v, types);
            found.append({v, picture});
            if (picture || web::IsFollowablePage(v)) {
                const QByteArray absolute = web::MakeAbsoluteURL(context, v);
                (void)web::HostOf(absolute);
                checkNormalize(v, input);
            }
        }
        QByteArray w;
        if (web::AttrValue("src", tag, &w) && web::IsWantedPicture(w, types)) {
            found.append({w, true});
            (void)web::MakeAbsoluteURL(context, w);
        }
        tag = web::NextTag(text);
    }
    if (!text.isEmpty())
        mismatch("NextTag loop left text", input);

    if (page.size() <= kCrossCheckLimit) {
        if (literal::tagsByWalker(page) != literal::tagsByNextTag(page))
            mismatch("TagWalker", input);
        if (web::ExtractLinks(page, types) != found)
            mismatch("ExtractLinks", input);
    }
    return 0;
}
