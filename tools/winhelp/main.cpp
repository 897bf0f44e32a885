// The help viewer: Winhelp <help file> shows the help text with its contents;
// Winhelp -k <help file> opens the keyword dialog first.

#include "HelpDocument.h"
#include "HelpViewer.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

// Tells whoever started the viewer that its file is open and on screen.
void reportOpened(const QString& path)
{
    std::printf("Winhelp: opened %s\n", qPrintable(path));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Winhelp"));
    QStringList args = app.arguments();
    args.removeFirst();
    const bool finder = !args.isEmpty() && args.first() == QLatin1String("-k");
    if (finder)
        args.removeFirst();
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: Winhelp [-k] <help file>\n");
        return 2;
    }

    HelpDocument document;
    if (!document.load(args.first())) {
        std::fprintf(stderr, "Winhelp: cannot open %s\n", qPrintable(args.first()));
        QMessageBox::warning(nullptr, helpCaption(),
                             QStringLiteral("ヘルプファイルを開けません。\n") + args.first());
        return 1;
    }

    HelpWindow window(document);
    if (!finder) {
        window.show();
        window.showSection(0);
        reportOpened(args.first());
        return app.exec();
    }

    HelpFinder dialog(document);
    QObject::connect(&dialog, &HelpFinder::sectionChosen, &window, [&window](int section) {
        window.show();
        window.showSection(section);
    });
    QObject::connect(&dialog, &QDialog::rejected, &app, &QApplication::quit);
    dialog.show();
    reportOpened(args.first());
    return app.exec();
}
