#include "search/QueryBuilder.h"

namespace search {

namespace {

// A name between double quotes, its own quotes doubled: a name holding one
// cannot end the quoted name early.
QString quotedName(const QString& name)
{
    QString doubled = name;
    doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

// A field label as the statement names it: bare when it is a plain
// identifier (letters, digits, "_", any non-ASCII character, not starting
// with a digit), else quoted, so that no label can change the statement.
QString fieldName(const QString& label)
{
    bool plain = !label.isEmpty() && !label.at(0).isDigit();
    for (QChar c : label)
        plain = plain && (c.unicode() >= 0x80 || c.isLetterOrNumber() || c == u'_');
    return plain ? label : quotedName(label);
}

} // namespace

SearchStatement buildSearch(const SearchRequest& request)
{
    SearchStatement out;
    const auto name = [&](const QString& label) { return request.server ? quotedName(label) : fieldName(label); };
    QString select = QStringList{name(QStringLiteral("連番")), name(QStringLiteral("サイズ")), name(QStringLiteral("更新日")),
                                 name(QStringLiteral("画像種別"))}
                         .join(QLatin1String(", "));
    for (int k = 0; k < 4; ++k) {
        const QString label = request.fieldLabels.value(k);
        select += QStringLiteral(", ") + (label.isEmpty() ? QStringLiteral("NULL") : name(label));
    }
    const QString joiner = request.orJoin ? QStringLiteral(" or  ") : QStringLiteral(" and ");
    const QString table = quotedName(request.database);
    QStringList brackets;
    for (int i = 0; i < 4; ++i) {
        const SearchSlot& slot = request.slotInputs[size_t(i)];
        if (slot.field.isEmpty() || slot.keyword.isEmpty())
            continue;
        const QString column = table + QLatin1Char('.') + quotedName(slot.caption);
        brackets << (request.server ? QStringLiteral("(CAST(") + column + QStringLiteral(" AS TEXT) ILIKE  :target")
                                    : QStringLiteral("(") + column + QStringLiteral(" Like  :target"))
                        + QString::number(i) + QStringLiteral(" )");
        out.params.append({QStringLiteral("target") + QString::number(i),
                           QLatin1Char('%') + slot.keyword + QLatin1Char('%')});
    }
    // The last bracket keeps a blank of its own before " order by".
    const QString where = brackets.isEmpty() ? QString() : QStringLiteral(" where ") + brackets.join(joiner) + QLatin1Char(' ');
    out.sql = QStringLiteral("Select ") + select + QStringLiteral(" from  ") + table + where
              + QStringLiteral(" order by ") + name(request.orderColumn)
              + (request.ascending ? QString() : QStringLiteral(" desc"))
              // Unset values first, as the local store orders them.
              + (!request.server ? QString() : request.ascending ? QStringLiteral(" nulls first") : QStringLiteral(" nulls last"));
    return out;
}

} // namespace search
