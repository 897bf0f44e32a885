#pragma once

// Edits bound to one field of a data source's handle. They show the current
// record's value and follow the handle; what the user types goes into the
// field, the handle entering its edit state at the first change. A text that
// the field cannot take (not a number for a number field) stays in the edit
// and is refused by updateRecord(), which a form calls before it posts.

#include <QLineEdit>
#include <QObject>
#include <QPlainTextEdit>
#include <functional>

namespace store {
class DataSource;
class Table;
} // namespace store

// The binding that both edits share.
class TFieldLink : public QObject {
    Q_OBJECT
public:
    TFieldLink(QWidget* edit, std::function<QString()> text, std::function<void(const QString&)> show);

    void setDataSource(store::DataSource* source);
    store::DataSource* dataSource() const { return m_source; }
    void setDataField(const QString& field);
    QString dataField() const { return m_field; }

    // Shows the current record's value.
    void refresh();
    // The user changed the text.
    void userEdited();
    // Writes a text the field refused before; raises StoreError when it still does.
    void updateRecord();

signals:
    void edited();

private:
    store::Table* table() const;
    bool bound() const;

    QWidget* m_edit;
    std::function<QString()> m_text;
    std::function<void(const QString&)> m_show;
    store::DataSource* m_source = nullptr;
    QString m_field;
    bool m_writing = false;
    bool m_refused = false;
    QList<QMetaObject::Connection> m_connections;
};

class TDBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDBEdit(const char* name, QWidget* parent = nullptr);
    TFieldLink& link() { return *m_link; }
    void setDataSource(store::DataSource* source) { m_link->setDataSource(source); }
    void setDataField(const QString& field) { m_link->setDataField(field); }
    QString dataField() const { return m_link->dataField(); }
    void updateRecord() { m_link->updateRecord(); }

private:
    TFieldLink* m_link;
};

class TDBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TDBMemo(const char* name, QWidget* parent = nullptr);
    TFieldLink& link() { return *m_link; }
    void setDataSource(store::DataSource* source) { m_link->setDataSource(source); }
    void setDataField(const QString& field) { m_link->setDataField(field); }
    QString dataField() const { return m_link->dataField(); }
    void updateRecord() { m_link->updateRecord(); }

private:
    TFieldLink* m_link;
    bool m_showing = false;
};
