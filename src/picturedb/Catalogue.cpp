#include "picturedb/Catalogue.h"

#include "store/DataMod.h"
#include "store/Table.h"
#include "store/TableOps.h"

namespace picturedb {

namespace {

const QString kName = QStringLiteral("DB名称");
const QString kPassword = QStringLiteral("パスワード");
const QString kIndexMode = QStringLiteral("索引");
const QString kItemNumber = QStringLiteral("項目連番");
const QString kItemName = QStringLiteral("項目名");
const QString kAttribute = QStringLiteral("属性");
const QString kWidth = QStringLiteral("幅");
const QString kSerial = QStringLiteral("連番");
const QString kStandardItems = QStringLiteral("_Photo");

} // namespace

std::optional<store::FieldType> TypeOfAttribute(const QString& letter)
{
    if (letter == u"A")
        return store::FieldType::Text;
    if (letter == u"S")
        return store::FieldType::Long;
    if (letter == u"D")
        return store::FieldType::Date;
    if (letter == u"M")
        return store::FieldType::Memo;
    return std::nullopt;
}

QString AttributeOfType(store::FieldType type)
{
    switch (type) {
    case store::FieldType::Text:
        return QStringLiteral("A");
    case store::FieldType::Long:
        return QStringLiteral("S");
    case store::FieldType::Date:
    case store::FieldType::DateTime:
        return QStringLiteral("D");
    case store::FieldType::Memo:
        return QStringLiteral("M");
    default:
        return QString();
    }
}

QString ImageKindOf(const QString& extension)
{
    if (extension == u".JPG")
        return QStringLiteral("JPEG");
    if (extension == u".GIF")
        return QStringLiteral("GIF");
    if (extension == u".BMP")
        return QStringLiteral("BMP");
    return extension.mid(1, 3);
}

QString UpperExtensionOf(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || path.indexOf(u'/', dot) >= 0)
        return QString();
    return path.mid(dot).toUpper();
}

QString FileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

bool isValidDatabaseName(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(u'_') && !name.endsWith(u'_');
}

QString imageTableName(const QString& database)
{
    return database + QLatin1Char('_');
}

QString ItemNameRefusal(const QStringList& systemNames, const QStringList& before, const QStringList& after)
{
    for (qsizetype k = 0; k < after.size(); ++k) {
        const QString& name = after[k];
        if (name == before.value(k))
            continue;
        if (name.trimmed().isEmpty())
            return QStringLiteral("項目名を入力してください");
        // As in database names: a name is also written into statements.
        if (name.contains(u'"'))
            return QStringLiteral("項目名に \" は使えません");
        // The store tells names apart without letter case.
        if (systemNames.contains(name, Qt::CaseInsensitive))
            return QStringLiteral("システム項目と同じ名前は使えません");
        for (qsizetype j = 0; j < after.size(); ++j)
            if (j != k && after[j].compare(name, Qt::CaseInsensitive) == 0)
                return QStringLiteral("項目名が重複しています");
    }
    return QString();
}

Catalogue::Catalogue(store::DataMod& dm)
    : m_dm(dm)
{
}

bool Catalogue::LocateRecord(qint32 serial)
{
    store::Table& records = *m_dm.TaPhoto;
    store::openIfClosed(records);
    records.setIndexName(QString());
    return records.findKey({serial});
}

qint32 Catalogue::NextRecordSerial()
{
    store::Store& s = m_dm.store();
    if (s.isServer()) {
        // Other writers of a shared database take theirs after this one
        // commits, and the highest is read from the table, not a handle.
        const QString table = s.storedName(m_dm.TaPhoto->tableName());
        s.lockForWriting(table);
        const QVariant last = s.value(QStringLiteral("SELECT max(%1) FROM %2")
                                          .arg(store::Store::quoted(kSerial), store::Store::quoted(table)));
        return last.isNull() ? 1 : last.toInt() + 1;
    }
    store::Table& second = *m_dm.TaPhoto2;
    store::openIfClosed(second);
    second.setIndexName(QString());
    second.last();
    const QString last = second.isEmpty() ? QString() : second.fieldByName(kSerial).asString();
    const qint32 next = last.isEmpty() ? 1 : second.fieldByName(kSerial).asInteger() + 1;
    second.close();
    return next;
}

bool Catalogue::LocateImage(qint32 serial)
{
    store::Table& images = *m_dm.TaImage;
    store::openIfClosed(images);
    images.setIndexName(QString());
    return images.findKey({serial});
}

bool Catalogue::AddCatalogueEntry(const QString& name, const QString& password, bool indexMode)
{
    store::Table& catalogue = *m_dm.TaIndex;
    store::openIfClosed(catalogue);
    catalogue.insert();
    try {
        catalogue.fieldByName(kName).setAsString(name);
        catalogue.fieldByName(kPassword).setAsString(password);
        catalogue.fieldByName(kIndexMode).setAsBoolean(indexMode);
        catalogue.post();
    } catch (const store::StoreError&) {
        catalogue.cancel();
        return false;
    }
    return true;
}

bool Catalogue::CatalogueHas(const QString& name)
{
    store::Table& catalogue = *m_dm.TaIndex;
    store::openIfClosed(catalogue);
    catalogue.setIndexName(QString());
    return catalogue.findKey({name});
}

void Catalogue::RemoveCatalogueEntries(const QString& name)
{
    store::Table& catalogue = *m_dm.TaIndex;
    store::openIfClosed(catalogue);
    catalogue.setIndexName(QString());
    catalogue.findNearest({name});
    while (!catalogue.eof() && !catalogue.isEmpty() && catalogue.fieldByName(kName).asString() == name) {
        if (!store::removeAndGoOn(catalogue))
            break;
    }
}

bool Catalogue::PutItem(const QString& itemName, const QString& letter, qint32 width, qint32 number)
{
    store::Table& items = *m_dm.TaItem;
    store::openIfClosed(items);
    items.cancelRange();
    items.setIndexName(QString());
    const bool found = items.findKey({number});
    if (found) {
        items.edit();
    } else {
        items.insert();
        items.fieldByName(kItemNumber).setAsInteger(number);
    }
    items.fieldByName(kItemName).setAsString(itemName);
    items.fieldByName(kAttribute).setAsString(letter);
    items.fieldByName(kWidth).setAsInteger(width);
    items.post();
    return !found;
}

bool Catalogue::AddUserField(QList<store::FieldDef>& layout, const QString& itemName, const QString& letter,
                             qint32 width)
{
    const std::optional<store::FieldType> type = TypeOfAttribute(letter);
    if (!type)
        return false;
    layout << store::FieldDef{itemName, *type, width, false};
    return true;
}

void Catalogue::ListTableItems()
{
    store::Table& records = *m_dm.TaPhoto;
    store::openIfClosed(records);
    const QList<store::FieldDef> fields = records.fieldDefs();
    store::Batch batch(records.store());
    for (int p = kFirstUserField; p < fields.size(); ++p)
        PutItem(fields[p].name, AttributeOfType(fields[p].type), fields[p].size, p - kFirstUserField + 1);
    batch.commit();
}

void Catalogue::ClearItems()
{
    store::Table& items = *m_dm.TaItem;
    items.close();
    items.store().emptyTable(items.tableName());
    items.open();
}

bool Catalogue::LoadStandardItems()
{
    ClearItems();
    store::Table& model = *m_dm.TaModel;
    store::openIfClosed(model);
    model.setIndexName(QString());
    bool inserted = false;
    for (model.first(); !model.eof() && model.fieldByName(kName).asString() == kStandardItems; model.next()) {
        const qint32 number = model.fieldByName(kItemNumber).asString().isEmpty()
                                  ? 0
                                  : model.fieldByName(kItemNumber).asInteger();
        if (number > 0) {
            inserted = PutItem(model.fieldByName(kItemName).asString(), model.fieldByName(kAttribute).asString(),
                               model.fieldByName(kWidth).asString().isEmpty()
                                   ? 0
                                   : model.fieldByName(kWidth).asInteger(),
                               number)
                       || inserted;
        }
    }
    model.close();
    return inserted;
}

QStringList Catalogue::userFieldLabels()
{
    store::Table& records = *m_dm.TaPhoto;
    store::openIfClosed(records);
    QStringList labels;
    const int count = records.fieldCount();
    for (int p = kFirstUserField; p < count && labels.size() < kMaxUserItems; ++p)
        labels << records.field(p).displayLabel();
    return labels;
}

} // namespace picturedb
