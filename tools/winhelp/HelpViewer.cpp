#include "HelpViewer.h"

#include <QAbstractTextDocumentLayout>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

QString helpCaption()
{
    return QStringLiteral("Quillon ヘルプ");
}

HelpWindow::HelpWindow(const HelpDocument& document, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_contents(new QTreeWidget)
    , m_browser(new QTextBrowser)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(helpCaption());
    resize(760, 520);

    m_contents->setObjectName(QStringLiteral("Contents"));
    m_contents->setHeaderHidden(true);
    m_contents->setColumnCount(1);
    m_browser->setObjectName(QStringLiteral("Browser"));
    m_browser->setOpenExternalLinks(false);
    if (!document.directory().isEmpty())
        m_browser->setSearchPaths({document.directory()});
    m_browser->setHtml(document.html());

    // Nest each heading under the nearest heading of a higher level before it.
    QList<QTreeWidgetItem*> open;  // open[i]: the last item of depth i
    QList<int> openLevels;
    for (const HelpDocument::Section& s : document.sections()) {
        while (!openLevels.isEmpty() && openLevels.last() >= s.level) {
            openLevels.removeLast();
            open.removeLast();
        }
        auto* item = open.isEmpty() ? new QTreeWidgetItem(m_contents)
                                    : new QTreeWidgetItem(open.last());
        item->setText(0, s.title);
        item->setData(0, Qt::UserRole, int(m_items.size()));
        m_items.append(item);
        open.append(item);
        openLevels.append(s.level);
    }
    m_contents->expandAll();

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(m_contents);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 540});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(m_contents, &QTreeWidget::itemClicked, this, &HelpWindow::contentsChosen);
    connect(m_contents, &QTreeWidget::itemActivated, this, &HelpWindow::contentsChosen);
}

void HelpWindow::contentsChosen(QTreeWidgetItem* item)
{
    if (item)
        showSection(item->data(0, Qt::UserRole).toInt());
}

bool HelpWindow::showSection(int index)
{
    if (index < 0 || index >= m_document.sections().size())
        return false;
    QTextDocument* doc = m_browser->document();
    const QTextBlock block = doc->findBlock(m_document.sections().at(index).position);
    QTextCursor cursor(block);
    m_browser->setTextCursor(cursor);
    // Put the heading at the top rather than merely in view.
    const QRectF rect = doc->documentLayout()->blockBoundingRect(block);
    m_browser->verticalScrollBar()->setValue(int(rect.top()));
    const QSignalBlocker blocker(m_contents);
    m_contents->setCurrentItem(m_items.at(index));
    return true;
}

int HelpWindow::currentSection() const
{
    const int pos = m_browser->textCursor().block().position();
    int current = -1;
    const auto& sections = m_document.sections();
    for (int i = 0; i < sections.size() && sections.at(i).position <= pos; ++i)
        current = i;
    return current;
}

HelpFinder::HelpFinder(const HelpDocument& document, QWidget* parent)
    : QDialog(parent)
    , m_document(document)
    , m_keyword(new QLineEdit)
    , m_topics(new QListWidget)
{
    setObjectName(QStringLiteral("HelpFinder"));
    setWindowTitle(QStringLiteral("ヘルプトピック: ") + helpCaption());
    resize(420, 400);
    m_keyword->setObjectName(QStringLiteral("EditKeyword"));
    m_topics->setObjectName(QStringLiteral("ListTopics"));

    auto* label = new QLabel(QStringLiteral("調べたい語を入力してください(&K):"));
    label->setBuddy(m_keyword);
    auto* buttons = new QDialogButtonBox;
    QPushButton* show = buttons->addButton(QStringLiteral("表示(&D)"), QDialogButtonBox::AcceptRole);
    show->setObjectName(QStringLiteral("ButtonShow"));
    show->setDefault(true);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_keyword);
    layout->addWidget(m_topics, 1);
    layout->addWidget(buttons);

    connect(m_keyword, &QLineEdit::textChanged, this, &HelpFinder::refill);
    // Double-click activates an item (or a single click where the style says
    // so); Enter in the keyword box goes to the default button.
    connect(m_topics, &QListWidget::itemActivated, this, &HelpFinder::chooseCurrent);
    connect(buttons, &QDialogButtonBox::accepted, this, &HelpFinder::chooseCurrent);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    refill();
}

void HelpFinder::refill()
{
    m_hits = m_document.search(m_keyword->text());
    m_topics->clear();
    for (const HelpDocument::Hit& hit : m_hits)
        m_topics->addItem(hit.text);
    if (!m_hits.isEmpty())
        m_topics->setCurrentRow(0);
}

void HelpFinder::chooseCurrent()
{
    const int row = m_topics->currentRow();
    if (row < 0 || row >= m_hits.size())
        return;
    const int section = m_hits.at(row).section;
    // Reported first, so that a window shown for it is up before this dialog
    // closes: closing the last window would end the viewer.
    emit sectionChosen(section);
    accept();
}
