#pragma once

#include "HelpDocument.h"

#include <QDialog>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

// The help window: the contents list of the headings at left, the help text
// at right.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(const HelpDocument& document, QWidget* parent = nullptr);

    // Scrolls the text to the heading of the section and selects it in the
    // contents; false for an index out of range.
    bool showSection(int index);
    // The section whose heading holds the text cursor, -1 before the first.
    int currentSection() const;

private:
    void contentsChosen(QTreeWidgetItem* item);

    const HelpDocument& m_document;
    QTreeWidget* m_contents;
    QTextBrowser* m_browser;
    QList<QTreeWidgetItem*> m_items;
};

// The contents-and-index dialog: a keyword box and the list of matching
// topics. Choosing a topic (double-click, Enter or "表示") reports its section.
class HelpFinder : public QDialog
{
    Q_OBJECT
public:
    explicit HelpFinder(const HelpDocument& document, QWidget* parent = nullptr);

signals:
    void sectionChosen(int section);

private:
    void refill();
    void chooseCurrent();

    const HelpDocument& m_document;
    QLineEdit* m_keyword;
    QListWidget* m_topics;
    QList<HelpDocument::Hit> m_hits;
};

// Caption of the help viewer's windows.
QString helpCaption();
