#include "core/window/bindmemory.h"

#include "core/settings/settingsstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace qv {

namespace {

const QString kStoreKey = QStringLiteral("s_bind_values");

// Puts `value` last, in place of the one of the same name.
void putLast(BindList& values, const BindValue& value) {
    if (const BindValue* last = findBind(values, value.name))
        values.removeAt(last - values.constData());
    values.append(value);
}

BindList readStored(SettingsStore& store) {
    BindList values;
    QString text;
    if (store.read(kStoreKey, text) != StoreStatus::Ok)
        return values;
    for (const QJsonValue& item : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QJsonObject o = item.toObject();
        BindValue v{o.value(u"name").toString(), BindType::Varchar2, o.value(u"value").toString()};
        if (!v.name.isEmpty() && bindTypeFromName(o.value(u"type").toString(), v.type))
            putLast(values, v);
    }
    return values;
}

}  // namespace

BindList BindMemory::recall(const QStringList& names) const {
    BindList values;
    for (const QString& name : names) {
        const BindValue* last = findBind(values_, name);
        values.append(last ? BindValue{name, last->type, last->value}
                           : BindValue{name, BindType::Varchar2, {}});
    }
    return values;
}

void BindMemory::remember(const BindList& used) {
    for (const BindValue& value : used) {
        putLast(values_, value);
        putLast(usedHere_, value);
    }
}

void BindMemory::load(SettingsStore& store) {
    BindList stored = readStored(store);
    for (const BindValue& value : values_)
        putLast(stored, value);
    values_ = std::move(stored);
}

void BindMemory::save(SettingsStore& store) const {
    if (usedHere_.isEmpty())
        return;
    BindList values = readStored(store);
    for (const BindValue& value : usedHere_)
        putLast(values, value);
    QJsonArray items;
    for (qsizetype i = std::max<qsizetype>(0, values.size() - kMaxStored); i < values.size(); ++i)
        items.append(QJsonObject{{QStringLiteral("name"), values[i].name},
                                 {QStringLiteral("type"), bindTypeName(values[i].type)},
                                 {QStringLiteral("value"), values[i].value}});
    store.write(kStoreKey, QString::fromUtf8(QJsonDocument(items).toJson(QJsonDocument::Compact)));
}

}  // namespace qv
