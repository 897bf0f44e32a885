#include "picturedb/Catalogue.h"
#include "picturedb/PasswordHash.h"
#include "picturedb/Registration.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "support/PhotoData.h"
#include "support/TempPhoto.h"
#include "support/TestBackend.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace picturedb;
using store::FieldType;

// The catalogue and layout operations, the password hashes and the
// registration walks, on a store of their own without windows.
class TestCatalogue : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_photo = std::make_unique<TempPhoto>();
        m_store = std::make_unique<store::Store>(m_photo->dir());
        m_dm3 = std::make_unique<store::DataMd3>(*m_store);
        m_server = testbackend::pictureStore();
        m_dm = std::make_unique<store::DataMod>(m_server ? *m_server : *m_store);
        m_catalogue = std::make_unique<Catalogue>(*m_dm);
        useDatabase(QStringLiteral("Sample"));
        QVERIFY(m_files.isValid());
    }
    void cleanup()
    {
        m_catalogue.reset();
        m_dm.reset();
        m_server.reset();
        m_dm3.reset();
        m_store.reset();
        m_photo.reset();
    }

    void imageKindOf_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("kind");
        QTest::newRow("jpg") << ".JPG" << "JPEG";
        QTest::newRow("gif") << ".GIF" << "GIF";
        QTest::newRow("bmp") << ".BMP" << "BMP";
        QTest::newRow("lower case is not upper-cased here") << ".jpg" << "jpg";
        QTest::newRow("four letters give three") << ".JPEG" << "JPE";
        QTest::newRow("other") << ".PNG" << "PNG";
        QTest::newRow("short") << ".Z" << "Z";
        QTest::newRow("none") << "" << "";
    }
    void imageKindOf()
    {
        QFETCH(QString, extension);
        QFETCH(QString, kind);
        QCOMPARE(ImageKindOf(extension), kind);
    }

    void namesOfPaths()
    {
        QCOMPARE(FileNameOf(QStringLiteral("/a/b/c.jpg")), QStringLiteral("c.jpg"));
        QCOMPARE(FileNameOf(QStringLiteral("c.jpg")), QStringLiteral("c.jpg"));
        QCOMPARE(UpperExtensionOf(QStringLiteral("/a.b/c.Jpeg")), QStringLiteral(".JPEG"));
        QCOMPARE(UpperExtensionOf(QStringLiteral("/a.b/c")), QString());
    }

    // The letter written is the letter read back from the created table.
    void attributeLettersRoundTrip_data()
    {
        QTest::addColumn<QString>("letter");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("A") << "A" << true;
        QTest::newRow("S") << "S" << true;
        QTest::newRow("D") << "D" << true;
        QTest::newRow("M") << "M" << true;
        QTest::newRow("lower case") << "a" << false;
        QTest::newRow("two letters") << "AA" << false;
        QTest::newRow("empty") << "" << false;
    }
    void attributeLettersRoundTrip()
    {
        QFETCH(QString, letter);
        QFETCH(bool, accepted);
        QList<store::FieldDef> layout{{QStringLiteral("連番"), FieldType::Long, 0, true}};
        QCOMPARE(Catalogue::AddUserField(layout, QStringLiteral("項目"), letter, 30), accepted);
        QCOMPARE(layout.size(), accepted ? 2 : 1);
        if (!accepted)
            return;
        pictures().createTable(QStringLiteral("Letters"), layout, {});
        const QList<store::FieldDef> read = pictures().fieldDefs(QStringLiteral("Letters"));
        QCOMPARE(AttributeOfType(read.value(1).type), letter);
        QCOMPARE(read.value(1).size, letter == u"A" ? 30 : 0);
    }

    void nextRecordSerialIsTheHighestPlusOne()
    {
        QCOMPARE(m_catalogue->NextRecordSerial(), 1);
        for (int serial : {1, 2, 3})
            addRecord(serial);
        QCOMPARE(m_catalogue->NextRecordSerial(), 4);
        QVERIFY(m_catalogue->LocateRecord(3));
        m_dm->TaPhoto->remove();
        QCOMPARE(m_catalogue->NextRecordSerial(), 3);
        addRecord(3);
        QVERIFY(m_catalogue->LocateRecord(2));
        m_dm->TaPhoto->remove();
        QCOMPARE(m_catalogue->NextRecordSerial(), 4);
        QVERIFY(!m_catalogue->LocateRecord(2));
    }

    void catalogueEntries()
    {
        // Names sort around the one removed; a quote is just a character.
        for (const char* name : {"A", "B \"quoted\"", "C"})
            QVERIFY(m_catalogue->AddCatalogueEntry(QString::fromUtf8(name), QString(), false));
        QVERIFY(!m_catalogue->AddCatalogueEntry(QStringLiteral("A"), QStringLiteral("x"), true));
        QVERIFY(m_catalogue->CatalogueHas(QStringLiteral("B \"quoted\"")));
        m_catalogue->RemoveCatalogueEntries(QStringLiteral("B \"quoted\""));
        QVERIFY(!m_catalogue->CatalogueHas(QStringLiteral("B \"quoted\"")));
        QVERIFY(m_catalogue->CatalogueHas(QStringLiteral("A")));
        QVERIFY(m_catalogue->CatalogueHas(QStringLiteral("C")));
        QCOMPARE(m_dm->TaIndex->recordCount(), 3); // with the template's Sample
        QVERIFY(m_catalogue->CatalogueHas(QStringLiteral("A")));
        QCOMPARE(m_dm->TaIndex->fieldByName(QStringLiteral("パスワード")).asString(), QString());
    }

    void itemList()
    {
        QVERIFY(m_catalogue->LoadStandardItems());
        QCOMPARE(items(), (QStringList{"1|分類|A|20", "2|タイトル|A|60", "3|ファイル名|A|128", "4|説明|M|0"}));
        QVERIFY(m_catalogue->PutItem(QStringLiteral("撮影地"), QStringLiteral("A"), 40, 5));
        QVERIFY(!m_catalogue->PutItem(QStringLiteral("題"), QStringLiteral("A"), 10, 2));
        QCOMPARE(items().size(), 5);
        QCOMPARE(items().value(1), QStringLiteral("2|題|A|10"));

        // Rebuilt from the record table's own fields.
        m_catalogue->ClearItems();
        m_catalogue->ListTableItems();
        QCOMPARE(items(), (QStringList{"1|分類|A|20", "2|タイトル|A|60", "3|ファイル名|A|128", "4|説明|M|0"}));
        QCOMPARE(m_catalogue->userFieldLabels(), (QStringList{"分類", "タイトル", "ファイル名", "説明"}));

        // Reading stops at the first row of another database.
        store::Table& model = *m_dm->TaModel;
        model.open();
        model.insert();
        model.fieldByName(QStringLiteral("DB名称")).setAsString(QStringLiteral("_Before"));
        model.fieldByName(QStringLiteral("項目連番")).setAsInteger(1);
        model.post();
        model.close();
        QVERIFY(!m_catalogue->LoadStandardItems());
        QCOMPARE(items(), QStringList());
    }

    void passwordHashes()
    {
        const QString stored = hashPassword(QStringLiteral("Secret1"));
        QVERIFY(isPasswordHash(stored));
        QVERIFY(!stored.contains(QStringLiteral("Secret1")));
        QVERIFY(hashPassword(QStringLiteral("Secret1")) != stored); // salted
        QVERIFY(passwordMatches(stored, QStringLiteral("Secret1")));
        for (const QString& wrong : {QStringLiteral("secret1"), QStringLiteral("Ｓecret1"), QString(),
                                     QStringLiteral("Secret1 ")})
            QVERIFY2(!passwordMatches(stored, wrong), qPrintable(wrong));
        // An old plain value compares as it stands; a malformed hash too.
        QVERIFY(passwordMatches(QStringLiteral("plain"), QStringLiteral("plain")));
        QVERIFY(!passwordMatches(QStringLiteral("plain"), QStringLiteral("Plain")));
        const QString absurd = QStringLiteral("pbkdf2-sha256$2000000000$c2FsdA==$") + stored.section(u'$', 3);
        QVERIFY(!isPasswordHash(absurd));
        QVERIFY(!passwordMatches(absurd, QStringLiteral("Secret1")));
    }

    void registerFile_data()
    {
        QTest::addColumn<bool>("indexMode");
        QTest::newRow("import") << false;
        QTest::newRow("index") << true;
    }
    void registerFile()
    {
        QFETCH(bool, indexMode);
        const QString jpeg = file(QStringLiteral("a.JPG"));
        QVERIFY(writePicture(jpeg, QSize(64, 48)));
        const QString gif = file(QStringLiteral("b.gif"));
        QVERIFY(writePicture(gif, QSize(8, 8), "PNG")); // only the name counts

        QVERIFY(!RegisterFile(*m_catalogue, indexMode, {}, {}, QDate(2026, 1, 2), 10, gif));
        QVERIFY(!RegisterFile(*m_catalogue, indexMode, {}, {}, QDate(2026, 1, 2), 10, file("c.jpeg")));
        QCOMPARE(pictures().countRows(QStringLiteral("Sample")), 0);

        // Sizes past 16 bits are kept.
        QVERIFY(RegisterFile(*m_catalogue, indexMode, QStringLiteral("host"), QString(), QDate(2026, 1, 2), 70000,
                             jpeg));
        QVERIFY(RegisterFile(*m_catalogue, indexMode, QString(), QStringLiteral("http://h/a.JPG"),
                             QDate(2026, 1, 3), 5, jpeg));
        QCOMPARE(records(), (QStringList{"1|JPEG|70000|2026/01/02||host|" + jpeg + "|",
                                         "2|JPEG|5|2026/01/03|||http://h/a.JPG|"}));
        QCOMPARE(pictures().countRows(QStringLiteral("Sample_")), indexMode ? 0 : 2);
        if (!indexMode) {
            QVERIFY(m_catalogue->LocateImage(1));
            QCOMPARE(m_dm->TaImage->fieldByName(QStringLiteral("画像")).asBytes(), fileBytes(jpeg));
        }
    }

    // Two adjacent marked rows are both registered and removed; a marked GIF
    // is counted as marked but not registered, and stays.
    void registeringMarkedFiles_data()
    {
        QTest::addColumn<bool>("indexMode");
        QTest::newRow("import: files go") << false;
        QTest::newRow("index: files stay") << true;
    }
    void registeringMarkedFiles()
    {
        QFETCH(bool, indexMode);
        store::Table& list = *m_dm3->TaList;
        const QStringList names{"a.jpg", "b.jpg", "c.gif", "d.jpg", "e.jpg"};
        const QList<bool> marks{true, true, true, false, true};
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY(writePicture(file(names[i]), QSize(10 + i, 10), names[i].endsWith("gif") ? "PNG" : "JPEG"));
            addFileRow(list, file(names[i]), marks[i]);
        }
        QCOMPARE(store::CountMarked(*m_dm3->TaList2), 4);
        QList<int> handled;
        const WalkResult r = registerMarkedFiles(*m_catalogue, indexMode, *m_dm3->TaList2, true, [&](int n) {
            handled << n;
            return true;
        });
        QCOMPARE(r.marked, 4);
        QCOMPARE(r.registered, 3);
        QCOMPARE(handled, (QList<int>{1, 2, 3, 4}));
        QCOMPARE(listedPaths(), (QStringList{file("c.gif"), file("d.jpg")}));
        for (const char* name : {"a.jpg", "b.jpg", "e.jpg"})
            QCOMPARE(QFile::exists(file(name)), indexMode);
        QCOMPARE(pictures().countRows(QStringLiteral("Sample")), 3);
    }

    // A file that cannot be read ends the walk; what was registered stays.
    void aFailureEndsTheWalkKeepingEarlierRecords()
    {
        QVERIFY(writePicture(file("a.jpg"), QSize(10, 10)));
        addFileRow(*m_dm3->TaList, file("a.jpg"), true);
        addFileRow(*m_dm3->TaList, file("gone.jpg"), true);
        QVERIFY(writePicture(file("z.jpg"), QSize(10, 10)));
        addFileRow(*m_dm3->TaList, file("z.jpg"), true);
        QVERIFY_THROWS_EXCEPTION(store::StoreError,
                                 registerMarkedFiles(*m_catalogue, false, *m_dm3->TaList2, true, {}));
        QCOMPARE(pictures().countRows(QStringLiteral("Sample")), 1);
        QCOMPARE(pictures().countRows(QStringLiteral("Sample_")), 1);
        QCOMPARE(listedPaths(), (QStringList{file("gone.jpg"), file("z.jpg")}));
        QVERIFY(!QFile::exists(file("a.jpg")));
        // The handles are usable again: the next registration takes serial 2.
        QVERIFY(RegisterFile(*m_catalogue, false, {}, {}, QDate(2026, 1, 1), 1, file("z.jpg")));
        QCOMPARE(records().value(1).section(u'|', 0, 0), QStringLiteral("2"));
    }

    void registeringMarkedAddresses()
    {
        store::Table& links = *m_dm3->TaLinkImg;
        const QDateTime when(QDate(2026, 2, 3), QTime(4, 5));
        addAddressRow(links, QStringLiteral("http://h/1.jpg"), true, when);
        addAddressRow(links, QStringLiteral("http://h/2.jpg"), false, when);
        addAddressRow(links, QStringLiteral("http://h/3.gif"), true, when);
        const WalkResult r = registerMarkedAddresses(*m_catalogue, *m_dm3->TaLinkImg2, true, {});
        QCOMPARE(r.registered, 2);
        QCOMPARE(records(), (QStringList{"1||0|2026/02/03|||http://h/1.jpg|", "2||0|2026/02/03|||http://h/3.gif|"}));
        QCOMPARE(store::CountRecords(*m_dm3->TaLinkImg2), 1);
    }

private:
    void useDatabase(const QString& name)
    {
        for (store::Table* t : {m_dm->TaPhoto, m_dm->TaPhoto2, m_dm->TaImage})
            t->close();
        m_dm->TaPhoto->setTableName(name);
        m_dm->TaPhoto2->setTableName(name);
        m_dm->TaImage->setTableName(name + QLatin1Char('_'));
    }
    QString file(const QString& name) const { return QDir(m_files.path()).filePath(name); }
    void addRecord(qint32 serial)
    {
        store::Table& t = *m_dm->TaPhoto;
        store::openIfClosed(t);
        t.insert();
        t.fieldByName(QStringLiteral("連番")).setAsInteger(serial);
        t.post();
    }
    // Every field but the blobs of every row, joined.
    static QStringList rows(store::Table& t, int fields)
    {
        store::openIfClosed(t);
        t.refresh();
        QStringList out;
        for (t.first(); !t.eof() && !t.isEmpty(); t.next()) {
            QStringList cells;
            for (int i = 0; i < fields; ++i)
                cells << t.field(i).asString();
            out << cells.join(u'|');
        }
        return out;
    }
    QStringList items() { return rows(*m_dm->TaItem, 4); }
    QStringList records()
    {
        // 連番, 画像種別, サイズ, 更新日 and the four user items; not パスワード.
        QStringList out;
        for (const QString& r : rows(*m_dm->TaPhoto, 9)) {
            QStringList cells = r.split(u'|');
            cells.removeAt(3);
            out << cells.join(u'|');
        }
        return out;
    }
    QStringList listedPaths()
    {
        QStringList out;
        for (const QString& r : rows(*m_dm3->TaList2, 1))
            out << r;
        return out;
    }

    QTemporaryDir m_files;
    std::unique_ptr<TempPhoto> m_photo;
    std::unique_ptr<store::Store> m_store;
    std::unique_ptr<store::Store> m_server; // the picture databases' on a server run
    store::Store& pictures() { return m_dm->store(); }
    std::unique_ptr<store::DataMd3> m_dm3;
    std::unique_ptr<store::DataMod> m_dm;
    std::unique_ptr<Catalogue> m_catalogue;
};

QTEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
