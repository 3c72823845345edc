// The ALL_ and DBA_ forms of the USER_ dictionary views: the same rows, the session's schema
// being the only one the engine's file holds, with the owner's columns first.
#include "core/embedded/session/dictionaryviewlist.h"

#include <QByteArray>
#include <QByteArrayList>

#include <deque>
#include <vector>

namespace qv::embedded {

namespace {

// The columns that name the owner, by the USER_ view's name; OWNER for the others.
QByteArray ownerColumns(const QByteArray& userView) {
    if (userView == "user_indexes")
        return "OWNER TABLE_OWNER";
    if (userView == "user_ind_columns")
        return "INDEX_OWNER TABLE_OWNER";
    if (userView == "user_sequences")
        return "SEQUENCE_OWNER";
    return "OWNER";
}

struct OwnerViews {
    std::deque<QByteArray> texts;  // what the views' pointers point into
    std::vector<DictionaryView> views;

    const char* keep(QByteArray text) {
        texts.push_back(std::move(text));
        return texts.back().constData();
    }

    explicit OwnerViews(std::initializer_list<std::span<const DictionaryView>> lists) {
        const QByteArray owner =
            "(SELECT upper(USERNAME) FROM v$session WHERE SID = userenv('SID'))";
        for (const std::span<const DictionaryView> list : lists) {
            for (const DictionaryView& user : list) {
                const QByteArray name(user.name);
                if (!name.startsWith("user_"))
                    continue;
                const QByteArray columns = ownerColumns(name);
                QByteArray declared, selected;
                for (const QByteArray& column : columns.split(' ')) {
                    declared += column + " VARCHAR2(128), ";
                    selected += owner + ", ";
                }
                const QByteArray schema =
                    "CREATE TABLE x(" + declared + QByteArray(user.schema).mid(15);
                const QByteArray query =
                    "SELECT " + selected + "* FROM (" + QByteArray(user.query) + ")";
                for (const char* prefix : {"all_", "dba_"}) {
                    DictionaryView view = user;
                    view.name = keep(prefix + name.mid(5));
                    view.schema = keep(schema);
                    view.query = keep(query);
                    views.push_back(view);
                }
            }
        }
    }
};

}  // namespace

std::span<const DictionaryView> ownerViews(std::span<const DictionaryView> userViews,
                                           std::span<const DictionaryView> statistics) {
    static const OwnerViews kOwnerViews({userViews, statistics});
    return kOwnerViews.views;
}

}  // namespace qv::embedded
