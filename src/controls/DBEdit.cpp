#include "controls/DBEdit.h"

#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Table.h"

TFieldLink::TFieldLink(QWidget* edit, std::function<QString()> text, std::function<void(const QString&)> show)
    : QObject(edit)
    , m_edit(edit)
    , m_text(std::move(text))
    , m_show(std::move(show))
{
}

store::Table* TFieldLink::table() const
{
    return m_source ? m_source->table() : nullptr;
}

bool TFieldLink::bound() const
{
    store::Table* t = table();
    return t && m_source->isEnabled() && t->isOpen() && !m_field.isEmpty() && t->hasField(m_field);
}

void TFieldLink::setDataSource(store::DataSource* source)
{
    for (const auto& c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_source = source;
    if (source) {
        auto update = [this] {
            if (!m_writing)
                refresh();
        };
        m_connections << connect(source, &QAbstractItemModel::modelReset, this, update);
        if (store::Table* t = source->table()) {
            m_connections << connect(t, &store::Table::cursorMoved, this, update);
            m_connections << connect(t, &store::Table::dataChanged, this, update);
            m_connections << connect(t, &store::Table::stateChanged, this, update);
        }
    }
    refresh();
}

void TFieldLink::setDataField(const QString& field)
{
    m_field = field;
    refresh();
}

void TFieldLink::refresh()
{
    m_refused = false;
    QString text;
    if (bound()) {
        store::Table* t = table();
        const bool hasRecord = t->state() != store::Table::State::Browse || !t->isEmpty();
        if (hasRecord)
            text = t->fieldByName(m_field).asString();
    }
    m_show(text);
}

void TFieldLink::userEdited()
{
    if (!bound())
        return;
    store::Table* t = table();
    m_writing = true;
    try {
        t->edit();
        t->fieldByName(m_field).setAsString(m_text());
        m_refused = false;
    } catch (const store::StoreError&) {
        m_refused = true;
    }
    m_writing = false;
    emit edited();
}

void TFieldLink::updateRecord()
{
    if (!m_refused || !bound())
        return;
    m_writing = true;
    try {
        table()->fieldByName(m_field).setAsString(m_text());
    } catch (...) {
        m_writing = false;
        throw;
    }
    m_writing = false;
    m_refused = false;
}

TDBEdit::TDBEdit(const char* name, QWidget* parent)
    : QLineEdit(parent)
    , m_link(new TFieldLink(
          this, [this] { return text(); },
          [this](const QString& t) {
              setText(t);
              setCursorPosition(0);
          }))
{
    setObjectName(QLatin1String(name));
    connect(this, &QLineEdit::textEdited, m_link, &TFieldLink::userEdited);
}

TDBMemo::TDBMemo(const char* name, QWidget* parent)
    : QPlainTextEdit(parent)
    , m_link(new TFieldLink(
          this, [this] { return toPlainText(); },
          [this](const QString& t) {
              m_showing = true;
              setPlainText(t);
              m_showing = false;
          }))
{
    setObjectName(QLatin1String(name));
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_showing)
            m_link->userEdited();
    });
}
