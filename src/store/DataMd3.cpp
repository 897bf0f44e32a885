#include "store/DataMd3.h"

#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"

namespace store {

QString DataMd3::fixedTablePassword()
{
    return QStringLiteral("qzk4097");
}

void requireTable(Store& store, const QString& table)
{
    if (!store.tableExists(table))
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません (%2)").arg(table, store.filePath()));
}

DataMd3::DataMd3(Store& store, QObject* parent)
    : QObject(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("DM3"));
    const QString link = QStringLiteral("_Link.db");
    const QString linkImg = QStringLiteral("_LinkIMG.db");
    const QString host = QStringLiteral("_host");
    const QString list = QStringLiteral("_List.db");

    auto make = [this](const QString& table, const char* name) {
        auto* t = new Table(m_store, table, this);
        t->setObjectName(QLatin1String(name));
        return t;
    };
    TaLink = make(link, "TaLink");
    TaLink2 = make(link, "TaLink2");
    TaLink3 = make(link, "TaLink3");
    TaLinkImg = make(linkImg, "TaLinkImg");
    TaLinkImg2 = make(linkImg, "TaLinkImg2");
    TaLinkImg3 = make(linkImg, "TaLinkImg3");
    TaHost = make(host, "TaHost");
    TaList = make(list, "TaList");
    TaList2 = make(list, "TaList2");

    auto source = [this](Table* t, const char* name) {
        auto* s = new DataSource(t, this);
        s->setObjectName(QLatin1String(name));
        return s;
    };
    Dtlink = source(TaLink, "Dtlink");
    DtLinkImg = source(TaLinkImg, "DtLinkImg");
    DtHost = source(TaHost, "DtHost");
    DtList = source(TaList, "DtList");

    m_store.registerPassword(fixedTablePassword());
    for (Table* t : {TaList, TaLink, TaLinkImg, TaHost}) {
        requireTable(m_store, t->tableName());
        t->open();
    }
}

DataMd3::~DataMd3() = default;

} // namespace store
