#include "store/DataMod.h"

#include "store/DataMd3.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"

namespace store {

DataMod::DataMod(Store& store, QObject* parent)
    : QObject(parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("DM"));
    auto make = [this](const QString& table, const char* name) {
        auto* t = new Table(m_store, table, this);
        t->setObjectName(QLatin1String(name));
        return t;
    };
    TaIndex = make(QStringLiteral("_INDEX.DB"), "TaIndex");
    TaItem = make(QStringLiteral("_ITEM.DB"), "TaItem");
    TaModel = make(QStringLiteral("_Model.DB"), "TaModel");
    TaModelDB = make(QStringLiteral("_PHOTO.DB"), "TaModelDB");
    TaPhoto = make(QString(), "TaPhoto");
    TaPhoto2 = make(QString(), "TaPhoto2");
    TaImage = make(QString(), "TaImage");
    QuPhoto = new Query(m_store, this);
    QuPhoto->setObjectName(QStringLiteral("QuPhoto"));

    auto source = [this](Table* t, const char* name) {
        auto* s = new DataSource(t, this);
        s->setObjectName(QLatin1String(name));
        return s;
    };
    DtIndex = source(TaIndex, "DtIndex");
    DtItem = source(TaItem, "DtItem");
    DtPhoto = source(TaPhoto, "DtPhoto");
    DtImage = source(TaImage, "DtImage");
    DqPhoto = new DataSource(QuPhoto, this);
    DqPhoto->setObjectName(QStringLiteral("DqPhoto"));

    for (Table* t : {TaIndex, TaItem, TaModel, TaModelDB})
        requireTable(m_store, t->tableName());
}

DataMod::~DataMod() = default;

} // namespace store
