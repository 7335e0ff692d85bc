// The snapshot field table and document: the table agrees with the window fields and the
// README, documents survive a write and a read unchanged, and duplicate keys are found.
#include "device/SnapshotFile.h"
#include "device/model/WindowFields.h"
#include "device/model/WindowModel.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace kadex;
using recfields::Type;

TEST(RecordFields, RangesMatchTheWindowFieldsAndTheReadmeListsEveryKey)
{
    WindowModel m(mainWindowFields());
    std::set<QString> keys;
    for (const snapshot::FieldRef& r : snapshot::AllFields()) {
        EXPECT_TRUE(keys.insert(r.Key()).second) << r.Key().toStdString();
        const FieldState s = m.state(r.field->field);
        if (r.field->type == Type::Number && s.ranged) {
            EXPECT_DOUBLE_EQ(r.field->min, s.minimum * r.field->windowScale) << r.Key().toStdString();
            EXPECT_DOUBLE_EQ(r.field->max, s.maximum * r.field->windowScale) << r.Key().toStdString();
        }
        if (r.field->type == Type::Text) {
            EXPECT_EQ(r.field->maxChars, s.maxChars) << r.Key().toStdString();
        }
    }
    QFile readme(QStringLiteral(KADEX_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype from = text.indexOf(QStringLiteral("<!-- snapshot fields -->"));
    ASSERT_GE(from, 0);
    std::set<QString> documented;
    for (const QString& line : text.mid(from).split(QLatin1Char('\n')).mid(3)) {
        if (!line.startsWith(QStringLiteral("| `")))
            break;
        documented.insert(line.section(QLatin1Char('`'), 1, 1));
    }
    EXPECT_EQ(documented, keys);
}

namespace {

QJsonValue randomValue(const recfields::RecordField& f, std::mt19937& rng)
{
    switch (f.type) {
    case Type::Flag:
        return std::uniform_int_distribution<int>(0, 1)(rng) == 1;
    case Type::Choice:
        return QLatin1String(f.choices[std::uniform_int_distribution<size_t>(0, f.choices.size() - 1)(rng)].word);
    case Type::Text: {
        const QString pool = QString::fromUtf8("abcXYZ 09.-_äöüß€°µ");
        QString t;
        const int n = std::uniform_int_distribution<int>(0, f.maxChars)(rng);
        for (int i = 0; i < n; ++i)
            t += pool[std::uniform_int_distribution<qsizetype>(0, pool.size() - 1)(rng)];
        while (t.endsWith(QLatin1Char(' ')))
            t.chop(1);
        return t;
    }
    case Type::Number:
        break;
    }
    const auto steps = static_cast<long long>(std::llround((f.max - f.min) / f.step));
    const long long k = std::uniform_int_distribution<long long>(0, steps)(rng);
    return std::round((f.min + static_cast<double>(k) * f.step) / f.step) * f.step;
}

} // namespace

TEST(RecordFields, RandomPartialDocumentsApplyExactlyAndReadBackUnchanged)
{
    std::mt19937 rng(1812);
    WindowModel m(mainWindowFields());
    auto parse = [](QJsonObject doc) {
        doc[QStringLiteral("format")] = QStringLiteral("kadex-snapshot");
        doc[QStringLiteral("version")] = 1;
        return snapshot::Parse(QJsonDocument(doc).toJson(), true);
    };
    auto records = [](QJsonObject doc) {
        for (const char* k : {"device", "format", "version"})
            doc.remove(QLatin1String(k));
        return doc;
    };
    QJsonObject held;
    for (int round = 0; round < 300; ++round) {
        // The first round gives every field, so that the model holds a valid document.
        QJsonObject recs;
        for (const snapshot::FieldRef& r : snapshot::AllFields()) {
            if (round > 0 && std::uniform_int_distribution<int>(0, 3)(rng) != 0)
                continue;
            QJsonObject rec = recs.value(QLatin1String(r.record->key)).toObject();
            rec[QLatin1String(r.field->key)] = randomValue(*r.field, rng);
            recs[QLatin1String(r.record->key)] = rec;
        }
        const QJsonObject cal = recs.value(QStringLiteral("calibration")).toObject();
        const QJsonValue sensor = cal.contains(QStringLiteral("SensorTyp"))
            ? cal.value(QStringLiteral("SensorTyp"))
            : held.value(QStringLiteral("calibration")).toObject().value(QStringLiteral("SensorTyp"));
        if (round == 0 && sensor == QJsonValue(QStringLiteral("volume-signal")))
            recs[QStringLiteral("calibration")] = [&] {
                QJsonObject c = cal;
                c.remove(QStringLiteral("DrucksensorTyp"));
                return c;
            }();
        const bool familyWithoutPressure = recs.value(QStringLiteral("calibration")).toObject().contains(QStringLiteral("DrucksensorTyp"))
            && sensor == QJsonValue(QStringLiteral("volume-signal"));
        const snapshot::Parsed p = parse(recs);
        ASSERT_TRUE(p.Ok()) << p.refused.front().Message().toStdString();
        const auto refused = snapshot::Apply(m, p.entries);
        if (familyWithoutPressure) {
            EXPECT_FALSE(refused.empty()) << round;
            // Not written: the model goes back to what the device holds.
            ASSERT_TRUE(snapshot::Apply(m, parse(held).entries).empty());
            EXPECT_EQ(records(snapshot::Document(m, {}, true)), held);
            continue;
        }
        ASSERT_TRUE(refused.empty()) << round << ": " << refused.front().Message().toStdString();
        // The model holds the file field for field and everything else as before.
        const QJsonObject out = snapshot::Document(m, {}, true);
        for (const snapshot::FieldRef& r : snapshot::AllFields()) {
            const QString rec = QLatin1String(r.record->key), key = QLatin1String(r.field->key);
            const QJsonObject given = recs.value(rec).toObject();
            const QJsonValue want = given.contains(key) ? given.value(key) : held.value(rec).toObject().value(key);
            // The family comes and goes with the sensor type.
            const bool hidden = key == QLatin1String("DrucksensorTyp") && !given.contains(key)
                && (sensor == QJsonValue(QStringLiteral("volume-signal")) || want.isUndefined());
            if (round > 0 && !hidden) {
                EXPECT_EQ(out.value(rec).toObject().value(key), want) << round << ' ' << r.Key().toStdString();
            }
        }
        held = records(out);
        // The document reads back as itself.
        const snapshot::Parsed again = parse(held);
        ASSERT_TRUE(again.Ok()) << again.refused.front().Message().toStdString();
        WindowModel m2(mainWindowFields());
        ASSERT_TRUE(snapshot::Apply(m2, again.entries).empty());
        EXPECT_EQ(snapshot::Document(m2, {}, true), out);
    }
}

TEST(RecordFields, DuplicateKeysAreFoundWhereverTheyAre)
{
    const struct {
        const char* json;
        const char* duplicate;
    } cases[] = {
        {R"({"a":1,"b":2})", ""},
        {R"({"a":1,"a":2})", "a"},
        {R"({"a":{"x":1},"b":{"x":1}})", ""},
        {R"({"operating":{"VmaxPrz":1, "VmaxPrz" :2}})", "operating.VmaxPrz"},
        {R"({"o":{"k":1,"\u006b":2}})", "o.k"},
        {R"({"o":{"k":"\"k\":","k2":[{"k":1},{"k":2}]}})", ""},
        {R"({"o":[{"k":1,"k":2}]})", "o.k"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(snapshot::DuplicateKey(c.json), QString::fromUtf8(c.duplicate)) << c.json;
}
