#include "web/LiteralText.h"
#include "web/TextUtils.h"

#include <QtTest>
#include <random>

using web::FoundLink;
using web::PageContext;
using web::PictureTypes;

namespace {

PictureTypes types(bool jpeg, bool gif, bool bmp)
{
    PictureTypes t;
    t.jpeg = jpeg;
    t.gif = gif;
    t.bmp = bmp;
    return t;
}

// A deterministic page of about `size` bytes mixing what real and broken pages
// hold: links and pictures in every quoting, upper-case names, stray and
// nested brackets, multi-byte text, names inside other words, line breaks
// inside tags, and one very large tag.
QByteArray mixedPage(qsizetype size, unsigned seed)
{
    std::minstd_rand rng(seed);
    const QList<QByteArray> pieces = {
        "<a href=page.html>",
        "<A HREF = \"Dir/\">",
        "<img src=photo.jpg>",
        "<IMG SRC='quoted.gif'>",
        "<img src=\"pic.BMP\" alt=\"x y\">",
        "<a href=\"two words.html\">",
        "<a hreflang=en href=x.htm>",
        "<img data-src=lazy.jpg src=real.jpg>",
        "<a href=pic.jpg><img src=pic.gif>",
        "<a href=x.html\nclass=c>",
        "<p>",
        "</p>",
        "plain text ",
        "日本語のテキスト ",
        "写真<img src=画像.jpg>",
        " > stray > ",
        "< nested <b>",
        "<<>>",
        "<a href=\"\">",
        "<a href=\"",
        "src=text.jpg ",
        "\t\r\n",
        "<a href=a.jpg?x=1>",
        "<a title=\"href=t.html\">",
    };
    QByteArray page;
    page.reserve(size + 400000);
    bool bigTagDone = false;
    while (page.size() < size) {
        if (!bigTagDone && page.size() > size / 2) {
            // One tag whose value is a few hundred kilobytes.
            page += "<a href=\"";
            page += QByteArray(300000, 'v');
            page += ".html\">";
            bigTagDone = true;
        }
        page += pieces[rng() % pieces.size()];
    }
    return page;
}

} // namespace

class TestTextUtils : public QObject {
    Q_OBJECT
private slots:
    void splitAt_data();
    void splitAt();
    void skipPast_data();
    void skipPast();
    void hostOf_data();
    void hostOf();
    void directoryOf_data();
    void directoryOf();
    void nextTag_data();
    void nextTag();
    void nextTagConsumesUpToTheTag();
    void attrValue_data();
    void attrValue();
    void normalizeURL_data();
    void normalizeURL();
    void makeAbsoluteURL_data();
    void makeAbsoluteURL();
    void isWantedPicture_data();
    void isWantedPicture();
    void isFollowablePage_data();
    void isFollowablePage();
    void extractLinks_data();
    void extractLinks();
    void walkerMatchesNextTagLoop_data();
    void walkerMatchesNextTagLoop();
    void normalizeMatchesRewriting();
    void linksWithMarkup_data();
    void linksWithMarkup();
};

void TestTextUtils::splitAt_data()
{
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("rest");

    QTest::newRow("not found: whole text is the head, text empty") << QByteArray("/") << QByteArray("abc") << QByteArray("abc") << QByteArray("");
    QTest::newRow("case ignored") << QByteArray("HREF") << QByteArray("a href=x") << QByteArray("a ") << QByteArray("=x");
    QTest::newRow("case kept in the pieces") << QByteArray("x") << QByteArray("AbXcX") << QByteArray("Ab") << QByteArray("cX");
    QTest::newRow("first occurrence") << QByteArray("/") << QByteArray("a/b/c") << QByteArray("a") << QByteArray("b/c");
    QTest::newRow("separator at the start") << QByteArray("//") << QByteArray("//h/x") << QByteArray("") << QByteArray("h/x");
    QTest::newRow("separator at the end") << QByteArray(">") << QByteArray("b>") << QByteArray("b") << QByteArray("");
    QTest::newRow("longer separator") << QByteArray("/../") << QByteArray("a/b/../c") << QByteArray("a/b") << QByteArray("c");
    QTest::newRow("multi-byte text split by bytes") << QByteArray("/") << QByteArray("日/本") << QByteArray("日") << QByteArray("本");
    QTest::newRow("only ASCII letters fold") << QByteArray("É") << QByteArray("aéb") << QByteArray("aéb") << QByteArray("");
    QTest::newRow("empty separator never found") << QByteArray("") << QByteArray("abc") << QByteArray("abc") << QByteArray("");
    QTest::newRow("empty text") << QByteArray("/") << QByteArray("") << QByteArray("") << QByteArray("");
}

void TestTextUtils::splitAt()
{
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, rest);
    QCOMPARE(web::SplitAt(separator, text), head);
    QCOMPARE(text, rest);
}

void TestTextUtils::skipPast_data()
{
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("rest");

    QTest::newRow("found: text after the first occurrence") << QByteArray("<") << QByteArray("a<b<c") << true << QByteArray("b<c");
    QTest::newRow("not found: unchanged") << QByteArray("http://") << QByteArray("https://h/x") << false << QByteArray("https://h/x");
    QTest::newRow("exact search: case matters") << QByteArray("HREF") << QByteArray("a href=x") << false << QByteArray("a href=x");
    QTest::newRow("at the end leaves it empty") << QByteArray("=") << QByteArray("href=") << true << QByteArray("");
    QTest::newRow("empty separator not found") << QByteArray("") << QByteArray("abc") << false << QByteArray("abc");
}

void TestTextUtils::skipPast()
{
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, text);
    QFETCH(bool, found);
    QFETCH(QByteArray, rest);
    QCOMPARE(web::SkipPast(separator, text), found);
    QCOMPARE(text, rest);
}

void TestTextUtils::hostOf_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("host");

    QTest::newRow("plain") << QByteArray("http://h/x") << QByteArray("h");
    QTest::newRow("no slash after the host") << QByteArray("http://h") << QByteArray("h");
    QTest::newRow("port kept") << QByteArray("http://h:8080/x") << QByteArray("h:8080");
    QTest::newRow("ftp is not a web address") << QByteArray("ftp://h/x") << QByteArray("");
    QTest::newRow("upper-case scheme is not http") << QByteArray("HTTP://h/x") << QByteArray("");
    QTest::newRow("https") << QByteArray("https://h/x") << QByteArray("h");
    QTest::newRow("https with port, no path") << QByteArray("https://h:8443") << QByteArray("h:8443");
    QTest::newRow("https whose query names another http address") << QByteArray("https://h/r?u=http://z/") << QByteArray("h");
    QTest::newRow("begins with http but no http://: text before the first slash") << QByteArray("httpfoo/bar") << QByteArray("httpfoo");
    QTest::newRow("relative link") << QByteArray("a/b.html") << QByteArray("");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
}

void TestTextUtils::hostOf()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, host);
    QCOMPARE(web::HostOf(address), host);
}

void TestTextUtils::directoryOf_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("directory");

    QTest::newRow("last segment dropped") << QByteArray("http://h/a/b/c.html") << QByteArray("http://h/a/b");
    QTest::newRow("trailing slash dropped") << QByteArray("http://h/a/b/") << QByteArray("http://h/a/b");
    QTest::newRow("file at the root") << QByteArray("http://h/x.html") << QByteArray("http://h");
    QTest::newRow("host only") << QByteArray("http://h") << QByteArray("http://h");
    QTest::newRow("https") << QByteArray("https://h/a/b.html") << QByteArray("https://h/a");
    QTest::newRow("empty segments kept") << QByteArray("http://h/a//b") << QByteArray("http://h/a/");
    QTest::newRow("no // appends one") << QByteArray("a/b") << QByteArray("a/b//");
}

void TestTextUtils::directoryOf()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, directory);
    QCOMPARE(web::DirectoryOf(address), directory);
}

void TestTextUtils::nextTag_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QList<QByteArray>>("tags");

    QTest::newRow("text between tags discarded")
        << QByteArray("text <b>bold</b> <a href=x.html>") << QList<QByteArray>{"b", "/b", "a href=x.html"};
    QTest::newRow("empty source") << QByteArray("") << QList<QByteArray>{};
    QTest::newRow("no tag at all comes back as it is") << QByteArray("just text") << QList<QByteArray>{"just text"};
    QTest::newRow("text after the last tag comes back as a tag")
        << QByteArray("<b>tail href=t.html") << QList<QByteArray>{"b", "tail href=t.html"};
    QTest::newRow("unterminated tag") << QByteArray("x <a href=y") << QList<QByteArray>{"a href=y"};
    QTest::newRow("'>' without '<' is skipped") << QByteArray("a > b > <i>") << QList<QByteArray>{"i"};
    QTest::newRow("nested '<': text after the last one") << QByteArray("<a <b c>d") << QList<QByteArray>{"b c", "d"};
    QTest::newRow("empty tag, then text") << QByteArray("<>x") << QList<QByteArray>{"", "x"};
    QTest::newRow("only '>'") << QByteArray(">>>") << QList<QByteArray>{};
    QTest::newRow("'>' after the last tag") << QByteArray("<b>>") << QList<QByteArray>{"b"};
    QTest::newRow("stray '>' then text without tag") << QByteArray("a>b") << QList<QByteArray>{"b"};
    QTest::newRow("lone '<' at the end gives nothing") << QByteArray("<b><") << QList<QByteArray>{"b"};
    QTest::newRow("multi-byte text") << QByteArray("写真<img src=画像.jpg>説明") << QList<QByteArray>{"img src=画像.jpg", "説明"};
}

void TestTextUtils::nextTag()
{
    QFETCH(QByteArray, source);
    QFETCH(QList<QByteArray>, tags);
    QCOMPARE(literal::tagsByNextTag(source), tags);
    QCOMPARE(literal::tagsByWalker(source), tags);
}

void TestTextUtils::nextTagConsumesUpToTheTag()
{
    QByteArray source("text <b>bold</b>");
    QCOMPARE(web::NextTag(source), QByteArray("b"));
    QCOMPARE(source, QByteArray("bold</b>"));
    QCOMPARE(web::NextTag(source), QByteArray("/b"));
    QVERIFY(source.isEmpty());
    QCOMPARE(web::NextTag(source), QByteArray());

    web::TagWalker walker(QByteArray("<a><b"));
    QVERIFY(!walker.atEnd());
    QCOMPARE(walker.next(), QByteArray("a"));
    QVERIFY(!walker.atEnd());
    QCOMPARE(walker.next(), QByteArray("b"));
    QVERIFY(walker.atEnd());
    QCOMPARE(walker.next(), QByteArray());
}

void TestTextUtils::attrValue_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("unquoted") << QByteArray("href") << QByteArray("a href=page.html") << true << QByteArray("page.html");
    QTest::newRow("double-quoted") << QByteArray("href") << QByteArray("a href=\"page.html\"") << true << QByteArray("page.html");
    QTest::newRow("upper-case name with blanks around '='") << QByteArray("href") << QByteArray("A HREF = page.html") << true << QByteArray("page.html");
    QTest::newRow("upper-case name asked") << QByteArray("HREF") << QByteArray("a href=x") << true << QByteArray("x");
    QTest::newRow("single quotes kept") << QByteArray("href") << QByteArray("a href='page.html'") << true << QByteArray("'page.html'");
    QTest::newRow("quoted value with a space cut at the space") << QByteArray("href") << QByteArray("a href=\"my page.html\"") << true << QByteArray("m");
    QTest::newRow("line break and more text kept") << QByteArray("href") << QByteArray("a href=x.html\nclass=y") << true << QByteArray("x.html\nclass=y");
    QTest::newRow("tab does not end the value") << QByteArray("href") << QByteArray("a href=x\ty") << true << QByteArray("x\ty");
    QTest::newRow("leading blanks and control characters skipped") << QByteArray("href") << QByteArray("a href=\t\r\n x") << true << QByteArray("x");
    QTest::newRow("opening quote only: last character lost too") << QByteArray("href") << QByteArray("a href=\"x.html") << true << QByteArray("x.htm");
    QTest::newRow("name at the start not found") << QByteArray("href") << QByteArray("href=x") << false << QByteArray("");
    QTest::newRow("empty tag") << QByteArray("href") << QByteArray("") << false << QByteArray("");
    QTest::newRow("name absent") << QByteArray("href") << QByteArray("img src=x") << false << QByteArray("");
    QTest::newRow("no '='") << QByteArray("href") << QByteArray("a href") << false << QByteArray("");
    QTest::newRow("'=' of a later attribute") << QByteArray("href") << QByteArray("a href title=t") << true << QByteArray("t");
    QTest::newRow("name inside another word") << QByteArray("href") << QByteArray("a hreflang=en href=x") << true << QByteArray("en");
    QTest::newRow("src inside data-src") << QByteArray("src") << QByteArray("img data-src=a.jpg src=b.jpg") << true << QByteArray("a.jpg");
    QTest::newRow("name inside a quoted value") << QByteArray("href") << QByteArray("a title=\"see href\" x=1") << true << QByteArray("1");
    QTest::newRow("empty quotes") << QByteArray("href") << QByteArray("a href=\"\"") << false << QByteArray("");
    QTest::newRow("lone quote") << QByteArray("href") << QByteArray("a href=\"") << false << QByteArray("");
    QTest::newRow("nothing after '='") << QByteArray("href") << QByteArray("a href=  ") << false << QByteArray("");
    QTest::newRow("multi-byte value") << QByteArray("src") << QByteArray("img src=\"画像.jpg\"") << true << QByteArray("画像.jpg");
}

void TestTextUtils::attrValue()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, tag);
    QFETCH(bool, found);
    QFETCH(QByteArray, value);
    QByteArray got("stale");
    QCOMPARE(web::AttrValue(name, tag, &got), found);
    QCOMPARE(got, value);
    QCOMPARE(web::AttrValue(name, tag, nullptr), found);

    // The page walk uses its own reading of attributes; one tag as a page
    // must give the same answer.
    const QList<FoundLink> links = web::ExtractLinks("<" + tag + ">", types(true, true, true));
    const QByteArray lower = name.toLower();
    if (lower == "href") {
        QCOMPARE(links.isEmpty() ? QByteArray() : links.first().link, value);
    } else if (lower == "src" && found && web::IsWantedPicture(value, types(true, true, true))) {
        QVERIFY(!links.isEmpty());
        QCOMPARE(links.last().link, value);
    }
}

void TestTextUtils::normalizeURL_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("normal");

    QTest::newRow("port 80 and /../") << QByteArray("http://h:80/a/b/../c.html") << QByteArray("http://h/a/c.html");
    QTest::newRow("/./") << QByteArray("http://h/a/./b.html") << QByteArray("http://h/a/b.html");
    QTest::newRow("/../ at the root") << QByteArray("http://h/../x.html") << QByteArray("http://h/x.html");
    QTest::newRow("port 8080 stays") << QByteArray("http://h:8080/x") << QByteArray("http://h:8080/x");
    QTest::newRow("port 800 stays") << QByteArray("http://h:800/x") << QByteArray("http://h:800/x");
    QTest::newRow("port 80 at the end") << QByteArray("http://h:80") << QByteArray("http://h");
    QTest::newRow(":80 in the path stays") << QByteArray("http://h/a:80/b") << QByteArray("http://h/a:80/b");
    QTest::newRow("only the port goes") << QByteArray("http://h:80/x:80") << QByteArray("http://h/x:80");
    QTest::newRow(":80 before a query stays") << QByteArray("http://h:80?q") << QByteArray("http://h:80?q");
    QTest::newRow("https port 80") << QByteArray("https://h:80/x") << QByteArray("https://h/x");
    QTest::newRow("no // no port") << QByteArray("http:80/x") << QByteArray("http:80/x");
    QTest::newRow("two levels up") << QByteArray("http://h/a/b/c/../../d.html") << QByteArray("http://h/a/d.html");
    QTest::newRow("above the root") << QByteArray("http://h/../../x") << QByteArray("http://h/x");
    QTest::newRow("chained /./") << QByteArray("http://h/a/././b") << QByteArray("http://h/a/b");
    QTest::newRow("/./ then /../") << QByteArray("http://h/a/./../b") << QByteArray("http://h/a/b");
    QTest::newRow("trailing /.. stays") << QByteArray("http://h/a/..") << QByteArray("http://h/a/..");
    QTest::newRow("no scheme: directory gains //") << QByteArray("a/../b") << QByteArray("a///b");
    QTest::newRow("unchanged") << QByteArray("http://h/a.html") << QByteArray("http://h/a.html");
}

void TestTextUtils::normalizeURL()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, normal);
    QCOMPARE(web::NormalizeURL(address), normal);
}

void TestTextUtils::makeAbsoluteURL_data()
{
    QTest::addColumn<QByteArray>("pageAddress");
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("address");

    const QByteArray page("http://h/a/b.html");
    QTest::newRow("relative") << page << QByteArray("c.html") << QByteArray("http://h/a/c.html");
    QTest::newRow("root-relative") << page << QByteArray("/x/y.html") << QByteArray("http://h/x/y.html");
    QTest::newRow("tilde") << page << QByteArray("~u/") << QByteArray("http://h/~u/");
    QTest::newRow("parent") << page << QByteArray("../z.htm") << QByteArray("http://h/z.htm");
    QTest::newRow("current") << page << QByteArray("./p.html") << QByteArray("http://h/a/p.html");
    QTest::newRow("mailto joined like a relative link") << page << QByteArray("mailto:m") << QByteArray("http://h/a/mailto:m");
    QTest::newRow("fragment joined like a relative link") << page << QByteArray("#top") << QByteArray("http://h/a/#top");
    QTest::newRow("upper-case HTTP kept relative") << page << QByteArray("HTTP://H/x.html") << QByteArray("http://h/a/HTTP://H/x.html");
    QTest::newRow("absolute only normalised") << page << QByteArray("http://o:80/p/../q.html") << QByteArray("http://o/q.html");
    QTest::newRow("absolute https") << page << QByteArray("https://o/p.html") << QByteArray("https://o/p.html");
    QTest::newRow("empty link: the page directory") << page << QByteArray("") << QByteArray("http://h/a/");
    const QByteArray secure("https://h/a/b.html");
    QTest::newRow("https page: root-relative keeps https") << secure << QByteArray("/x.html") << QByteArray("https://h/x.html");
    QTest::newRow("https page: tilde keeps https") << secure << QByteArray("~u/") << QByteArray("https://h/~u/");
    QTest::newRow("https page: relative") << secure << QByteArray("c.html") << QByteArray("https://h/a/c.html");
}

void TestTextUtils::makeAbsoluteURL()
{
    QFETCH(QByteArray, pageAddress);
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, address);
    const PageContext page{web::HostOf(pageAddress), pageAddress};
    QCOMPARE(page.host, QByteArray("h"));
    QCOMPARE(web::MakeAbsoluteURL(page, link), address);
}

void TestTextUtils::isWantedPicture_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<bool>("jpeg");
    QTest::addColumn<bool>("gif");
    QTest::addColumn<bool>("bmp");
    QTest::addColumn<bool>("wanted");

    QTest::newRow("jpg ticked") << QByteArray("a.jpg") << true << false << false << true;
    QTest::newRow("jpg not ticked") << QByteArray("a.jpg") << false << true << true << false;
    QTest::newRow("extension case ignored") << QByteArray("http://h/A.JPG") << true << false << false << true;
    QTest::newRow(".jpeg never") << QByteArray("a.jpeg") << true << true << true << false;
    QTest::newRow("query part") << QByteArray("a.jpg?x=1") << true << true << true << false;
    QTest::newRow("gif off") << QByteArray("a.gif") << true << false << true << false;
    QTest::newRow("gif on") << QByteArray("a.Gif") << false << true << false << true;
    QTest::newRow("bmp on") << QByteArray("a.bmp") << false << false << true << true;
    QTest::newRow("':' after the dot: no extension") << QByteArray("http://h.jpg:8080") << true << true << true << false;
    QTest::newRow("'\\' after the dot: no extension") << QByteArray("a.jpg\\b") << true << true << true << false;
    QTest::newRow("'/' does not end the extension") << QByteArray("d.jpg/x") << true << true << true << false;
    QTest::newRow("the last dot counts") << QByteArray("a.jpg.html") << true << true << true << false;
    QTest::newRow("dot only") << QByteArray(".jpg") << true << false << false << true;
    QTest::newRow("no dot") << QByteArray("jpg") << true << true << true << false;
    QTest::newRow("empty") << QByteArray("") << true << true << true << false;
}

void TestTextUtils::isWantedPicture()
{
    QFETCH(QByteArray, link);
    QFETCH(bool, jpeg);
    QFETCH(bool, gif);
    QFETCH(bool, bmp);
    QFETCH(bool, wanted);
    QCOMPARE(web::IsWantedPicture(link, types(jpeg, gif, bmp)), wanted);
}

void TestTextUtils::isFollowablePage_data()
{
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<bool>("followable");

    QTest::newRow("directory") << QByteArray("dir/") << true;
    QTest::newRow("htm") << QByteArray("a.htm") << true;
    QTest::newRow("HTML") << QByteArray("a.HTML") << true;
    QTest::newRow("shtml") << QByteArray("a.shtml") << true;
    QTest::newRow("exactly htm") << QByteArray("htm") << true;
    QTest::newRow("root") << QByteArray("/") << true;
    QTest::newRow("cgi") << QByteArray("a.cgi") << false;
    QTest::newRow("no slash") << QByteArray("dir") << false;
    QTest::newRow("fragment") << QByteArray("a.html#top") << false;
    QTest::newRow("tml only") << QByteArray("tml") << false;
    QTest::newRow("empty") << QByteArray("") << false;
}

void TestTextUtils::isFollowablePage()
{
    QFETCH(QByteArray, link);
    QFETCH(bool, followable);
    QCOMPARE(web::IsFollowablePage(link), followable);
}

void TestTextUtils::extractLinks_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("gif");
    QTest::addColumn<QList<FoundLink>>("links");

    QTest::newRow("pages, pictures and plain tags in order")
        << QByteArray("<p>hi<a href=x.html><img src=p.jpg><a href=q.gif><img src=r.gif><a href=pic.JPG>")
        << false
        << QList<FoundLink>{{"x.html", false}, {"p.jpg", true}, {"q.gif", false}, {"pic.JPG", true}};
    QTest::newRow("gif ticked")
        << QByteArray("<a href=q.gif><img src=r.gif>") << true << QList<FoundLink>{{"q.gif", true}, {"r.gif", true}};
    QTest::newRow("href then src of one tag")
        << QByteArray("<a href=a.jpg src=b.jpg>") << false << QList<FoundLink>{{"a.jpg", true}, {"b.jpg", true}};
    QTest::newRow("every href kept, followable or not")
        << QByteArray("<a href=run.cgi><a href=mailto:m>") << false << QList<FoundLink>{{"run.cgi", false}, {"mailto:m", false}};
    QTest::newRow("src that is no wanted picture dropped")
        << QByteArray("<script src=x.js><img src=y.png>") << false << QList<FoundLink>{};
    QTest::newRow("text after the last tag read as a tag")
        << QByteArray("<b>see href=t.html") << false << QList<FoundLink>{{"t.html", false}};
    QTest::newRow("empty page") << QByteArray() << false << QList<FoundLink>{};
}

void TestTextUtils::extractLinks()
{
    QFETCH(QByteArray, page);
    QFETCH(bool, gif);
    QFETCH(QList<FoundLink>, links);
    const PictureTypes t = types(true, gif, false);
    QCOMPARE(web::ExtractLinks(page, t), links);
    QCOMPARE(literal::linksByNextTag(page, t), links);
}

void TestTextUtils::walkerMatchesNextTagLoop_data()
{
    QTest::addColumn<QByteArray>("page");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text only") << QByteArray("no tags here href=a.html");
    QTest::newRow("unterminated tag") << QByteArray("<a href=x.html><img src=p.jpg");
    QTest::newRow("'>' without '<'") << QByteArray("a > b > <a href=y.htm> c >");
    QTest::newRow("nested '<'") << QByteArray("<a <b <img src=p.jpg>< <a href=q.html>");
    QTest::newRow("text after the last tag") << QByteArray("<a href=x.html>tail src=t.jpg href=u/");
    QTest::newRow("brackets only") << QByteArray("<><<>>>><");
    QTest::newRow("upper case and quotes") << QByteArray("<A HREF = \"x y.html\"><IMG SRC=p.Gif><img src='s.bmp'>");
    QTest::newRow("line breaks in tags") << QByteArray("<a\nhref=x.html\nclass=y>\n<img\tsrc=\t\"p.jpg\">");
    QTest::newRow("names inside words and values") << QByteArray("<img data-src=a.jpg src=b.jpg><a title=\"href=t.html\">");
    QTest::newRow("multi-byte UTF-8") << QByteArray("<a href=\"日本語.html\">写真<img src='ü.jpg'><img src=画像.JPG>説明");
    QTest::newRow("NUL bytes") << QByteArray("<a href=x\0y.html>\0<img src=\0.jpg>", 32);
    QTest::newRow("2 MB page") << mixedPage(2 * 1024 * 1024, 7);
}

void TestTextUtils::walkerMatchesNextTagLoop()
{
    QFETCH(QByteArray, page);
    const QList<QByteArray> tags = literal::tagsByNextTag(page);
    QCOMPARE(literal::tagsByWalker(page), tags);
    for (const PictureTypes& t : {types(true, false, false), types(true, true, true), types(false, false, false)}) {
        const QList<FoundLink> expected = literal::linksByNextTag(page, t);
        QCOMPARE(web::ExtractLinks(page, t), expected);
    }
    if (page.size() > 1000000) {
        // The generated page must really exercise the walk.
        QVERIFY(tags.size() > 10000);
        QVERIFY(web::ExtractLinks(page, types(true, true, true)).size() > 10000);
    }
}

void TestTextUtils::normalizeMatchesRewriting()
{
    // Random addresses built from the pieces that matter; the single-pass
    // normalisation must agree with rewriting step by step.
    const QList<QByteArray> pieces = {"/", "//", ".", "..", "/../", "/./", "a", "h", ":80", "http://", "https:", "x.html"};
    std::minstd_rand rng(11);
    for (int i = 0; i < 20000; ++i) {
        QByteArray address;
        const int n = int(rng() % 12);
        for (int k = 0; k < n; ++k)
            address += pieces[rng() % pieces.size()];
        const QByteArray expected = literal::normalizeByRewriting(address);
        if (web::NormalizeURL(address) != expected) {
            QFAIL(qPrintable("NormalizeURL('" + address + "') = '" + web::NormalizeURL(address) + "', expected '"
                             + expected + "'"));
        }
    }
}

// JPEG, PNG, WebP and AVIF ticked; GIF not.
void TestTextUtils::linksWithMarkup_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("markup");
    QTest::addColumn<QList<FoundLink>>("links");
    using L = QList<FoundLink>;

    QTest::newRow("srcset: x and w descriptors, relative and absolute, commas inside, each once")
        << QByteArray("<img src=a.jpg srcset=\"a.jpg 1x, /b/a@2x.png 2x,http://c/w_1,h_2/a.webp 3x\">"
                      "<source srcset=\"s.png 480w,\n l.avif 1600w\"><img srcset=\"one.png,, two.png\">")
        << true
        << L{{"a.jpg", true}, {"/b/a@2x.png", true}, {"http://c/w_1,h_2/a.webp", true}, {"s.png", true},
             {"l.avif", true}, {"one.png", true}, {"two.png", true}};
    QTest::newRow("a blank ends a srcset address: that candidate is dropped")
        << QByteArray("<img srcset=\"my photo.jpg 2x, ok.jpg 1x\">") << true << L{{"ok.jpg", true}};
    QTest::newRow("picture sources and lazy loading, placeholder skipped")
        << QByteArray("<picture><source type=image/avif srcset=\"h.avif\"><img src=\"h.jpeg\"></picture>"
                      "<img src=\"data:image/gif;base64,R0lGOD\" data-src=lazy.webp data-srcset=\"l2.webp 2x\" "
                      "data-original=orig.jpg data-lazy-src='ll.png'>")
        << true
        << L{{"h.avif", true}, {"h.jpeg", true}, {"lazy.webp", true}, {"l2.webp", true}, {"orig.jpg", true},
             {"ll.png", true}};
    QTest::newRow("the page's shared pictures")
        << QByteArray("<meta property=\"og:image\" content=\"http://h/og.png\"><meta name=twitter:image content=/tw?id=5>"
                      "<link rel=\"shortcut image_src\" href=\"/share\"><meta name=description content=x.jpg>")
        << true << L{{"http://h/og.png", true}, {"/tw?id=5", true}, {"/share", true}};
    QTest::newRow("entities decoded")
        << QByteArray("<img src=\"p?id=1&amp;w=2&#38;h=3&#x26;q=4\"><img src=\"caf&#233;.png\"><img src=\"x&copy;.png\">"
                      "<a href=\"a&amp;b.html\">")
        << true << L{{"p?id=1&w=2&h=3&q=4", true}, {"café.png", true}, {"x&copy;.png", true}, {"a&b.html", false}};
    QTest::newRow("picture places: no known extension, or a query; a known one only when ticked")
        << QByteArray("<img src=/photo/123><img src=x.png?v=2><img src=anim.gif><img src=anim.GIF?x=1>"
                      "<img src=\"javascript:void(0)\"><a href=page.html><a href=big.JPEG><a href=x.gif>")
        << true
        << L{{"/photo/123", true}, {"x.png?v=2", true}, {"anim.GIF?x=1", true}, {"page.html", false},
             {"big.JPEG", true}, {"x.gif", false}};
    QTest::newRow("other places only by extension")
        << QByteArray("<script src=app.js><iframe data-src=/embed/v><source src=movie.mp4><div data-src=bg.png>")
        << true << L{{"bg.png", true}};
    QTest::newRow("whole attribute names, any quotes, blanks inside")
        << QByteArray("<IMG DATA-SRC='my photo.jpg' SRC = real.png>") << true
        << L{{"my photo.jpg", true}, {"real.png", true}};
    QTest::newRow("the same without markup, as ever")
        << QByteArray("<IMG DATA-SRC='my photo.jpg' SRC = real.png><img data-src=lazy.jpg src=real.jpg>") << false
        << L{{"lazy.jpg", true}};
    // Without markup "src" is found inside "srcset" too, as ever.
    QTest::newRow("new types without markup: by extension, case ignored")
        << QByteArray("<img src=a.png><img src=b.WEBP><a href=c.avif><img src=d.jpeg><img srcset=e.png>") << false
        << L{{"a.png", true}, {"b.WEBP", true}, {"c.avif", true}, {"e.png", true}};
}

void TestTextUtils::linksWithMarkup()
{
    QFETCH(QByteArray, page);
    QFETCH(bool, markup);
    QFETCH(QList<FoundLink>, links);
    PictureTypes t = types(true, false, false);
    t.png = t.webp = t.avif = true;
    t.markup = markup;
    QCOMPARE(web::ExtractLinks(page, t), links);
    if (!markup)
        QCOMPARE(literal::linksByNextTag(page, t), links);
}

QTEST_GUILESS_MAIN(TestTextUtils)
#include "tst_textutils.moc"
