#include "base/SettingsStore.h"
#include "support/TempSettings.h"

#include <QSettings>
#include <QTest>

using base::SettingsStore;

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init() { m_settings = std::make_unique<TempSettings>(); }
    void cleanup() { m_settings.reset(); }

    // Raw texts planted in the store, read back as integers.
    void integers_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << "123" << 123;
        QTest::newRow("negative") << "-45" << -45;
        QTest::newRow("hex lower") << "0x20" << 32;
        QTest::newRow("hex upper prefix") << "0X1f" << 31;
        QTest::newRow("bare 0x is no number") << "0x" << 99;
        QTest::newRow("trailing letters") << "12abc" << 99;
        QTest::newRow("empty") << "" << 99;
        QTest::newRow("words") << "abc" << 99;
        QTest::newRow("beyond 32 bits") << "4294967296" << 99;
        QTest::newRow("full 32-bit hex pattern") << "0xFFFFFFFF" << -1;
    }
    void integers()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        plant("Setting/fmSetting.Speed", stored);
        SettingsStore s;
        QCOMPARE(s.readInteger(SettingsStore::Setting, QStringLiteral("fmSetting.Speed"), 99), expected);
    }

    void flags_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("defaultValue");
        QTest::addColumn<bool>("expected");
        QTest::newRow("1 is on") << "1" << false << true;
        QTest::newRow("7 is off") << "7" << true << false;
        QTest::newRow("0 is off") << "0" << true << false;
        QTest::newRow("2 is off") << "2" << true << false;
        QTest::newRow("hex 1 is on") << "0x1" << false << true;
        QTest::newRow("not a number gives the default on") << "yes" << true << true;
        QTest::newRow("not a number gives the default off") << "yes" << false << false;
    }
    void flags()
    {
        QFETCH(QString, stored);
        QFETCH(bool, defaultValue);
        QFETCH(bool, expected);
        plant("Setting/fmSetting.CheckGaibu", stored);
        SettingsStore s;
        QCOMPARE(s.readBool(SettingsStore::Setting, QStringLiteral("fmSetting.CheckGaibu"), defaultValue), expected);
    }

    void absentValuesGiveDefaults()
    {
        SettingsStore s;
        QCOMPARE(s.readInteger(SettingsStore::Window, QStringLiteral("fmView.Left"), 17), 17);
        QCOMPARE(s.readString(SettingsStore::Setting, QStringLiteral("fmSetting.MaxURL"), QStringLiteral("100")),
                 QStringLiteral("100"));
        QVERIFY(s.readBool(SettingsStore::Setting, QStringLiteral("fmSetting.CheckJpeg"), true));
        QVERIFY(!s.readBool(SettingsStore::Setting, QStringLiteral("fmSetting.CheckGif"), false));
    }

    void writesAreTextsWithFlagsAsOneAndSeven()
    {
        {
            SettingsStore s;
            s.writeBool(SettingsStore::Setting, QStringLiteral("fmSetting.CheckProxy"), true);
            s.writeBool(SettingsStore::Setting, QStringLiteral("fmSetting.CheckGif"), false);
            s.writeInteger(SettingsStore::Setting, QStringLiteral("fmSetting.Kekka"), 1);
            s.writeString(SettingsStore::Setting, QStringLiteral("fmSetting.Width"), QStringLiteral("800 "));
        }
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavro"), QStringLiteral("Quillet"));
        QCOMPARE(raw.value(QStringLiteral("Setting/fmSetting.CheckProxy")).toString(), QStringLiteral("1"));
        QCOMPARE(raw.value(QStringLiteral("Setting/fmSetting.CheckGif")).toString(), QStringLiteral("7"));
        QCOMPARE(raw.value(QStringLiteral("Setting/fmSetting.Kekka")).toString(), QStringLiteral("1"));
        // Texts are kept as they are, trailing blank included.
        SettingsStore s;
        QCOMPARE(s.readString(SettingsStore::Setting, QStringLiteral("fmSetting.Width"), QString()),
                 QStringLiteral("800 "));
    }

    void namesIgnoreCase()
    {
        {
            SettingsStore s;
            s.writeBool(SettingsStore::Setting, QStringLiteral("fmSetting.CheckBmp"), true);
        }
        SettingsStore s;
        QVERIFY(s.readBool(SettingsStore::Setting, QStringLiteral("fmSetting.CheckBMP"), false));
        // Writing under another case replaces the value instead of adding a twin.
        s.writeBool(SettingsStore::Setting, QStringLiteral("FMSETTING.CHECKBMP"), false);
        s.sync();
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavro"), QStringLiteral("Quillet"));
        raw.beginGroup(QStringLiteral("Setting"));
        int twins = 0;
        for (const QString& key : raw.childKeys())
            twins += key.compare(QStringLiteral("fmSetting.CheckBmp"), Qt::CaseInsensitive) == 0;
        QCOMPARE(twins, 1);
        QVERIFY(!s.readBool(SettingsStore::Setting, QStringLiteral("fmSetting.checkbmp"), true));
    }

    void sectionsKeepSameNamesApart()
    {
        {
            SettingsStore s;
            s.writeInteger(SettingsStore::Window, QStringLiteral("fmSetting.Width"), 503);
            s.writeString(SettingsStore::Setting, QStringLiteral("fmSetting.Width"), QStringLiteral("800 "));
        }
        SettingsStore s;
        QCOMPARE(s.readInteger(SettingsStore::Window, QStringLiteral("fmSetting.Width"), 0), 503);
        QCOMPARE(s.readString(SettingsStore::Setting, QStringLiteral("fmSetting.Width"), QString()),
                 QStringLiteral("800 "));
    }

    void valuesOfTheWrongKindFallBack()
    {
        {
            QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavro"),
                          QStringLiteral("Quillet"));
            raw.setValue(QStringLiteral("Window/fmQuillon.URL"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
            raw.setValue(QStringLiteral("Window/fmQuillon.Left"), QStringList{QStringLiteral("1"), QStringLiteral("2")});
        }
        SettingsStore s;
        QCOMPARE(s.readString(SettingsStore::Window, QStringLiteral("fmQuillon.URL"), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
        QCOMPARE(s.readInteger(SettingsStore::Window, QStringLiteral("fmQuillon.Left"), 267), 267);
    }

private:
    void plant(const QString& key, const QString& text)
    {
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavro"), QStringLiteral("Quillet"));
        raw.setValue(key, text);
    }
    std::unique_ptr<TempSettings> m_settings;
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
