#pragma once

// The search benchmarks' records and statements. A record i of the database
// Sample has its four user items filled:
//   分類        夏, 春, 秋, 冬 by i % 4 (夏 when i % 4 == 0)
//   タイトル    "青い海 i" when i % 10 == 0, else "山と空 i"; " 灯台守" before
//               the number when i % 1000 == 3
//   ファイル名  "/pictures/i.jpg"
//   説明        "説明の文 7i"; " 流れ星" before the number when i % 1000 == 501
// The local store is filled row by row, a server in one statement; both make
// the same texts.

#include "search/QueryBuilder.h"
#include "store/Store.h"

#include <QString>
#include <QStringList>

namespace bench {

inline search::SearchRequest searchRequest(const QString& titleWord, const QString& otherItem, const QString& otherWord)
{
    search::SearchRequest r;
    r.database = QStringLiteral("Sample");
    r.fieldLabels = {QStringLiteral("分類"), QStringLiteral("タイトル"), QStringLiteral("ファイル名"),
                     QStringLiteral("説明")};
    r.slotInputs[0] = {QStringLiteral("タイトル"), QStringLiteral("タイトル"), titleWord};
    r.slotInputs[2] = {otherItem, otherItem, otherWord};
    r.orJoin = true;
    r.orderColumn = QStringLiteral("タイトル");
    r.ascending = false;
    return r;
}

// The worked example: タイトル holding 海 or 分類 holding 夏, ordered by
// タイトル descending; it finds 3 records in 10.
inline search::SearchRequest workedExample()
{
    return searchRequest(QStringLiteral("海"), QStringLiteral("分類"), QStringLiteral("夏"));
}

// The same shape with words of three characters that 1 title in 1000 and
// 1 description in 1000 hold.
inline search::SearchRequest selectiveExample()
{
    return searchRequest(QStringLiteral("灯台守"), QStringLiteral("説明"), QStringLiteral("流れ星"));
}

// Records 1 to count into Sample of a local store, in one transaction.
inline void fillLocal(store::Store& s, int count)
{
    s.beginBatch();
    const QStringList kinds{QStringLiteral("夏"), QStringLiteral("春"), QStringLiteral("秋"), QStringLiteral("冬")};
    for (int i = 1; i <= count; ++i) {
        const QString title = (i % 10 == 0 ? QStringLiteral("青い海") : QStringLiteral("山と空"))
                              + (i % 1000 == 3 ? QStringLiteral(" 灯台守") : QString()) + QStringLiteral(" %1").arg(i);
        const QString text = QStringLiteral("説明の文") + (i % 1000 == 501 ? QStringLiteral(" 流れ星") : QString())
                             + QStringLiteral(" %1").arg(i * 7);
        s.exec(QStringLiteral("INSERT INTO \"Sample\" (連番, 画像種別, サイズ, 更新日, 分類, タイトル, ファイル名, 説明) "
                              "VALUES (?, 'JPEG', ?, '2026-01-01', ?, ?, ?, ?)"),
               {i, 100000 + i, kinds[i % 4], title, QStringLiteral("/pictures/%1.jpg").arg(i), text});
    }
    s.commitBatch();
}

// The same records into Sample of a server database, made by the server.
inline void fillOnServer(store::Store& s, int count)
{
    s.exec(QStringLiteral(
               "INSERT INTO \"Sample\" (\"連番\", \"画像種別\", \"サイズ\", \"更新日\", \"分類\", \"タイトル\", "
               "\"ファイル名\", \"説明\") "
               "SELECT i, 'JPEG', 100000 + i, '2026-01-01', (ARRAY['夏', '春', '秋', '冬'])[i % 4 + 1], "
               "CASE WHEN i % 10 = 0 THEN '青い海' ELSE '山と空' END "
               "|| CASE WHEN i % 1000 = 3 THEN ' 灯台守' ELSE '' END || ' ' || i, "
               "'/pictures/' || i || '.jpg', "
               "'説明の文' || CASE WHEN i % 1000 = 501 THEN ' 流れ星' ELSE '' END || ' ' || (i * 7) "
               "FROM generate_series(1, ?) AS i"),
           {count});
}

} // namespace bench
