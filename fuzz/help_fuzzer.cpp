// Feeds arbitrary bytes to the help viewer's reader as a help file: the
// sections must stand in document order, and every search must answer with
// sections that exist.

#include "GuiFuzzing.h"
#include "winhelp/HelpDocument.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    startGuiApplication("help_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString html = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    HelpDocument doc;
    doc.setHtml(html);
    int previous = -1;
    for (const HelpDocument::Section& s : doc.sections()) {
        if (s.position < previous || s.level < 1)
            broken("sections out of order");
        previous = s.position;
    }
    doc.title();
    // A keyword taken from the input itself, and the empty one.
    for (const QString& keyword : {html.left(3), QString()}) {
        for (const HelpDocument::Hit& hit : doc.search(keyword)) {
            if (hit.section < 0 || hit.section >= doc.sections().size())
                broken("a hit names no section");
        }
    }
    return 0;
}
