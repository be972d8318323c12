// Field values and the declared-type convention of the hotel files.
#include "db/Engine.h"

#include "platform/NumberText.h"

#include <cmath>

namespace quorvel::db {

std::int64_t Value::toInt() const {
    return std::visit(
        [](const auto& v) -> std::int64_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return 0;
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return v;
            else if constexpr (std::is_same_v<T, double>)
                return std::isfinite(v) ? static_cast<std::int64_t>(std::nearbyint(v)) : 0;
            else if constexpr (std::is_same_v<T, Currency>)
                return v.dividedBy(Currency::Scale).raw();
            else
                return static_cast<std::int64_t>(std::nearbyint(numericValue(v)));
        },
        m_v);
}

double Value::toDouble() const {
    return std::visit(
        [](const auto& v) -> double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return 0.0;
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return static_cast<double>(v);
            else if constexpr (std::is_same_v<T, double>)
                return v;
            else if constexpr (std::is_same_v<T, Currency>)
                return v.toDouble();
            else
                return numericValue(v);
        },
        m_v);
}

Currency Value::toCurrency() const {
    return std::visit(
        [](const auto& v) -> Currency {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return Currency();
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return Currency::fromUnits(v);
            else if constexpr (std::is_same_v<T, double>)
                return Currency::fromRaw(
                    static_cast<std::int64_t>(std::nearbyint(v * Currency::Scale)));
            else if constexpr (std::is_same_v<T, Currency>)
                return v;
            else
                return Currency::parse(v, QLocale::c()).value_or(Currency());
        },
        m_v);
}

QString Value::toString() const {
    return std::visit(
        [](const auto& v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return QString();
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return QString::number(v);
            else if constexpr (std::is_same_v<T, double>)
                return QString::number(v, 'g', 15);
            else if constexpr (std::is_same_v<T, Currency>)
                return v.toString();
            else
                return v;
        },
        m_v);
}

QString declaredType(const FieldDef& field) {
    switch (field.type) {
        case FieldType::Int16:
            return QStringLiteral("SMALLINT");
        case FieldType::Int32:
            return QStringLiteral("INTEGER");
        case FieldType::Currency:
            return QStringLiteral("CURRENCY");
        case FieldType::Double:
            return QStringLiteral("DOUBLE");
        case FieldType::Text:
            return QStringLiteral("TEXT(%1) COLLATE NOCASE").arg(field.size > 0 ? field.size : 255);
        case FieldType::Memo:
            return QStringLiteral("TEXT");
    }
    return QStringLiteral("TEXT");
}

}  // namespace quorvel::db
