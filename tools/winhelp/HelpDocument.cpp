#include "HelpDocument.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBlock>

namespace {
constexpr int kSnippetChars = 40;

QString snippet(const QString& text, int at)
{
    const int start = qMax(0, at - kSnippetChars / 4);
    QString s = text.mid(start, kSnippetChars);
    if (start > 0)
        s.prepend(QStringLiteral("…"));
    if (start + kSnippetChars < text.size())
        s.append(QStringLiteral("…"));
    return s;
}
}  // namespace

HelpDocument::HelpDocument()
    : m_doc(std::make_unique<QTextDocument>())
{
}

HelpDocument::~HelpDocument() = default;

bool HelpDocument::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return false;
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        return false;
    setHtml(QString::fromUtf8(bytes));
    m_directory = QFileInfo(path).absolutePath();
    return true;
}

void HelpDocument::setHtml(const QString& html)
{
    m_html = html;
    m_doc->setHtml(html);
    m_sections.clear();
    m_paragraphs.clear();
    for (QTextBlock b = m_doc->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text().trimmed();
        if (text.isEmpty())
            continue;
        const int level = b.blockFormat().headingLevel();
        if (level > 0)
            m_sections.append({text, level, b.position()});
        else
            m_paragraphs.append({int(m_sections.size()) - 1, text});
    }
}

QString HelpDocument::title() const
{
    const QString t = m_doc->metaInformation(QTextDocument::DocumentTitle).trimmed();
    if (!t.isEmpty() || m_sections.isEmpty())
        return t;
    return m_sections.first().title;
}

QList<HelpDocument::Hit> HelpDocument::search(const QString& keyword) const
{
    const QString key = keyword.trimmed();
    QList<Hit> hits;
    int para = 0;
    for (int s = 0; s < m_sections.size(); ++s) {
        const Section& section = m_sections.at(s);
        // Text before the first heading belongs to no section and is not a topic.
        while (para < m_paragraphs.size() && m_paragraphs.at(para).section < s)
            ++para;
        if (key.isEmpty() || section.title.contains(key, Qt::CaseInsensitive)) {
            hits.append({s, section.title});
            continue;
        }
        for (; para < m_paragraphs.size() && m_paragraphs.at(para).section == s; ++para) {
            const QString& text = m_paragraphs.at(para).text;
            const int at = text.indexOf(key, 0, Qt::CaseInsensitive);
            if (at >= 0) {
                hits.append({s, section.title + QStringLiteral(" — ") + snippet(text, at)});
                break;
            }
        }
    }
    return hits;
}
