// 補完's rules without a window: what the dictionary and the statement around the caret offer
// for the word typed, in which case, and how the dictionary is read from a session.
#include "core/editor/completion.h"
#include "support/checks.h"
#include "support/scripteddb.h"

using namespace Qt::StringLiterals;
using namespace qv;

namespace {

SchemaDictionary dictionary() {
    auto own = std::make_shared<SchemaObjects>();
    own->addObject(u"CUSTOMERS"_s, SchemaObjectKind::Table);
    own->addColumn(u"CUSTOMERS"_s, u"CUSTOMER_ID"_s, u"NUMBER(10)"_s);
    own->addColumn(u"CUSTOMERS"_s, u"NAME"_s, u"VARCHAR2(100)"_s);
    own->addColumn(u"CUSTOMERS"_s, u"Mixed Case"_s, u"DATE"_s);
    own->addObject(u"ORDERS"_s, SchemaObjectKind::Table);
    own->addColumn(u"ORDERS"_s, u"ORDER_ID"_s, u"NUMBER"_s);
    own->addColumn(u"ORDERS"_s, u"LEVEL"_s, u"NUMBER"_s);
    own->addObject(u"V_SALES"_s, SchemaObjectKind::View);
    auto hr = std::make_shared<SchemaObjects>();
    hr->addColumn(u"EMPLOYEES"_s, u"EMPLOYEE_ID"_s, u"NUMBER"_s);
    return SchemaDictionary{u"SCOTT"_s, own, {{u"HR"_s, hr}}};
}

// The labels offered with the caret at the "|" of `typed`.
QStringList offered(const QString& typed, const SchemaDictionary& d = dictionary()) {
    QString text = typed;
    const qsizetype caret = text.indexOf(u'|');
    text.remove(caret, 1);
    QStringList labels;
    for (const CompletionItem& item : completeAt(text, caret, d).items)
        labels << item.label;
    return labels;
}

}  // namespace

TEST(Completion, OffersWhatTheQualifierStandsForInTheCaseTyped) {
    const struct {
        QString typed;
        QStringList labels;
    } cases[] = {
        {u"select c.| from customers c"_s,
         {u"customer_id  NUMBER(10)"_s, u"name  VARCHAR2(100)"_s, u"\"Mixed Case\"  DATE"_s}},
        {u"select C.N| from customers c"_s, {u"NAME  VARCHAR2(100)"_s}},
        {u"select \"Mi| from customers"_s, {u"\"Mixed Case\"  DATE"_s}},
        {u"select o.le| from orders o"_s, {u"\"LEVEL\"  NUMBER"_s}},
        {u"select customers.na| from customers where"_s, {u"name  VARCHAR2(100)"_s}},
        {u"select x.| from (select customer_id id, name from customers) x"_s, {u"id"_s, u"name"_s}},
        {u"with t as (select order_id from orders) select t.| from t"_s, {u"order_id"_s}},
        {u"select e.| from hr.employees e"_s, {u"employee_id  NUMBER"_s}},
        {u"select * from scott.|"_s,
         {u"customers  TABLE"_s, u"orders  TABLE"_s, u"v_sales  VIEW"_s}},
        // The tables of the statement the caret is in, not those of the next one.
        {u"select na| from customers where 1 = 1;\nselect x from orders"_s,
         {u"name  VARCHAR2(100)"_s, u"nanvl"_s, u"natural"_s}},
        {u"select * from Cus|"_s, {u"CUSTOMERS  TABLE"_s}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(offered(c.typed), c.labels) << c.typed.toStdString();
    const Completion quoted = completeAt(u"select \"Mi from customers"_s, 10, dictionary());
    EXPECT_EQ(std::pair(quoted.replaced, quoted.items.at(0).insert),
              std::pair(TextRange{7, 10}, u"\"Mixed Case\""_s));
}

TEST(Completion, AnOwnerNotReadYetIsAskedForAndKeywordsStandInForWhatIsUnknown) {
    EXPECT_EQ(completeAt(u"select * from sys."_s, 18, dictionary()).ownerToRead, u"SYS"_s);
    EXPECT_EQ(completeAt(u"select * from \"Sys\".x"_s, 21, dictionary()).ownerToRead, u"Sys"_s);
    const SchemaDictionary unread{u"SCOTT"_s, nullptr, {}};
    const Completion before = completeAt(u"select c.SU"_s, 11, unread);
    EXPECT_TRUE(before.ownerToRead.isEmpty()) << "nothing is asked before the login's own read";
    EXPECT_EQ(offered(u"select c.SU|"_s, unread),
              (QStringList{u"SUBSTR"_s, u"SUBSTRB"_s, u"SUM"_s}));
}

TEST(Completion, TheDictionaryIsReadAsFarAsTheSessionAllowsAndTheLimitsReach) {
    auto script = std::make_shared<test::Script>();
    script->onText(u"SELECT TABLE_NAME FROM USER_TABLES"_s,
                   test::Reply::table({u"TABLE_NAME"_s}, {{u"CUSTOMERS"_s}}));
    script->onText(u"SELECT VIEW_NAME FROM USER_VIEWS"_s,
                   test::Reply::fail(u"ORA-00942: table or view does not exist"_s));
    script->on(u"SELECT TABLE_NAME, COLUMN_NAME, .* FROM USER_TAB_COLUMNS .*"_s,
               test::Reply::table({u"T"_s, u"C"_s, u"TYPE"_s, u"LEN"_s, u"P"_s, u"S"_s},
                                  {{u"CUSTOMERS"_s, u"ID"_s, u"NUMBER"_s, 22, 10, 0},
                                   {u"V"_s, u"X"_s, u"VARCHAR2"_s, 20, QVariant(), QVariant()}}));
    script->on(u"SELECT TABLE_NAME FROM ALL_TABLES WHERE OWNER = 'HR'"_s,
               test::Reply::table({u"TABLE_NAME"_s}, {{u"A"_s}, {u"B"_s}, {u"C"_s}}));
    test::ScriptedDatabase db(u"S"_s, script);

    const SchemaObjects own = readOwnSchema(db);
    ASSERT_TRUE(own.complete);
    ASSERT_EQ(own.objects().size(), 2u);
    EXPECT_EQ(own.find(u"CUSTOMERS"_s)->columns.at(0).type, u"NUMBER(10)"_s);
    EXPECT_EQ(std::pair(own.find(u"V"_s)->kind, own.find(u"V"_s)->columns.at(0).type),
              std::pair(SchemaObjectKind::Other, u"VARCHAR2(20)"_s))
        << "an object only the columns name, without USER_VIEWS";

    const SchemaObjects hr = readOwnerSchema(db, u"HR"_s, {2, 5000});
    EXPECT_EQ(std::pair(hr.objects().size(), hr.complete), std::pair(size_t(2), false));
    EXPECT_FALSE(script->log.join(u'\n').contains(u"ALL_TAB_COLUMNS"_s)) << "a limit ends it";
}
