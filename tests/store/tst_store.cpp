#include "support/TempPhoto.h"

#include "store/DataSource.h"
#include "store/Fingerprints.h"
#include "store/FixedTables.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>
#include <functional>
#include <memory>

using namespace store;

namespace store {
// How a comparison that fails shows a field or an index.
char* toString(const FieldDef& f)
{
    return QTest::toString(QStringLiteral("%1 type %2 size %3%4")
                               .arg(f.name)
                               .arg(int(f.type))
                               .arg(f.size)
                               .arg(f.required ? QStringLiteral(" required") : QString()));
}
char* toString(const IndexDef& ix)
{
    return QTest::toString(QStringLiteral("%1 (%2)%3%4")
                               .arg(ix.primary ? QStringLiteral("primary") : ix.name, ix.fields.join(u','),
                                    ix.primary ? QString() : QStringLiteral(" secondary"),
                                    ix.unique ? QStringLiteral(" unique") : QString()));
}
} // namespace store

namespace {

const QString kLink = QStringLiteral("_Link.db");

// The message of the StoreError that f raises; empty when it raises none.
QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const StoreError& e) {
        return e.message().isEmpty() ? QStringLiteral("(empty message)") : e.message();
    }
    return {};
}

void addLink(Table& t, int no, const QString& url, const QString& comment = QString())
{
    t.insert();
    t.fieldByName(QStringLiteral("No")).setAsInteger(no);
    t.fieldByName(QStringLiteral("URL")).setAsString(url);
    t.fieldByName(QStringLiteral("Comment")).setAsString(comment);
    t.post();
}

QList<int> walkNumbers(Table& t, const QString& field = QStringLiteral("No"))
{
    QList<int> seen;
    t.first();
    while (!t.eof()) {
        seen << t.fieldByName(field).asInteger();
        t.next();
    }
    return seen;
}

// The record table of a picture database as the program lays it out.
QList<FieldDef> recordTableFields()
{
    return {{QStringLiteral("連番"), FieldType::Short, 0, true},
            {QStringLiteral("画像種別"), FieldType::Text, 4, false},
            {QStringLiteral("サイズ"), FieldType::Short, 0, false},
            {QStringLiteral("パスワード"), FieldType::Text, 16, false},
            {QStringLiteral("更新日"), FieldType::Date, 0, false},
            {QStringLiteral("分類"), FieldType::Text, 20, false},
            {QStringLiteral("タイトル"), FieldType::Text, 60, false},
            {QStringLiteral("ファイル名"), FieldType::Text, 128, false},
            {QStringLiteral("説明"), FieldType::Memo, 0, false}};
}

// A fixed table as the template must hold it.
struct ExpectedTable {
    QString name;
    QList<FieldDef> fields;
    QList<IndexDef> indexes;
    bool isProtected = false;
    QStringList rows; // the records, their fields' texts joined by '|'
};

// The fixed tables written out by hand. Names, types, keys and indexes are
// fixed; the text widths left open are the ones the template was made with:
// 255 for hosts, addresses and paths, 20 for the status words, 2 for the
// mark, 40 for database and item names, 128 for the salted password hash.
// 連番 and サイズ of the model record table are 32-bit.
QList<ExpectedTable> expectedFixedTables()
{
    using T = FieldType;
    auto text = [](const char* name, int size) { return FieldDef{QString::fromUtf8(name), T::Text, size, false}; };
    auto of = [](const char* name, T type) { return FieldDef{QString::fromUtf8(name), type, 0, false}; };
    auto required = [](const char* name, T type) { return FieldDef{QString::fromUtf8(name), type, 0, true}; };
    auto key = [](std::initializer_list<const char*> fields) {
        IndexDef ix{QString(), {}, true, true};
        for (const char* f : fields)
            ix.fields << QString::fromUtf8(f);
        return ix;
    };
    auto index = [](const char* name, bool unique) {
        return IndexDef{QString::fromUtf8(name), {QString::fromUtf8(name)}, false, unique};
    };
    const IndexDef keyURL{QStringLiteral("KeyURL"), {QStringLiteral("URL")}, false, true};
    const QList<FieldDef> standardRecord{required("連番", T::Long), text("画像種別", 4), of("サイズ", T::Long),
                                         text("パスワード", 16), of("更新日", T::Date), text("分類", 20),
                                         text("タイトル", 60), text("ファイル名", 128), of("説明", T::Memo)};
    return {
        {QStringLiteral("_Link.db"),
         {of("No", T::Long), text("Host", 255), text("URL", 255), of("Link", T::Long), of("Date", T::DateTime),
          of("Mode", T::Long), text("Comment", 20)},
         {key({"No"}), keyURL}, true, {}},
        {QStringLiteral("_LinkIMG.db"),
         {of("No", T::Long), text("Host", 255), text("URL", 255), of("Date", T::DateTime), of("Mode", T::Long),
          text("Comment", 20), text("印", 2)},
         {key({"No"}), keyURL}, true, {}},
        {QStringLiteral("_host"),
         {text("Host", 255), of("Level", T::Long), of("Link", T::Long), of("URL", T::Long), of("Image", T::Long),
          text("System", 20), of("Date", T::DateTime)},
         {key({"Host"}), index("Link", false)}, true, {}},
        {QStringLiteral("_List.db"),
         {text("フルパス名", 255), text("ファイル名", 255), of("サイズ", T::Long), of("作成日", T::DateTime),
          of("探索日", T::Date), text("印", 2)},
         {key({"フルパス名"}), index("作成日", false), index("サイズ", false), index("ファイル名", false)}, true, {}},
        {QStringLiteral("_INDEX.DB"),
         {text("DB名称", 40), text("パスワード", 128), of("索引", T::Bool)},
         {key({"DB名称"})}, false, {QStringLiteral("Sample||False")}},
        {QStringLiteral("_ITEM.DB"),
         {of("項目連番", T::Long), text("項目名", 40), text("属性", 1), of("幅", T::Long), text("DB名称", 40),
          text("KEY", 1)},
         {key({"項目連番"})}, false, {}},
        {QStringLiteral("_Model.DB"),
         {text("DB名称", 40), of("項目連番", T::Long), text("項目名", 40), text("属性", 1), of("幅", T::Long)},
         {key({"DB名称", "項目連番"})}, false,
         {QStringLiteral("_Photo|1|分類|A|20"), QStringLiteral("_Photo|2|タイトル|A|60"),
          QStringLiteral("_Photo|3|ファイル名|A|128"), QStringLiteral("_Photo|4|説明|M|0")}},
        {QStringLiteral("_PHOTO.DB"), standardRecord, {key({"連番"})}, false, {}},
        {QStringLiteral("Sample"), standardRecord, {key({"連番"})}, false, {}},
        {QStringLiteral("Sample_"), {required("連番", T::Long), of("画像", T::Bytes), of("BMP", T::Graphic)},
         {key({"連番"})}, false, {}},
    };
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b)
            bytes.append(char(round == 1 ? 255 - b : b));
    return bytes;
}

} // namespace

class TstStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempPhoto> m_photo;
    std::unique_ptr<Store> m_store;

    // A handle on _Link.db with records No 1..n, URL http://h/<No>.
    std::unique_ptr<Table> linkTable(int n)
    {
        m_store->registerPassword(explorationTablePassword());
        auto t = std::make_unique<Table>(*m_store, kLink);
        t->open();
        for (int i = 1; i <= n; ++i)
            addLink(*t, i, QStringLiteral("http://h/%1").arg(i));
        t->first();
        return t;
    }

private slots:
    void init()
    {
        m_photo = std::make_unique<TempPhoto>();
        QVERIFY(m_photo->isValid());
        QCOMPARE(Store::photoDirectory(), m_photo->dir());
        m_store = std::make_unique<Store>();
    }

    void cleanup()
    {
        m_store.reset();
        m_photo.reset();
    }

    // Each fixed table of the template, as written out by hand above.
    void templateHoldsTheFixedTables_data()
    {
        QTest::addColumn<QList<FieldDef>>("fields");
        QTest::addColumn<QList<IndexDef>>("indexes");
        QTest::addColumn<bool>("isProtected");
        QTest::addColumn<QStringList>("rows");
        for (const ExpectedTable& e : expectedFixedTables())
            QTest::newRow(qPrintable(e.name)) << e.fields << e.indexes << e.isProtected << e.rows;
    }
    void templateHoldsTheFixedTables()
    {
        QFETCH(QList<FieldDef>, fields);
        QFETCH(QList<IndexDef>, indexes);
        QFETCH(bool, isProtected);
        QFETCH(QStringList, rows);
        const QString name = QString::fromUtf8(QTest::currentDataTag());
        QStringList names = m_store->tableNames(), expectedNames;
        for (const ExpectedTable& e : expectedFixedTables())
            expectedNames << e.name;
        names.sort();
        expectedNames.sort();
        QCOMPARE(names, expectedNames);

        QCOMPARE(m_store->fieldDefs(name), fields);
        QCOMPARE(m_store->indexDefs(name), indexes);
        QCOMPARE(m_store->mayOpen(name), !isProtected);
        m_store->registerPassword(QStringLiteral("qzk4097"));
        QVERIFY(m_store->mayOpen(name));
        Table t(*m_store, name);
        t.open();
        QStringList held;
        for (t.first(); !t.eof(); t.next()) {
            QStringList cells;
            for (int i = 0; i < t.fieldCount(); ++i)
                cells << t.field(i).asString();
            held << cells.join(u'|');
        }
        QCOMPARE(held, rows);
    }

    void missingTableAndStoreAreReported()
    {
        Table t(*m_store, QStringLiteral("_Nothing.db"));
        const QString message = errorOf([&] { t.open(); });
        QVERIFY2(message.contains(QStringLiteral("_Nothing.db")), qPrintable(message));
        QVERIFY(!t.isOpen());

        QTemporaryDir empty;
        QVERIFY(!errorOf([&] { Store s(empty.path()); }).isEmpty());
        QVERIFY(!QFileInfo::exists(QDir(empty.path()).filePath(Store::fileName())));
    }

    // A damaged store file, or a file that is no store, stops the opening
    // with a message naming the file, not a later read. A store too large to
    // read through at opening opens at once; the check that the caller then
    // runs on another thread finds the damage.
    void damagedStoreIsFound_data()
    {
        QTest::addColumn<QByteArray>("damage"); // written over the file from byte 8192 on, or its middle
        QTest::addColumn<bool>("wholeFile");
        QTest::addColumn<bool>("large");
        QTest::newRow("a page of the tables overwritten") << QByteArray(4096, char(0xA5)) << false << false;
        QTest::newRow("no store at all") << QByteArray("just some text\n") << true << false;
        QTest::newRow("a page of a large store overwritten") << QByteArray(4096, char(0xA5)) << false << true;
    }
    void damagedStoreIsFound()
    {
        QFETCH(QByteArray, damage);
        QFETCH(bool, wholeFile);
        QFETCH(bool, large);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(Store::fileName());
        QVERIFY(QFile::copy(QStringLiteral(QUILLON_TEMPLATE_STORE), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        if (large) {
            Store s(dir.path());
            s.exec(QStringLiteral("CREATE TABLE bulk (b BLOB)"));
            s.exec(QStringLiteral("INSERT INTO bulk VALUES (randomblob(?))"), {Store::kCheckAtOpenBytes + 4096});
        }
        QCOMPARE(Store::checkFile(path), QStringLiteral("ok"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite | (wholeFile ? QIODevice::Truncate : QIODevice::OpenMode())));
        if (!wholeFile)
            QVERIFY(f.seek(large ? f.size() / 2 : 8192));
        f.write(damage);
        f.close();
        QVERIFY(Store::checkFile(path) != QStringLiteral("ok"));
        if (large) {
            Store s(dir.path());
            QVERIFY(s.checkDeferred());
            return;
        }
        const QString message = errorOf([&] { Store s(dir.path()); });
        QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("バックアップ")), qPrintable(message));
    }

    // The first rows of an order are read without the whole order, and
    // stay right after writes; a row further on reads the whole order.
    void firstRowsWithoutTheWholeOrder()
    {
        auto t = linkTable(300);
        t->refresh();
        const int loads = t->snapshotLoadCount();
        QCOMPARE(t->recordAt(0).value(0).toInt(), 1);
        QCOMPARE(t->recordAt(255).value(0).toInt(), 256);
        QCOMPARE(t->snapshotLoadCount(), loads);
        auto writer = std::make_unique<Table>(*m_store, kLink);
        writer->open();
        addLink(*writer, 0, QStringLiteral("http://h/0"));
        writer->findKey({2});
        writer->remove();
        QCOMPARE(t->recordAt(0).value(0).toInt(), 0);
        QCOMPARE(t->recordAt(2).value(0).toInt(), 3);
        QCOMPARE(t->recordAt(299).value(0).toInt(), 300);
        QCOMPARE(t->snapshotLoadCount(), loads + 1);
        QVERIFY(t->recordAt(300).isEmpty());
    }

    // A post that would give a key, primary or unique, to a second record is
    // refused: the handle keeps the record as typed, and nothing is written.
    void duplicateKeyIsRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("clash"); // record 1's value of it
        QTest::newRow("primary key No") << QStringLiteral("No") << QStringLiteral("1");
        QTest::newRow("unique index KeyURL") << QStringLiteral("URL") << QStringLiteral("http://h/1");
    }
    void duplicateKeyIsRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, clash);
        auto t = linkTable(2);
        t->insert();
        t->fieldByName(QStringLiteral("No")).setAsInteger(3);
        t->fieldByName(QStringLiteral("URL")).setAsString(QStringLiteral("http://other/"));
        t->fieldByName(field).setAsString(clash);
        QVERIFY(!errorOf([&] { t->post(); }).isEmpty());
        QCOMPARE(t->state(), Table::State::Insert);
        QCOMPARE(t->fieldByName(field).asString(), clash);
        QCOMPARE(t->fieldByName(QStringLiteral("URL")).asString(),
                 field == u"URL" ? clash : QStringLiteral("http://other/"));
        t->cancel();
        QCOMPARE(t->state(), Table::State::Browse);
        QCOMPARE(t->recordCount(), 2);
        QCOMPARE(walkNumbers(*t), (QList<int>{1, 2}));

        // Changing a key onto another record's key is refused the same way.
        t->findKey({2});
        t->edit();
        t->fieldByName(field).setAsString(clash);
        QVERIFY(!errorOf([&] { t->post(); }).isEmpty());
        QCOMPARE(t->state(), Table::State::Edit);
        t->cancel();
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 2);
        QCOMPARE(t->fieldByName(QStringLiteral("URL")).asString(), QStringLiteral("http://h/2"));
        Table other(*m_store, kLink);
        other.open();
        QVERIFY(other.findKey({2}));
        QCOMPARE(other.fieldByName(QStringLiteral("URL")).asString(), QStringLiteral("http://h/2"));

        if (field != u"No")
            return;
        // An unset key is a key too: only one record may have it.
        t->insert();
        t->fieldByName(QStringLiteral("URL")).setAsString(QStringLiteral("http://a/"));
        t->post();
        t->insert();
        t->fieldByName(QStringLiteral("URL")).setAsString(QStringLiteral("http://b/"));
        QVERIFY(!errorOf([&] { t->post(); }).isEmpty());
        t->cancel();
        QCOMPARE(t->recordCount(), 3);
    }

    void pendingEditIsWrittenWhenTheCursorMoves_data()
    {
        QTest::addColumn<QString>("move");
        for (const char* m : {"first", "next", "prior", "last", "moveTo", "findKey", "findKeyMiss", "findNearest",
                              "refresh", "insert", "setIndexName"})
            QTest::newRow(m) << QString::fromLatin1(m);
    }

    void pendingEditIsWrittenWhenTheCursorMoves()
    {
        QFETCH(QString, move);
        auto t = linkTable(3);
        QVERIFY(t->findKey({2}));
        t->edit();
        t->fieldByName(QStringLiteral("Comment")).setAsString(QStringLiteral("changed"));

        if (move == u"first")
            t->first();
        else if (move == u"next")
            t->next();
        else if (move == u"prior")
            t->prior();
        else if (move == u"last")
            t->last();
        else if (move == u"moveTo")
            t->moveTo(0);
        else if (move == u"findKey")
            QVERIFY(t->findKey({3}));
        else if (move == u"findKeyMiss")
            QVERIFY(!t->findKey({99}));
        else if (move == u"findNearest")
            t->findNearest({1});
        else if (move == u"refresh")
            t->refresh();
        else if (move == u"insert")
            t->insert();
        else if (move == u"setIndexName")
            t->setIndexName(QStringLiteral("KeyURL"));

        QVERIFY(t->state() != Table::State::Edit);
        Table other(*m_store, kLink);
        other.open();
        QVERIFY(other.findKey({2}));
        QCOMPARE(other.fieldByName(QStringLiteral("Comment")).asString(), QStringLiteral("changed"));
    }

    void unchangedPendingRecordIsDropped()
    {
        auto t = linkTable(3);
        // An insert nothing was written into never becomes a record.
        t->insert();
        t->next();
        QCOMPARE(t->state(), Table::State::Browse);
        QCOMPARE(t->recordCount(), 3);

        t->findKey({2});
        t->edit();
        t->next();
        QCOMPARE(t->state(), Table::State::Browse);
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 3);

        // A pending insert with values is written, and the cursor stands on it.
        t->insert();
        t->fieldByName(QStringLiteral("No")).setAsInteger(10);
        t->fieldByName(QStringLiteral("URL")).setAsString(QStringLiteral("http://new/"));
        t->first();
        QCOMPARE(t->recordCount(), 4);
        t->insert();
        t->fieldByName(QStringLiteral("No")).setAsInteger(0);
        t->post();
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 0);
        QCOMPARE(t->recNo(), 0);
        t->next();
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 1);
    }

    void handlesSeeEachOthersPostsAfterRefresh()
    {
        auto writer = linkTable(2);
        Table reader(*m_store, kLink);
        reader.open();
        QCOMPARE(reader.fieldByName(QStringLiteral("No")).asInteger(), 1);

        addLink(*writer, 3, QStringLiteral("http://h/3"));
        writer->findKey({1});
        writer->edit();
        writer->fieldByName(QStringLiteral("Comment")).setAsString(QStringLiteral("終了"));
        writer->post();

        reader.refresh();
        QCOMPARE(reader.fieldByName(QStringLiteral("No")).asInteger(), 1);
        QCOMPARE(reader.fieldByName(QStringLiteral("Comment")).asString(), QStringLiteral("終了"));
        QCOMPARE(reader.recordCount(), 3);
        QCOMPARE(walkNumbers(reader), (QList<int>{1, 2, 3}));

        // Deleted through one handle, gone for the other after a refresh.
        writer->findKey({2});
        writer->remove();
        reader.refresh();
        QCOMPARE(walkNumbers(reader), (QList<int>{1, 3}));
    }

    void findKeyMovesOnlyOnAHit()
    {
        auto t = linkTable(5);
        QVERIFY(t->findKey({4}));
        QCOMPARE(t->fieldByName(QStringLiteral("URL")).asString(), QStringLiteral("http://h/4"));
        QCOMPARE(t->recNo(), 3);

        QVERIFY(!t->findKey({42}));
        QCOMPARE(t->recNo(), 3);
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 4);
        QVERIFY(!t->eof());

        // A key given as text is converted to the field's type.
        QVERIFY(t->findKey({QStringLiteral("2")}));
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 2);

        t->setIndexName(QStringLiteral("KeyURL"));
        QCOMPARE(t->indexFields(), QStringList{QStringLiteral("URL")});
        QVERIFY(t->findKey({QStringLiteral("http://h/5")}));
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 5);
        QVERIFY(!t->findKey({QStringLiteral("http://h/")}));
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 5);

        QVERIFY(!errorOf([&] { t->setIndexName(QStringLiteral("NoSuchIndex")); }).isEmpty());
        QCOMPARE(t->indexName(), QStringLiteral("KeyURL"));

        // Leading fields of a two-field key.
        Table model(*m_store, QStringLiteral("_Model.DB"));
        model.open();
        model.last();
        QVERIFY(model.findKey({QStringLiteral("_Photo")}));
        QCOMPARE(model.fieldByName(QStringLiteral("項目連番")).asInteger(), 1);
        QVERIFY(model.findKey({QStringLiteral("_Photo"), 3}));
        QCOMPARE(model.fieldByName(QStringLiteral("項目名")).asString(), QStringLiteral("ファイル名"));
        QVERIFY(!model.findKey({QStringLiteral("_photo")}));
        model.findNearest({QStringLiteral("_Photo"), 2});
        QCOMPARE(model.fieldByName(QStringLiteral("項目連番")).asInteger(), 2);
        model.findNearest({QStringLiteral("_Photo"), 5});
        QCOMPARE(model.fieldByName(QStringLiteral("項目連番")).asInteger(), 4);
        model.findNearest({QStringLiteral("_Photn"), 9});
        QCOMPARE(model.fieldByName(QStringLiteral("項目連番")).asInteger(), 1);
    }

    void findNearest_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QVariant>("key");
        QTest::addColumn<int>("expectedNo");
        // Records No 10, 20, 30 with URL http://h/c, http://h/a, http://h/b.
        QTest::newRow("between keys") << QString() << QVariant(15) << 20;
        QTest::newRow("exact") << QString() << QVariant(20) << 20;
        QTest::newRow("before the first") << QString() << QVariant(-5) << 10;
        QTest::newRow("past the end") << QString() << QVariant(31) << 30;
        QTest::newRow("unset value") << QString() << QVariant() << 10;
        QTest::newRow("text between") << QStringLiteral("KeyURL") << QVariant(QStringLiteral("http://h/aa")) << 30;
        QTest::newRow("text prefix") << QStringLiteral("KeyURL") << QVariant(QStringLiteral("http://")) << 20;
        QTest::newRow("text past the end") << QStringLiteral("KeyURL") << QVariant(QStringLiteral("z")) << 10;
    }

    void findNearest()
    {
        QFETCH(QString, index);
        QFETCH(QVariant, key);
        QFETCH(int, expectedNo);
        m_store->registerPassword(explorationTablePassword());
        Table t(*m_store, kLink);
        t.open();
        addLink(t, 10, QStringLiteral("http://h/c"));
        addLink(t, 20, QStringLiteral("http://h/a"));
        addLink(t, 30, QStringLiteral("http://h/b"));
        t.setIndexName(index);
        t.findNearest({key});
        QVERIFY(!t.eof());
        QCOMPARE(t.fieldByName(QStringLiteral("No")).asInteger(), expectedNo);
    }

    void editOnAnEmptyTableInserts()
    {
        Table t(*m_store, QStringLiteral("_INDEX.DB"));
        t.open();
        t.remove(); // the template's one database
        QVERIFY(t.isEmpty());
        QVERIFY(t.eof());
        t.edit();
        QCOMPARE(t.state(), Table::State::Insert);
        t.fieldByName(QStringLiteral("DB名称")).setAsString(QStringLiteral("Sample"));
        t.fieldByName(QStringLiteral("索引")).setAsBoolean(true);
        t.post();
        QCOMPARE(t.recordCount(), 1);
        QVERIFY(!t.eof());
        QCOMPARE(t.fieldByName(QStringLiteral("DB名称")).asString(), QStringLiteral("Sample"));
        QVERIFY(t.fieldByName(QStringLiteral("索引")).asBoolean());
        QCOMPARE(t.fieldByName(QStringLiteral("パスワード")).asString(), QString());

        // With a record there, edit edits it.
        t.edit();
        QCOMPARE(t.state(), Table::State::Edit);
        t.cancel();
    }

    void removeLeavesTheCursorOnTheFollowingRecord()
    {
        auto t = linkTable(4);
        t->moveTo(1);
        t->remove();
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 3);
        QCOMPARE(t->recNo(), 1);
        QVERIFY(!t->eof());

        t->last();
        t->remove();
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 3);
        QCOMPARE(t->recNo(), 1);
        QVERIFY(!t->eof());

        t->remove();
        t->remove();
        QVERIFY(t->eof());
        QVERIFY(t->isEmpty());
        QVERIFY(t->fieldByName(QStringLiteral("No")).isNull());
        QVERIFY(!errorOf([&] { t->remove(); }).isEmpty());

        // Deleting marked records in a walk visits every record once.
        for (int i = 1; i <= 7; ++i)
            addLink(*t, i, QStringLiteral("http://h/%1").arg(i), i % 3 == 0 ? QString() : QStringLiteral("〆"));
        t->first();
        int deleted = 0;
        while (!t->eof()) {
            if (t->fieldByName(QStringLiteral("Comment")).asString() == u"〆") {
                t->remove();
                ++deleted;
            } else {
                t->next();
            }
        }
        QCOMPARE(deleted, 5);
        QCOMPARE(walkNumbers(*t), (QList<int>{3, 6}));
    }

    void walkAndEnds()
    {
        auto t = linkTable(0);
        QVERIFY(t->eof());
        QVERIFY(t->bof());
        QCOMPARE(walkNumbers(*t), QList<int>{});
        t->next();
        QVERIFY(t->eof());

        addLink(*t, 2, QStringLiteral("http://h/b"));
        addLink(*t, 3, QStringLiteral("http://h/a"));
        addLink(*t, 1, QStringLiteral("http://h/c"));
        QCOMPARE(walkNumbers(*t), (QList<int>{1, 2, 3}));
        t->setIndexName(QStringLiteral("KeyURL"));
        QCOMPARE(walkNumbers(*t), (QList<int>{3, 2, 1}));
        QVERIFY(t->eof());
        // After running off the end the cursor still stands on the last record.
        QCOMPARE(t->fieldByName(QStringLiteral("No")).asInteger(), 1);

        QList<int> backwards;
        t->last();
        while (!t->bof()) {
            backwards << t->fieldByName(QStringLiteral("No")).asInteger();
            t->prior();
        }
        QCOMPARE(backwards, (QList<int>{1, 2, 3}));
    }

    void blobRoundTrip()
    {
        // The template's image table of the database Sample.
        QTemporaryDir files;
        const QByteArray bytes = allByteValues();
        const QString in = files.filePath(QStringLiteral("in.bin"));
        {
            QFile f(in);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
        }
        QImage picture(7, 5, QImage::Format_ARGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgba(x * 36, y * 60, (x * y) % 256, 255 - x));

        {
            Table t(*m_store, QStringLiteral("Sample_"));
            t.open();
            t.insert();
            t.fieldByName(QStringLiteral("連番")).setAsInteger(1);
            t.fieldByName(QStringLiteral("画像")).loadFromFile(in);
            t.fieldByName(QStringLiteral("BMP")).setImage(picture);
            t.post();
            t.insert();
            t.fieldByName(QStringLiteral("連番")).setAsInteger(2);
            t.fieldByName(QStringLiteral("画像")).setAsString(QStringLiteral("www"));
            t.post();
        }

        Table t(*m_store, QStringLiteral("Sample_"));
        t.open();
        QVERIFY(t.findKey({1}));
        QCOMPARE(t.fieldByName(QStringLiteral("画像")).asBytes(), bytes);
        const QString out = files.filePath(QStringLiteral("out.bin"));
        t.fieldByName(QStringLiteral("画像")).saveToFile(out);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
        const QImage back = t.fieldByName(QStringLiteral("BMP")).asImage();
        QCOMPARE(back.size(), picture.size());
        QCOMPARE(back.convertToFormat(QImage::Format_ARGB32), picture);

        QVERIFY(t.findKey({2}));
        QCOMPARE(t.fieldByName(QStringLiteral("画像")).asBytes(), QByteArray("www"));
        QVERIFY(t.fieldByName(QStringLiteral("BMP")).asImage().isNull());
        QVERIFY(!errorOf([&] { t.fieldByName(QStringLiteral("画像")).saveToFile(files.filePath(QStringLiteral("no/such/dir"))); })
                     .isEmpty());
        t.edit();
        QVERIFY(!errorOf([&] { t.fieldByName(QStringLiteral("画像")).loadFromFile(files.filePath(QStringLiteral("missing"))); })
                     .isEmpty());
        t.cancel();
    }

    void protectedTablesNeedTheirPassword()
    {
        Table t(*m_store, kLink);
        QString message = errorOf([&] { t.open(); });
        QVERIFY2(message.contains(kLink), qPrintable(message));
        m_store->registerPassword(QStringLiteral("wrong"));
        QVERIFY(!errorOf([&] { t.open(); }).isEmpty());
        m_store->registerPassword(explorationTablePassword());
        t.open();
        QVERIFY(t.isOpen());
        t.close();
        m_store->dropAllPasswords();
        QVERIFY(!errorOf([&] { t.open(); }).isEmpty());
        QVERIFY(!t.isOpen());

        // Passwords belong to one store.
        Store other(m_photo->dir());
        other.registerPassword(explorationTablePassword());
        QVERIFY(other.mayOpen(kLink));
        QVERIFY(!m_store->mayOpen(kLink));

        Table catalogue(*m_store, QStringLiteral("_INDEX.DB"));
        catalogue.open();
        QVERIFY(catalogue.isOpen());
    }

    void definitionsReadBack()
    {
        const QList<FieldDef> fields{{QStringLiteral("名前"), FieldType::Text, 33, true},
                                     {QStringLiteral("小"), FieldType::Short, 0, false},
                                     {QStringLiteral("大"), FieldType::Long, 0, true},
                                     {QStringLiteral("日"), FieldType::Date, 0, false},
                                     {QStringLiteral("日時"), FieldType::DateTime, 0, false},
                                     {QStringLiteral("メモ"), FieldType::Memo, 0, false},
                                     {QStringLiteral("真偽"), FieldType::Bool, 0, false},
                                     {QStringLiteral("バイト"), FieldType::Bytes, 0, false},
                                     {QStringLiteral("絵"), FieldType::Graphic, 0, false}};
        const QList<IndexDef> indexes{{QString(), {QStringLiteral("大"), QStringLiteral("名前")}, true, true},
                                      {QStringLiteral("KeyName"), {QStringLiteral("名前")}, false, true},
                                      {QStringLiteral("ByDay"), {QStringLiteral("日"), QStringLiteral("小")}, false, false}};
        m_store->createTable(QStringLiteral("Trial"), fields, indexes);
        QCOMPARE(m_store->fieldDefs(QStringLiteral("Trial")), fields);
        QCOMPARE(m_store->indexDefs(QStringLiteral("Trial")), indexes);

        Table t(*m_store, QStringLiteral("Trial"));
        t.open();
        QCOMPARE(t.fieldDefs(), fields);
        QCOMPARE(t.fieldCount(), fields.size());
        QCOMPARE(t.field(0).size(), 33);
        QCOMPARE(t.field(1).type(), FieldType::Short);
        QCOMPARE(t.fieldByName(QStringLiteral("絵")).type(), FieldType::Graphic);
        QVERIFY(!errorOf([&] { t.fieldByName(QStringLiteral("無い")); }).isEmpty());
        QVERIFY(!errorOf([&] { t.field(fields.size()); }).isEmpty());

        // The width of a non-text field is passed and ignored.
        m_store->createTable(QStringLiteral("Sized"), {{QStringLiteral("n"), FieldType::Long, 12, false}}, {});
        QCOMPARE(m_store->fieldDefs(QStringLiteral("Sized")).value(0).size, 0);

        QVERIFY(!errorOf([&] { m_store->createTable(QStringLiteral("Trial"), fields, {}); }).isEmpty());
        QVERIFY(!errorOf([&] {
                    m_store->createTable(QStringLiteral("Bad"), fields,
                                         {{QStringLiteral("x"), {QStringLiteral("無い")}, false, false}});
                }).isEmpty());
        QVERIFY(!m_store->tableExists(QStringLiteral("Bad")));
    }

    void emptyRenameAndDelete()
    {
        m_store->createTable(QStringLiteral("Trial"), recordTableFields(),
                             {{QString(), {QStringLiteral("連番")}, true, true},
                              {QStringLiteral("KeyTitle"), {QStringLiteral("タイトル")}, false, true}});
        Table t(*m_store, QStringLiteral("Trial"));
        t.open();
        for (int i = 1; i <= 3; ++i) {
            t.insert();
            t.fieldByName(QStringLiteral("連番")).setAsInteger(i);
            t.fieldByName(QStringLiteral("タイトル")).setAsString(QStringLiteral("t%1").arg(i));
            t.post();
        }
        t.emptyTable();
        QVERIFY(t.isEmpty());
        QVERIFY(t.eof());
        QCOMPARE(m_store->countRows(QStringLiteral("Trial")), 0);
        t.insert();
        t.fieldByName(QStringLiteral("連番")).setAsInteger(1);
        t.fieldByName(QStringLiteral("タイトル")).setAsString(QStringLiteral("海"));
        t.post();

        QVERIFY(!errorOf([&] { t.renameTable(QStringLiteral("Sample2")); }).isEmpty());
        t.close();
        t.renameTable(QStringLiteral("Sample2"));
        QCOMPARE(t.tableName(), QStringLiteral("Sample2"));
        QVERIFY(!m_store->tableExists(QStringLiteral("Trial")));
        QVERIFY(m_store->tableExists(QStringLiteral("Sample2")));
        QCOMPARE(m_store->indexDefs(QStringLiteral("Sample2")).value(1).name, QStringLiteral("KeyTitle"));
        t.setIndexName(QStringLiteral("KeyTitle"));
        t.open();
        QCOMPARE(t.recordCount(), 1);
        QVERIFY(t.findKey({QStringLiteral("海")}));
        t.insert();
        t.fieldByName(QStringLiteral("連番")).setAsInteger(2);
        t.fieldByName(QStringLiteral("タイトル")).setAsString(QStringLiteral("海"));
        QVERIFY(!errorOf([&] { t.post(); }).isEmpty());
        t.cancel();
        t.close();

        // A name freed by a rename can be used again, with indexes of its own.
        m_store->createTable(QStringLiteral("Trial"), recordTableFields(),
                             {{QStringLiteral("KeyTitle"), {QStringLiteral("タイトル")}, false, false}});
        QVERIFY(m_store->tableExists(QStringLiteral("Trial")));

        t.deleteTable();
        QVERIFY(!m_store->tableExists(QStringLiteral("Sample2")));
        QVERIFY(!errorOf([&] { t.open(); }).isEmpty());

        // Protection goes with the table's name.
        m_store->protectTable(QStringLiteral("Trial"), QStringLiteral("pw"));
        m_store->renameTable(QStringLiteral("Trial"), QStringLiteral("Renamed"));
        QVERIFY(!m_store->mayOpen(QStringLiteral("Renamed")));
        QVERIFY(m_store->mayOpen(QStringLiteral("Trial")));
    }

    void queryWithTargetParameters()
    {
        // The template's database Sample, with the standard items.
        Table t(*m_store, QStringLiteral("Sample"));
        t.open();
        const QList<QStringList> rows{{QStringLiteral("夏の海"), QStringLiteral("風景")},
                                      {QStringLiteral("海辺"), QStringLiteral("夏")},
                                      {QStringLiteral("山"), QStringLiteral("冬")},
                                      {QStringLiteral("川"), QStringLiteral("夏祭り")},
                                      {QStringLiteral("森"), QStringLiteral("秋")}};
        for (int i = 0; i < rows.size(); ++i) {
            t.insert();
            t.fieldByName(QStringLiteral("連番")).setAsInteger(i + 1);
            t.fieldByName(QStringLiteral("タイトル")).setAsString(rows[i][0]);
            t.fieldByName(QStringLiteral("分類")).setAsString(rows[i][1]);
            t.fieldByName(QStringLiteral("更新日")).setAsDate(QDate(2024, 7, i + 1));
            t.post();
        }

        Query q(*m_store);
        q.setSql(QStringLiteral("Select 連番, サイズ, 更新日, 画像種別, 分類, タイトル, ファイル名, 説明 from  \"Sample\" "
                                "where (\"Sample\".\"タイトル\" Like  :target0 ) or  (\"Sample\".\"分類\" Like  "
                                ":target2 )  order by タイトル desc"));
        q.setParam(QStringLiteral("target0"), QStringLiteral("%海%"));
        q.setParam(QStringLiteral("target2"), QStringLiteral("%夏%"));
        q.open();
        QCOMPARE(q.fieldNames(), (QStringList{QStringLiteral("連番"), QStringLiteral("サイズ"), QStringLiteral("更新日"),
                                              QStringLiteral("画像種別"), QStringLiteral("分類"), QStringLiteral("タイトル"),
                                              QStringLiteral("ファイル名"), QStringLiteral("説明")}));
        QList<int> found;
        int counted = 0;
        for (q.first(); !q.eof(); q.next()) {
            found << q.value(0).toInt();
            ++counted;
        }
        // タイトル descending in code-point order: 海辺, 川, 夏の海.
        QCOMPARE(found, (QList<int>{2, 4, 1}));
        QCOMPARE(q.recordCount(), counted);
        q.first();
        QCOMPARE(q.value(QStringLiteral("更新日")).toDate(), QDate(2024, 7, 2));
        QVERIFY(!errorOf([&] { q.value(QStringLiteral("無い")); }).isEmpty());

        // Without conditions every record is found in the order asked for.
        q.close();
        q.clearSql();
        q.setSql(QStringLiteral("Select 連番, サイズ, 更新日, 画像種別, 分類, タイトル, ファイル名, 説明 from  \"Sample\" "
                                "order by 連番"));
        q.open();
        QCOMPARE(q.recordCount(), 5);
        QCOMPARE(q.recordAt(4).value(0).toInt(), 5);

        // Gaps in the numbering of the parameters do no harm.
        q.setSql(QStringLiteral("Select 連番 from  \"Sample\" where (\"Sample\".\"タイトル\" Like  :target1 ) and  "
                                "(\"Sample\".\"分類\" Like  :target3 )  order by 連番"));
        q.setParam(QStringLiteral("target1"), QStringLiteral("%海%"));
        q.setParam(QStringLiteral("target3"), QStringLiteral("%景%"));
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.value(0).toInt(), 1);

        // A refused statement raises the store's own message.
        q.setSql(QStringLiteral("Select 連番, 無い項目 from  \"Sample\" order by 連番"));
        const QString message = errorOf([&] { q.open(); });
        QVERIFY2(message.contains(QStringLiteral("無い項目")), qPrintable(message));
        QVERIFY(!q.isOpen());
    }

    void integerRanges_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<qlonglong>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("short max") << QStringLiteral("小") << 32767LL << true;
        QTest::newRow("short max+1") << QStringLiteral("小") << 32768LL << false;
        QTest::newRow("short min") << QStringLiteral("小") << -32768LL << true;
        QTest::newRow("short min-1") << QStringLiteral("小") << -32769LL << false;
        QTest::newRow("long max") << QStringLiteral("大") << 2147483647LL << true;
        QTest::newRow("long max+1") << QStringLiteral("大") << 2147483648LL << false;
        QTest::newRow("long min-1") << QStringLiteral("大") << -2147483649LL << false;
    }

    void integerRanges()
    {
        QFETCH(QString, field);
        QFETCH(qlonglong, value);
        QFETCH(bool, accepted);
        m_store->createTable(QStringLiteral("Numbers"),
                             {{QStringLiteral("小"), FieldType::Short, 0, false},
                              {QStringLiteral("大"), FieldType::Long, 0, false}},
                             {});
        Table t(*m_store, QStringLiteral("Numbers"));
        t.open();
        t.insert();
        t.fieldByName(field).setValue(value);
        const QString message = errorOf([&] { t.post(); });
        QCOMPARE(message.isEmpty(), accepted);
        if (accepted) {
            t.refresh();
            QCOMPARE(qlonglong(t.fieldByName(field).asInteger()), value);
        } else {
            QCOMPARE(t.state(), Table::State::Insert);
            t.cancel();
            QCOMPARE(t.recordCount(), 0);
        }
    }

    void fieldConversions()
    {
        m_store->createTable(QStringLiteral("Kinds"),
                             {{QStringLiteral("text"), FieldType::Text, 20, false},
                              {QStringLiteral("num"), FieldType::Long, 0, false},
                              {QStringLiteral("day"), FieldType::Date, 0, false},
                              {QStringLiteral("when"), FieldType::DateTime, 0, false},
                              {QStringLiteral("flag"), FieldType::Bool, 0, false},
                              {QStringLiteral("req"), FieldType::Text, 5, true}},
                             {{QStringLiteral("ByWhen"), {QStringLiteral("when")}, false, false}});
        Table t(*m_store, QStringLiteral("Kinds"));
        t.open();
        t.insert();
        QVERIFY(!errorOf([&] { t.post(); }).isEmpty()); // a required field is unset
        t.fieldByName(QStringLiteral("req")).setAsString(QStringLiteral("x"));
        t.post();
        QCOMPARE(t.fieldByName(QStringLiteral("text")).asString(), QString());
        QCOMPARE(t.fieldByName(QStringLiteral("num")).asInteger(), 0);
        QCOMPARE(t.fieldByName(QStringLiteral("text")).asInteger(), 0);
        QVERIFY(!t.fieldByName(QStringLiteral("flag")).asBoolean());
        QVERIFY(!t.fieldByName(QStringLiteral("when")).asDateTime().isValid());

        // Writing outside an edit is refused.
        QVERIFY(!errorOf([&] { t.fieldByName(QStringLiteral("num")).setAsInteger(1); }).isEmpty());

        t.edit();
        QVERIFY(!errorOf([&] { t.fieldByName(QStringLiteral("num")).setAsString(QStringLiteral("abc")); }).isEmpty());
        QVERIFY(!errorOf([&] { t.fieldByName(QStringLiteral("day")).setAsString(QStringLiteral("2024/13/40")); })
                     .isEmpty());
        t.fieldByName(QStringLiteral("num")).setAsString(QStringLiteral(" 12 "));
        t.fieldByName(QStringLiteral("text")).setAsInteger(-7);
        t.fieldByName(QStringLiteral("day")).setAsString(QStringLiteral("2024/02/29"));
        const QDateTime when(QDate(2023, 12, 31), QTime(23, 59, 58, 123));
        t.fieldByName(QStringLiteral("when")).setAsDateTime(when);
        t.fieldByName(QStringLiteral("flag")).setAsBoolean(true);
        t.post();
        t.refresh();
        QCOMPARE(t.fieldByName(QStringLiteral("num")).asInteger(), 12);
        QCOMPARE(t.fieldByName(QStringLiteral("text")).asString(), QStringLiteral("-7"));
        QCOMPARE(t.fieldByName(QStringLiteral("text")).asInteger(), -7);
        QCOMPARE(t.fieldByName(QStringLiteral("day")).asDate(), QDate(2024, 2, 29));
        QCOMPARE(t.fieldByName(QStringLiteral("day")).asString(), QStringLiteral("2024/02/29"));
        QCOMPARE(t.fieldByName(QStringLiteral("when")).asDateTime(), when);
        QCOMPARE(t.fieldByName(QStringLiteral("when")).asString(), QStringLiteral("2023/12/31 23:59:58"));
        QVERIFY(t.fieldByName(QStringLiteral("flag")).asBoolean());
        QVERIFY(!errorOf([&] { t.fieldByName(QStringLiteral("req")).asInteger(); }).isEmpty());

        // Date-times order by time, across years and milliseconds.
        const QList<QDateTime> times{QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0, 2)),
                                     QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0, 10)),
                                     QDateTime(QDate(999, 5, 5), QTime(12, 0)),
                                     QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0, 1))};
        for (const QDateTime& dt : times) {
            t.insert();
            t.fieldByName(QStringLiteral("req")).setAsString(QStringLiteral("y"));
            t.fieldByName(QStringLiteral("when")).setAsDateTime(dt);
            t.post();
        }
        t.setIndexName(QStringLiteral("ByWhen"));
        QList<QDateTime> walked;
        for (t.first(); !t.eof(); t.next())
            if (t.fieldByName(QStringLiteral("req")).asString() == u"y")
                walked << t.fieldByName(QStringLiteral("when")).asDateTime();
        QList<QDateTime> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(walked, sorted);
    }

    // A posted record stays in the handle as it was written; what the handle
    // then shows must be what any handle reading the row shows, for every
    // kind of field, and the columns hold the texts they always held.
    void postedRecordReadsAsWritten_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("whenText"); // the columns' texts
        QTest::addColumn<QString>("dayText");
        const QDate d(2024, 2, 29);
        QTest::newRow("local with milliseconds") << QDateTime(d, QTime(13, 4, 5, 67)) << d
                                                 << "2024-02-29T13:04:05.067" << "2024-02-29";
        QTest::newRow("midnight") << QDateTime(d, QTime(0, 0)) << QDate(2000, 1, 1) << "2024-02-29T00:00:00.000"
                                  << "2000-01-01";
        QTest::newRow("last millisecond") << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 999)) << d
                                          << "2023-12-31T23:59:59.999" << "2024-02-29";
        QTest::newRow("three-digit year") << QDateTime(QDate(999, 5, 5), QTime(12, 0)) << QDate(999, 5, 5)
                                          << "0999-05-05T12:00:00.000" << "0999-05-05";
        QTest::newRow("first and last four-digit years") << QDateTime(QDate(1, 1, 1), QTime(1, 2, 3))
                                                         << QDate(9999, 12, 31) << "0001-01-01T01:02:03.000"
                                                         << "9999-12-31";
        // A zone is not kept: the column holds the time as the value states it.
        QTest::newRow("utc") << QDateTime(d, QTime(1, 2, 3, 4), Qt::UTC) << d << "2024-02-29T01:02:03.004"
                             << "2024-02-29";
        QTest::newRow("fixed offset") << QDateTime(d, QTime(22, 30), Qt::OffsetFromUTC, 9 * 3600) << d
                                      << "2024-02-29T22:30:00.000" << "2024-02-29";
        // Past four digits the year takes what room it needs, a sign before it.
        QTest::newRow("five-digit year") << QDateTime(QDate(10000, 1, 1), QTime(0, 0)) << QDate(12345, 6, 7)
                                         << "10000-01-01T00:00:00.000" << "12345-06-07";
        QTest::newRow("year before 1") << QDateTime(QDate(-5, 3, 3), QTime(3, 3)) << QDate(-44, 3, 15)
                                       << "-0005-03-03T03:03:00.000" << "-0044-03-15";
    }
    void postedRecordReadsAsWritten()
    {
        QFETCH(QDateTime, when);
        QFETCH(QDate, day);
        QFETCH(QString, whenText);
        QFETCH(QString, dayText);
        const QString table = QStringLiteral("Every");
        m_store->createTable(table,
                             {{QStringLiteral("key"), FieldType::Text, 20, true},
                              {QStringLiteral("memo"), FieldType::Memo, 0, false},
                              {QStringLiteral("small"), FieldType::Short, 0, false},
                              {QStringLiteral("num"), FieldType::Long, 0, false},
                              {QStringLiteral("day"), FieldType::Date, 0, false},
                              {QStringLiteral("when"), FieldType::DateTime, 0, false},
                              {QStringLiteral("flag"), FieldType::Bool, 0, false},
                              {QStringLiteral("blob"), FieldType::Bytes, 0, false},
                              {QStringLiteral("unset"), FieldType::Text, 8, false}},
                             {{QString(), {QStringLiteral("key")}, true, true},
                              {QStringLiteral("ByWhen"), {QStringLiteral("when")}, false, false}});
        Table writer(*m_store, table);
        writer.open();
        writer.insert();
        writer.fieldByName(QStringLiteral("key")).setAsString(QStringLiteral("k"));
        writer.fieldByName(QStringLiteral("memo")).setAsString(QStringLiteral("行\n二"));
        writer.fieldByName(QStringLiteral("small")).setAsInteger(-32768);
        writer.fieldByName(QStringLiteral("num")).setAsString(QStringLiteral("2147483647"));
        writer.fieldByName(QStringLiteral("day")).setAsDate(day);
        writer.fieldByName(QStringLiteral("when")).setAsDateTime(when);
        writer.fieldByName(QStringLiteral("flag")).setAsBoolean(true);
        writer.fieldByName(QStringLiteral("blob")).setAsBytes(allByteValues());
        writer.post();
        QCOMPARE(writer.state(), Table::State::Browse);
        QVERIFY(!writer.modified());

        Table reader(*m_store, table);
        reader.open();
        QVERIFY(reader.findKey({QStringLiteral("k")}));
        for (int i = 0; i < writer.fieldCount(); ++i) {
            const QVariant kept = writer.field(i).value();
            const QVariant read = reader.field(i).value();
            QVERIFY2(kept == read && kept.typeId() == read.typeId(),
                     qPrintable(QStringLiteral("%1: %2 kept, %3 read")
                                    .arg(writer.field(i).name(), kept.toString(), read.toString())));
            if (kept.typeId() == QMetaType::QDateTime)
                QCOMPARE(kept.toDateTime().timeSpec(), read.toDateTime().timeSpec());
            QCOMPARE(writer.field(i).asString(), reader.field(i).asString());
        }

        // The texts in the columns.
        QSqlQuery q(m_store->db());
        QVERIFY(q.exec(QStringLiteral("SELECT \"day\", \"when\" FROM \"Every\"")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), dayText);
        QCOMPARE(q.value(1).toString(), whenText);

        // The kept record is a real position of the cursor.
        QCOMPARE(writer.recNo(), 0);
        writer.next();
        QVERIFY(writer.eof());
        writer.first();
        QCOMPARE(writer.fieldByName(QStringLiteral("key")).asString(), QStringLiteral("k"));
    }

    // Date and date-time texts of every accepted shape, and texts that look
    // like them but name no real moment.
    void dateTimeTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: refused
        const QDateTime none;
        QTest::newRow("display") << "2024/03/04 05:06:07" << QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7));
        QTest::newRow("display, padded by spaces") << "  2024/03/04 05:06:07 "
                                                   << QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7));
        QTest::newRow("column") << "2024-03-04T05:06:07.089" << QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7, 89));
        QTest::newRow("short fields") << "2024/3/4 5:06:07" << QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7));
        QTest::newRow("without seconds") << "2024/03/04 05:06" << QDateTime(QDate(2024, 3, 4), QTime(5, 6));
        QTest::newRow("dashes and a space") << "2024-03-04 05:06:07.500"
                                            << QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7, 500));
        QTest::newRow("date only") << "2024-03-04" << QDate(2024, 3, 4).startOfDay();
        QTest::newRow("no 30th of February") << "2024/02/30 05:06:07" << none;
        QTest::newRow("no hour 24") << "2024-03-04T24:00:00.000" << none;
        QTest::newRow("no minute 60") << "2024/03/04 05:60:07" << none;
        QTest::newRow("no year 0") << "0000-01-01T00:00:00.000" << none;
        QTest::newRow("slashes with a T") << "2024/03/04T05:06:07" << none;
        QTest::newRow("letters for digits") << "2024-O3-04T05:06:07.000" << none;
    }
    void dateTimeTexts()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        m_store->createTable(QStringLiteral("Times"),
                             {{QStringLiteral("when"), FieldType::DateTime, 0, false},
                              {QStringLiteral("day"), FieldType::Date, 0, false}},
                             {});
        Table t(*m_store, QStringLiteral("Times"));
        t.open();
        t.insert();
        const QString whenError = errorOf([&] { t.fieldByName(QStringLiteral("when")).setAsString(text); });
        const QString dayError = errorOf([&] { t.fieldByName(QStringLiteral("day")).setAsString(text); });
        if (!expected.isValid()) {
            QVERIFY(!whenError.isEmpty());
            QVERIFY(!dayError.isEmpty());
            return;
        }
        QVERIFY2(whenError.isEmpty(), qPrintable(whenError));
        QVERIFY2(dayError.isEmpty(), qPrintable(dayError));
        t.post();
        t.refresh();
        QCOMPARE(t.fieldByName(QStringLiteral("when")).asDateTime(), expected);
        QCOMPARE(t.fieldByName(QStringLiteral("day")).asDate(), expected.date());
    }

    // Inside a long walk the log grows past its usual bound without being
    // copied into the store file; the copy follows the walk, off the
    // caller's thread. Outside a walk the usual bound holds again.
    void longWalkCopiesTheLogAfterItEnds()
    {
        const QString table = QStringLiteral("Walk");
        m_store->createTable(table,
                             {{QStringLiteral("n"), FieldType::Long, 0, false},
                              {QStringLiteral("memo"), FieldType::Memo, 0, false}},
                             {});
        const QString file = m_store->filePath();
        const QString memo(3000, QLatin1Char('m'));
        const qint64 logBound = qint64(Store::kLogPages) * 4096;
        Table t(*m_store, table);
        t.open();
        int n = 0;
        // About two pages a row: well past the usual bound, far below the walk's.
        auto write = [&](int rows) {
            for (int done = 0; done < rows; done += 100) {
                Batch batch(*m_store);
                for (int i = 0; i < 100; ++i) {
                    t.insert();
                    t.fieldByName(QStringLiteral("n")).setAsInteger(++n);
                    t.fieldByName(QStringLiteral("memo")).setAsString(memo);
                    t.post();
                }
                batch.commit();
            }
        };
        const qint64 before = QFileInfo(file).size();
        {
            LongWalk walk(*m_store);
            QVERIFY(m_store->inLongWalk());
            {
                LongWalk nested(*m_store);
                write(1000);
            }
            QVERIFY(m_store->inLongWalk());
            write(1000);
            QCOMPARE(QFileInfo(file).size(), before);
            QVERIFY(QFileInfo(file + QStringLiteral("-wal")).size() > 2 * logBound);
        }
        QVERIFY(!m_store->inLongWalk());
        // Copied on a thread of its own: tens of megabytes and a sync, which a
        // slow or busy disk takes its time over.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() > before + 2 * logBound, 120000);

        // Outside the walk commits copy the log again, once the copy on the
        // thread (which may still be going on a busy disk) has let go of it.
        const qint64 copied = QFileInfo(file).size();
        QTRY_VERIFY_WITH_TIMEOUT((write(100), QFileInfo(file).size() > copied), 120000);

        Store other(m_photo->dir());
        QCOMPARE(other.countRows(table), n);
    }

    void aWalkOfLargeValuesWritesThemOnce_data()
    {
        QTest::addColumn<bool>("otherOpen");   // another connection has the file open
        QTest::addColumn<bool>("midRecord");   // the crash comes inside a record's transaction
        QTest::newRow("crash between records") << false << false;
        QTest::newRow("crash inside a record") << false << true;
        QTest::newRow("another connection keeps the log") << true << false;
    }
    // Each value goes once into the store file, not into the log first; a
    // crash (the files copied as a killed process leaves them) keeps every
    // committed record and nothing else.
    void aWalkOfLargeValuesWritesThemOnce()
    {
        QFETCH(bool, otherOpen);
        QFETCH(bool, midRecord);
        const QString table = QStringLiteral("Pictures");
        m_store->createTable(table,
                             {{QStringLiteral("n"), FieldType::Long, 0, false},
                              {QStringLiteral("pic"), FieldType::Bytes, 0, false}},
                             {{QString(), {QStringLiteral("n")}, true, true}});
        std::unique_ptr<Store> other;
        if (otherOpen)
            other = std::make_unique<Store>(m_photo->dir());
        const QString file = m_store->filePath();
        constexpr int committed = 3;
        constexpr qint64 valueBytes = 3 << 20; // past the page cache: a record spills before it commits
        Table t(*m_store, table);
        t.open();
        auto write = [&](int n) {
            t.insert();
            t.fieldByName(QStringLiteral("n")).setAsInteger(n);
            t.fieldByName(QStringLiteral("pic")).setAsBytes(QByteArray(valueBytes, char(n)));
            t.post();
        };
        QTemporaryDir crashed;
        {
            LongWalk walk(*m_store, true);
            QCOMPARE(m_store->journalMode(), otherOpen ? QStringLiteral("wal") : QStringLiteral("delete"));
            const qint64 before = QFileInfo(file).size();
            for (int n = 1; n <= committed; ++n) {
                Batch batch(*m_store);
                write(n);
                batch.commit();
            }
            if (!otherOpen)
                QVERIFY(QFileInfo(file).size() >= before + committed * valueBytes);
            Batch open(*m_store);
            if (midRecord)
                write(committed + 1);
            for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal")})
                if (QFileInfo::exists(file + suffix))
                    QVERIFY(QFile::copy(file + suffix, crashed.filePath(Store::fileName() + suffix)));
        }
        QCOMPARE(m_store->journalMode(), QStringLiteral("wal"));
        QCOMPARE(m_store->countRows(table), committed);

        Store after(crashed.path());
        QCOMPARE(Store::checkFile(after.filePath()), QStringLiteral("ok"));
        QCOMPARE(after.journalMode(), QStringLiteral("wal"));
        QCOMPARE(after.countRows(table), committed);
        QCOMPARE(after.value(QStringLiteral("SELECT sum(length(pic)) FROM Pictures")).toLongLong(),
                 committed * valueBytes);
    }

    void dataSourceFollowsTheHandle()
    {
        m_store->registerPassword(explorationTablePassword());
        Table t(*m_store, QStringLiteral("_List.db"));
        DataSource source(&t);
        source.setColumns({QStringLiteral("作成日"), QStringLiteral("サイズ"), QStringLiteral("フルパス名"),
                           QStringLiteral("印")},
                          {QString(), QStringLiteral("大きさ")});
        QCOMPARE(source.rowCount(), 0); // closed
        t.open();
        const QList<std::tuple<QString, int, QDateTime>> files{
            {QStringLiteral("/p/b.jpg"), 300, QDateTime(QDate(2024, 3, 1), QTime(10, 0, 2))},
            {QStringLiteral("/p/a.jpg"), 100, QDateTime(QDate(2024, 1, 9), QTime(8, 5, 0))},
            {QStringLiteral("/p/c.jpg"), 200, QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58))}};
        for (const auto& [path, size, when] : files) {
            t.insert();
            t.fieldByName(QStringLiteral("フルパス名")).setAsString(path);
            t.fieldByName(QStringLiteral("サイズ")).setAsInteger(size);
            t.fieldByName(QStringLiteral("作成日")).setAsDateTime(when);
            t.post();
        }
        QCOMPARE(source.rowCount(), 3);
        QCOMPARE(source.columnCount(), 4);
        QCOMPARE(source.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("作成日"));
        QCOMPARE(source.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("大きさ"));
        auto column = [&](int c) {
            QStringList cells;
            for (int r = 0; r < source.rowCount(); ++r)
                cells << source.data(source.index(r, c), Qt::DisplayRole).toString();
            return cells;
        };
        QCOMPARE(column(2), (QStringList{QStringLiteral("/p/a.jpg"), QStringLiteral("/p/b.jpg"), QStringLiteral("/p/c.jpg")}));
        QCOMPARE(column(0).value(0), QStringLiteral("2024/01/09 08:05:00"));

        QSignalSpy resets(&source, &QAbstractItemModel::modelReset);
        t.setIndexName(QStringLiteral("サイズ"));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(column(1), (QStringList{QStringLiteral("100"), QStringLiteral("200"), QStringLiteral("300")}));
        t.setIndexName(QStringLiteral("作成日"));
        QCOMPARE(column(2), (QStringList{QStringLiteral("/p/c.jpg"), QStringLiteral("/p/a.jpg"), QStringLiteral("/p/b.jpg")}));

        // Switched off: nothing shown, the handle's changes ignored.
        source.setEnabled(false);
        QCOMPARE(source.rowCount(), 0);
        resets.clear();
        t.insert();
        t.fieldByName(QStringLiteral("フルパス名")).setAsString(QStringLiteral("/p/d.jpg"));
        t.post();
        t.close();
        QCOMPARE(resets.count(), 0);
        QCOMPARE(source.rowCount(), 0);
        t.open();
        source.setEnabled(true);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(source.rowCount(), 4);

        // Cells edit the record under them.
        QVERIFY(source.flags(source.index(0, 3)) & Qt::ItemIsEditable);
        QVERIFY(source.setData(source.index(1, 3), QStringLiteral("〆"), Qt::EditRole));
        QCOMPARE(t.state(), Table::State::Browse);
        t.setIndexName(QString());
        QVERIFY(t.findKey({QStringLiteral("/p/c.jpg")}));
        QCOMPARE(t.fieldByName(QStringLiteral("印")).asString(), QStringLiteral("〆"));
        // A refused change is cancelled: primary order is a, b, c, d.
        QVERIFY(!source.setData(source.index(3, 2), QStringLiteral("/p/a.jpg"), Qt::EditRole));
        QCOMPARE(t.state(), Table::State::Browse);
        QCOMPARE(column(2), (QStringList{QStringLiteral("/p/a.jpg"), QStringLiteral("/p/b.jpg"), QStringLiteral("/p/c.jpg"),
                                         QStringLiteral("/p/d.jpg")}));
        source.setReadOnly(true);
        QVERIFY(!source.setData(source.index(1, 3), QString(), Qt::EditRole));
        QVERIFY(!(source.flags(source.index(0, 3)) & Qt::ItemIsEditable));
    }

    void dataSourceOverAQuery()
    {
        Table t(*m_store, QStringLiteral("Sample"));
        t.open();
        t.insert();
        t.fieldByName(QStringLiteral("連番")).setAsInteger(1);
        t.fieldByName(QStringLiteral("更新日")).setAsDate(QDate(2024, 5, 6));
        t.post();
        Query q(*m_store);
        DataSource source(&q);
        q.setSql(QStringLiteral("Select 連番, 更新日 from  \"Sample\" order by 連番"));
        QCOMPARE(source.rowCount(), 0);
        q.open();
        QCOMPARE(source.rowCount(), 1);
        QCOMPARE(source.data(source.index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("2024/05/06"));
        source.setEnabled(false);
        QCOMPARE(source.rowCount(), 0);
        q.close();
        source.setEnabled(true);
        QCOMPARE(source.rowCount(), 0);
    }

    void postsDoNotRereadTheOrder()
    {
        // The exploration's pattern: one handle inserts, another finds the
        // next serial at the last record, many thousand times.
        m_store->registerPassword(explorationTablePassword());
        Table writer(*m_store, kLink);
        Table serial(*m_store, kLink);
        writer.open();
        serial.open();
        const int n = 20000;
        for (int i = 0; i < n; ++i) {
            serial.last();
            const int next = serial.eof() ? 1 : serial.fieldByName(QStringLiteral("No")).asInteger() + 1;
            writer.insert();
            writer.fieldByName(QStringLiteral("No")).setAsInteger(next);
            writer.fieldByName(QStringLiteral("URL")).setAsString(QStringLiteral("http://h/%1").arg(i));
            writer.post();
        }
        QCOMPARE(writer.recordCount(), n);
        QCOMPARE(writer.snapshotLoadCount(), 0);
        QCOMPARE(serial.snapshotLoadCount(), 0);
        QCOMPARE(writer.fieldByName(QStringLiteral("No")).asInteger(), n);

        // Moving on reads the order once; a walk that edits unindexed fields
        // keeps it.
        writer.first();
        int walked = 0;
        while (!writer.eof()) {
            writer.edit();
            writer.fieldByName(QStringLiteral("Mode")).setAsInteger(3);
            writer.post();
            writer.next();
            ++walked;
        }
        QCOMPARE(walked, n);
        QCOMPARE(writer.snapshotLoadCount(), 1);
        serial.refresh();
        QVERIFY(serial.findKey({n / 2}));
        QCOMPARE(serial.fieldByName(QStringLiteral("Mode")).asInteger(), 3);
    }

    void cursorMovedReportsThePosition()
    {
        auto grid = linkTable(5);
        Table writer(*m_store, kLink);
        writer.open();
        QSignalSpy moved(grid.get(), &Table::cursorMoved);
        grid->last();
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.last().at(0).toInt(), 4);

        // A grid handle refreshed after every write of another handle reads
        // its order once for the whole burst, not once per refresh.
        const int loads = grid->snapshotLoadCount();
        for (int i = 6; i <= 50; ++i) {
            addLink(writer, i, QStringLiteral("http://h/%1").arg(i));
            grid->refresh();
        }
        QVERIFY(grid->findKey({3}));
        QTRY_VERIFY(moved.count() > 1);
        QCOMPARE(moved.last().at(0).toInt(), 2);
        QVERIFY(grid->snapshotLoadCount() - loads <= 1);
        QCOMPARE(grid->recordCount(), 50);
    }

    void batchesCommitOnlyAtTheOutermostLevel()
    {
        auto t = linkTable(0);
        auto countElsewhere = [&] {
            Store other(m_photo->dir());
            return other.countRows(kLink);
        };
        m_store->beginBatch();
        m_store->beginBatch();
        QVERIFY(m_store->inBatch());
        addLink(*t, 1, QStringLiteral("http://h/1"));
        m_store->commitBatch();
        QCOMPARE(countElsewhere(), 0);
        addLink(*t, 2, QStringLiteral("http://h/2"));
        m_store->commitBatch();
        QVERIFY(!m_store->inBatch());
        QCOMPARE(countElsewhere(), 2);

        {
            Batch batch(*m_store);
            addLink(*t, 3, QStringLiteral("http://h/3"));
        } // left without commit: rolled back
        t->refresh();
        QCOMPARE(t->recordCount(), 2);
        QCOMPARE(countElsewhere(), 2);

        // An inner rollback spoils the outer commit.
        m_store->beginBatch();
        m_store->beginBatch();
        addLink(*t, 4, QStringLiteral("http://h/4"));
        m_store->rollbackBatch();
        QVERIFY(!errorOf([&] { m_store->commitBatch(); }).isEmpty());
        QVERIFY(!m_store->inBatch());
        t->refresh();
        QCOMPARE(walkNumbers(*t), (QList<int>{1, 2}));
    }
    // Side tables of fingerprints: a file's is valid only while its size and
    // time are the ones fingerprinted; a record's follows its database.
    void fingerprintsKept()
    {
        Fingerprints prints(*m_store);
        const QDateTime t0 = QDateTime::fromMSecsSinceEpoch(1700000000123);
        const Fingerprint a{sha256Of("a"), 0x8000000000000001ULL, QSize(3840, 2400)};
        const Fingerprint b{sha256Of("b"), std::nullopt, QSize()};
        prints.putFile("/p/a.jpg", 10, t0, a);
        prints.putFile("/p/copy.jpg", 10, t0, a);
        prints.putFile("/p/b.png", 20, t0, b);
        QCOMPARE(prints.file("/p/a.jpg", 10, t0), a);
        QCOMPARE(prints.file("/p/b.png", 20, t0), b);
        QCOMPARE(prints.file("/p/a.jpg", 11, t0), std::nullopt);
        QCOMPARE(prints.file("/p/a.jpg", 10, t0.addMSecs(1)), std::nullopt);
        QCOMPARE(prints.filesWithSha(sha256Of("a")), (QStringList{"/p/a.jpg", "/p/copy.jpg"}));
        prints.putFile("/p/copy.jpg", 12, t0, b);
        QCOMPARE(prints.filesWithSha(sha256Of("a")), QStringList{"/p/a.jpg"});
        // Rows without a hash in path order; a hash lands only on the bytes it was computed from.
        QCOMPARE(prints.nextFileWithoutHash({})->path, "/p/b.png");
        QCOMPARE(prints.nextFileWithoutHash("/p/b.png")->path, "/p/copy.jpg");
        QCOMPARE(prints.nextFileWithoutHash("/p/copy.jpg"), std::nullopt);
        prints.putFileHash({"/p/b.png", 20, t0, sha256Of("changed")}, 5, QSize(2, 1));
        QCOMPARE(prints.file("/p/b.png", 20, t0), b);
        prints.putFileHash({"/p/b.png", 20, t0, sha256Of("b")}, 5, QSize(2, 1));
        QCOMPARE(prints.file("/p/b.png", 20, t0), (Fingerprint{sha256Of("b"), 5, QSize(2, 1)}));

        prints.putRecord("Sample", 1, a);
        prints.putRecord("Sample", 2, a);
        prints.putRecord("Other", 1, b);
        QCOMPARE(prints.recordsWithSha("sample", sha256Of("a")), (QList<qint32>{1, 2}));
        prints.dropRecord("Sample", 1);
        QCOMPARE(prints.record("Sample", 1), std::nullopt);
        prints.renameDatabase("Sample", "Renamed");
        QCOMPARE(prints.record("Renamed", 2), a);
        prints.dropDatabase("Renamed");
        QCOMPARE(prints.recordsWithSha("Renamed", sha256Of("a")), QList<qint32>());
        QCOMPARE(prints.record("Other", 1), b);
        // A second handle finds the tables there.
        QCOMPARE(Fingerprints(*m_store).record("Other", 1), b);
        QCOMPARE(sha256OfFile("/nonexistent/x"), QByteArray());
    }
};

QTEST_MAIN(TstStore)
#include "tst_store.moc"
