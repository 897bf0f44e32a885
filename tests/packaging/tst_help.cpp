#include "HelpDocument.h"
#include "app/FormMain.h"
#include "support/AppFixture.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTest>

namespace {

// Every command of a menu bar, submenus walked into, as its caption without
// the accelerator: "終了(&X)" -> "終了", "ＷＷＷ(W)" -> "ＷＷＷ".
QStringList commands(const QList<QAction*>& actions)
{
    static const QRegularExpression accelerator(QStringLiteral("\\(&?[A-Za-z]\\)$"));
    QStringList out;
    for (QAction* a : actions) {
        if (a->isSeparator())
            continue;
        if (a->menu())
            out += commands(a->menu()->actions());
        else
            out += a->text().remove(accelerator).remove(QLatin1Char('&'));
    }
    return out;
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_help.load(QStringLiteral(QUILLON_BIN_DIR "/quillon.HLP")), "the built help file cannot be read");
    }

    // Each command of the main menu has a heading of its own, and searching
    // for its caption leads there.
    void everyMenuCommandHasASection()
    {
        AppFixture app;
        const QStringList all = commands(app.start().menuBar()->actions());
        QVERIFY(all.size() >= 20);
        QStringList missing;
        for (const QString& command : all) {
            int section = -1;
            for (int i = 0; i < m_help.sections().size() && section < 0; ++i)
                if (m_help.sections()[i].title.contains(command))
                    section = i;
            bool found = false;
            for (const HelpDocument::Hit& hit : m_help.search(command))
                found = found || hit.section == section;
            if (section < 0 || !found)
                missing << command;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("no section for: ") + missing.join(QStringLiteral(", "))));
    }

    // Every section carries keywords, and every picture it shows exists.
    void sectionsHaveKeywordsAndTheirPictures()
    {
        static const QRegularExpression picture(QStringLiteral("<img src=\"([^\"]+)\""));
        QStringList missing;
        for (auto m = picture.globalMatch(m_help.html()); m.hasNext();) {
            const QString name = m.next().captured(1);
            if (!QFileInfo::exists(m_help.directory() + QLatin1Char('/') + name))
                missing << name;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("missing pictures: ") + missing.join(QStringLiteral(", "))));
        const int keywordLines = m_help.html().count(QStringLiteral("class=\"keywords\""));
        QVERIFY2(keywordLines >= m_help.sections().size(),
                 qPrintable(QStringLiteral("%1 keyword lines for %2 sections").arg(keywordLines).arg(m_help.sections().size())));
    }

private:
    HelpDocument m_help;
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
