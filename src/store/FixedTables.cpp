#include "store/FixedTables.h"

#include "store/Table.h"

namespace store {

namespace {

FieldDef text(const QString& name, int size)
{
    return FieldDef{name, FieldType::Text, size, false};
}

FieldDef typed(const QString& name, FieldType type, bool required = false)
{
    return FieldDef{name, type, 0, required};
}

IndexDef primaryKey(const QStringList& fields)
{
    return IndexDef{QString(), fields, true, true};
}

IndexDef secondary(const QString& name, const QStringList& fields, bool unique)
{
    return IndexDef{name, fields, false, unique};
}

} // namespace

QString explorationTablePassword()
{
    return QStringLiteral("qzk4097");
}

QList<FixedTableLayout> fixedTableLayouts()
{
    using T = FieldType;
    const QString password = explorationTablePassword();
    QList<FixedTableLayout> layouts;

    layouts << FixedTableLayout{
        QStringLiteral("_Link.db"),
        {typed(QStringLiteral("No"), T::Long), text(QStringLiteral("Host"), 255), text(QStringLiteral("URL"), 255),
         typed(QStringLiteral("Link"), T::Long), typed(QStringLiteral("Date"), T::DateTime),
         typed(QStringLiteral("Mode"), T::Long), text(QStringLiteral("Comment"), 20)},
        {primaryKey({QStringLiteral("No")}), secondary(QStringLiteral("KeyURL"), {QStringLiteral("URL")}, true)},
        password,
        {}};

    layouts << FixedTableLayout{
        QStringLiteral("_LinkIMG.db"),
        {typed(QStringLiteral("No"), T::Long), text(QStringLiteral("Host"), 255), text(QStringLiteral("URL"), 255),
         typed(QStringLiteral("Date"), T::DateTime), typed(QStringLiteral("Mode"), T::Long),
         text(QStringLiteral("Comment"), 20), text(QStringLiteral("印"), 2)},
        {primaryKey({QStringLiteral("No")}), secondary(QStringLiteral("KeyURL"), {QStringLiteral("URL")}, true)},
        password,
        {}};

    layouts << FixedTableLayout{
        QStringLiteral("_host"),
        {text(QStringLiteral("Host"), 255), typed(QStringLiteral("Level"), T::Long),
         typed(QStringLiteral("Link"), T::Long), typed(QStringLiteral("URL"), T::Long),
         typed(QStringLiteral("Image"), T::Long), text(QStringLiteral("System"), 20),
         typed(QStringLiteral("Date"), T::DateTime)},
        {primaryKey({QStringLiteral("Host")}), secondary(QStringLiteral("Link"), {QStringLiteral("Link")}, false)},
        password,
        {}};

    layouts << FixedTableLayout{
        QStringLiteral("_List.db"),
        {text(QStringLiteral("フルパス名"), 255), text(QStringLiteral("ファイル名"), 255),
         typed(QStringLiteral("サイズ"), T::Long), typed(QStringLiteral("作成日"), T::DateTime),
         typed(QStringLiteral("探索日"), T::Date), text(QStringLiteral("印"), 2)},
        {primaryKey({QStringLiteral("フルパス名")}),
         secondary(QStringLiteral("作成日"), {QStringLiteral("作成日")}, false),
         secondary(QStringLiteral("サイズ"), {QStringLiteral("サイズ")}, false),
         secondary(QStringLiteral("ファイル名"), {QStringLiteral("ファイル名")}, false)},
        password,
        {}};

    layouts << FixedTableLayout{
        QStringLiteral("_INDEX.DB"),
        // パスワード holds a salted hash of the password, longer than the password.
        {text(QStringLiteral("DB名称"), 40), text(QStringLiteral("パスワード"), 128),
         typed(QStringLiteral("索引"), T::Bool)},
        {primaryKey({QStringLiteral("DB名称")})},
        {},
        {{sampleDatabaseName(), QString(), false}}};

    layouts << FixedTableLayout{
        QStringLiteral("_ITEM.DB"),
        {typed(QStringLiteral("項目連番"), T::Long), text(QStringLiteral("項目名"), 40),
         text(QStringLiteral("属性"), 1), typed(QStringLiteral("幅"), T::Long), text(QStringLiteral("DB名称"), 40),
         text(QStringLiteral("KEY"), 1)},
        {primaryKey({QStringLiteral("項目連番")})},
        {},
        {}};

    const QString photo = QStringLiteral("_Photo");
    layouts << FixedTableLayout{
        QStringLiteral("_Model.DB"),
        {text(QStringLiteral("DB名称"), 40), typed(QStringLiteral("項目連番"), T::Long),
         text(QStringLiteral("項目名"), 40), text(QStringLiteral("属性"), 1), typed(QStringLiteral("幅"), T::Long)},
        {primaryKey({QStringLiteral("DB名称"), QStringLiteral("項目連番")})},
        {},
        {{photo, 1, QStringLiteral("分類"), QStringLiteral("A"), 20},
         {photo, 2, QStringLiteral("タイトル"), QStringLiteral("A"), 60},
         {photo, 3, QStringLiteral("ファイル名"), QStringLiteral("A"), 128},
         {photo, 4, QStringLiteral("説明"), QStringLiteral("M"), 0}}};

    // 連番 and サイズ are 32-bit: a database outgrows 32767 records, and
    // picture files are larger than 32767 bytes.
    const QList<FieldDef> standardRecord{
        typed(QStringLiteral("連番"), T::Long, true), text(QStringLiteral("画像種別"), 4),
        typed(QStringLiteral("サイズ"), T::Long),    text(QStringLiteral("パスワード"), 16),
        typed(QStringLiteral("更新日"), T::Date),    text(QStringLiteral("分類"), 20),
        text(QStringLiteral("タイトル"), 60),        text(QStringLiteral("ファイル名"), 128),
        typed(QStringLiteral("説明"), T::Memo)};
    layouts << FixedTableLayout{QStringLiteral("_PHOTO.DB"), standardRecord, {primaryKey({QStringLiteral("連番")})},
                                {}, {}};

    layouts << FixedTableLayout{sampleDatabaseName(), standardRecord, {primaryKey({QStringLiteral("連番")})}, {}, {}};
    layouts << FixedTableLayout{sampleDatabaseName() + QLatin1Char('_'), imageTableFields(), imageTableIndexes(),
                                {}, {}};

    return layouts;
}

QList<FieldDef> imageTableFields()
{
    return {typed(QStringLiteral("連番"), FieldType::Long, true), typed(QStringLiteral("画像"), FieldType::Bytes),
            typed(QStringLiteral("BMP"), FieldType::Graphic)};
}

QList<IndexDef> imageTableIndexes()
{
    return {primaryKey({QStringLiteral("連番")})};
}

QString sampleDatabaseName()
{
    return QStringLiteral("Sample");
}

namespace {

bool isExplorationTable(const FixedTableLayout& layout)
{
    // The exploration tables are the protected ones.
    return !layout.password.isEmpty();
}

void createLayouts(Store& store, bool picturesOnly)
{
    Batch batch(store);
    for (const FixedTableLayout& layout : fixedTableLayouts()) {
        if (picturesOnly && isExplorationTable(layout))
            continue;
        store.createTable(layout.name, layout.fields, layout.indexes);
        if (!layout.rows.isEmpty()) {
            Table t(store, layout.name);
            t.open();
            for (const QVariantList& row : layout.rows) {
                t.insert();
                for (int i = 0; i < row.size(); ++i)
                    t.field(i).setValue(row[i]);
                t.post();
            }
            t.close();
        }
        if (!layout.password.isEmpty())
            store.protectTable(layout.name, layout.password);
    }
    // The sample database's items are searched like those of any other.
    QStringList items;
    for (const FixedTableLayout& layout : fixedTableLayouts())
        if (layout.name == u"_Model.DB")
            for (const QVariantList& row : layout.rows)
                items << row[2].toString(); // 項目名
    store.indexForSearch(sampleDatabaseName(), items);
    batch.commit();
}

} // namespace

void createFixedTables(Store& store)
{
    createLayouts(store, false);
}

void createPictureTables(Store& store)
{
    createLayouts(store, true);
}

bool hasPictureTables(Store& store)
{
    for (const FixedTableLayout& layout : fixedTableLayouts())
        if (!isExplorationTable(layout) && !store.tableExists(layout.name))
            return false;
    return true;
}

} // namespace store
