#include "device/model/WindowFields.h"

#include <QHash>
#include <QStringList>

namespace kadex {

namespace {

struct Names {
    const char* latin1[kFieldCount] = {
#define KADEX_FIELD(Name, ...) #Name,
#include "device/model/Fields.def"
#undef KADEX_FIELD
    };
    QString names[kFieldCount];
    QHash<QString, int> byName;
    FieldId ids[kFieldCount] = {
#define KADEX_FIELD(Name, ...) fld::Name,
#include "device/model/Fields.def"
#undef KADEX_FIELD
    };
    Names()
    {
        for (int i = 0; i < kFieldCount; ++i) {
            names[i] = QString::fromLatin1(latin1[i]);
            byName.insert(names[i], i);
        }
    }
};

const Names& names()
{
    static const Names n;
    return n;
}

} // namespace

const QString& FieldId::name() const
{
    return names().names[static_cast<int>(index)];
}

const char* FieldId::latin1() const
{
    return names().latin1[static_cast<int>(index)];
}

const FieldId* allFields()
{
    return names().ids;
}

std::optional<FieldId> fieldByName(const QString& name)
{
    const auto it = names().byName.constFind(name);
    if (it == names().byName.cend())
        return std::nullopt;
    return names().ids[*it];
}

std::vector<FieldDecl> mainWindowFields()
{
    using K = Kind;
    return {
#define KADEX_FIELD(Name, Kd, Init, ...) F(#Name, K::Kd, Init) __VA_ARGS__,
#include "device/model/Fields.def"
#undef KADEX_FIELD
    };
}

} // namespace kadex
