#pragma once

#include <QList>
#include <QString>
#include <QTextDocument>

#include <memory>

// A help file: HTML whose headings are its sections. Gives the contents list
// and the keyword search of the help viewer.
class HelpDocument
{
public:
    struct Section
    {
        QString title;
        int level = 1;     // 1 for <h1>, 2 for <h2>, ...
        int position = 0;  // document position of the heading
    };

    struct Hit
    {
        int section = -1;  // index into sections()
        QString text;      // what the topic list shows
    };

    // Help files are short; anything larger is not one of ours.
    static constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

    HelpDocument();
    ~HelpDocument();

    // Reads a UTF-8 HTML help file; false when it cannot be read or is too large.
    bool load(const QString& path);
    void setHtml(const QString& html);

    QString html() const { return m_html; }
    // The directory of the loaded file: pictures are named relative to it.
    QString directory() const { return m_directory; }
    // The <title>, or the first heading when there is none.
    QString title() const;
    const QList<Section>& sections() const { return m_sections; }

    // One topic for each section whose heading or text contains the keyword
    // (case-insensitively), in document order: the heading, or the heading
    // with the first matching passage. An empty keyword lists every heading.
    QList<Hit> search(const QString& keyword) const;

private:
    struct Paragraph
    {
        int section;
        QString text;
    };

    QString m_html;
    QString m_directory;
    std::unique_ptr<QTextDocument> m_doc;
    QList<Section> m_sections;
    QList<Paragraph> m_paragraphs;
};
