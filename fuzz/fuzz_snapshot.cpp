// Arbitrary bytes as a snapshot file: the reader never fails badly, a refused file yields no
// value to apply, and an accepted one is applied exactly: every value it gives is then held,
// every field it leaves out keeps its value, unless the apply refuses the file; the document of
// the result reads back as itself.
#include "device/SnapshotFile.h"
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"

#include <QByteArray>
#include <QJsonDocument>

#include <cstddef>
#include <cstdint>

namespace {

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace kadex;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)snapshot::DuplicateKey(bytes);
    const snapshot::Parsed p = snapshot::Parse(bytes, (size & 1) != 0);
    if (!p.Ok()) {
        check(p.entries.empty());
        for (const snapshot::Refusal& r : p.refused)
            check(!r.reason.isEmpty());
        return 0;
    }
    const auto& all = snapshot::AllFields();
    // A model holding a valid value in every field, as one read from a device does.
    static WindowModel* model = [&all] {
        auto* m = new WindowModel(mainWindowFields());
        m->setMisuse(WindowModel::Misuse::Warn);
        std::vector<snapshot::Entry> start;
        for (const snapshot::FieldRef& f : all) {
            using recfields::Type;
            const recfields::RecordField& rf = *f.field;
            const QJsonValue v = rf.type == Type::Number ? QJsonValue(rf.min)
                : rf.type == Type::Choice                ? QJsonValue(QLatin1String(rf.choices.front().word))
                : rf.type == Type::Flag                  ? QJsonValue(false)
                                                         : QJsonValue(QString());
            start.push_back({f, v});
        }
        check(snapshot::Apply(*m, start).empty());
        return m;
    }();
    const std::vector<QJsonValue> before = snapshot::ValuesOf(*model);
    const std::vector<snapshot::Refusal> refused = snapshot::Apply(*model, p.entries);
    const std::vector<QJsonValue> after = snapshot::ValuesOf(*model);
    if (!refused.empty()) {
        // A refusal names a field of the table; the model is not written, so put it back.
        for (const snapshot::Refusal& r : refused) {
            bool known = false;
            for (const snapshot::FieldRef& f : all)
                known = known || f.Key() == r.key;
            check(known);
        }
        std::vector<snapshot::Entry> restore;
        for (size_t i = 0; i < all.size(); ++i)
            if (!before[i].isUndefined())
                restore.push_back({all[i], before[i]});
        check(snapshot::Apply(*model, restore).empty());
        return 0;
    }
    for (size_t i = 0; i < all.size(); ++i) {
        const snapshot::Entry* given = nullptr;
        for (const snapshot::Entry& e : p.entries)
            if (e.ref.field == all[i].field)
                given = &e;
        check(recfields::SameValue(*all[i].field, given ? given->value : before[i], after[i])
              || (!given && after[i].isUndefined()));
    }
    const QJsonObject doc = snapshot::Document(*model, {}, true);
    const snapshot::Parsed again = snapshot::Parse(QJsonDocument(doc).toJson(), true);
    check(again.Ok());
    check(snapshot::Apply(*model, again.entries).empty());
    check(snapshot::Document(*model, {}, true) == doc);
    return 0;
}
