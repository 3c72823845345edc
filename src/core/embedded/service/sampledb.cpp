#include "core/embedded/service/sampledb.h"

#include "core/embedded/catalog/optimizerstats.h"

#include "core/sqlite/sqlite.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace qv::embedded {

namespace {

// Our own generator (SplitMix64) rather than <random>: the standard distributions may differ
// between library versions, and the sample must be the same everywhere.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A whole number in [low, high].
    int64_t between(int64_t low, int64_t high) {
        return low + int64_t(next() % uint64_t(high - low + 1));
    }
    template <size_t N>
    const char* pick(const char* const (&list)[N]) {
        return list[next() % N];
    }

  private:
    uint64_t state_;
};

const char* const kSurnames[] = {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺",   "山本",
                                 "中村", "小林", "加藤", "吉田", "山田", "佐々木", "山口",
                                 "松本", "井上", "木村", "林",   "斎藤", "清水"};
const char* const kGivenNames[] = {"太郎", "花子", "翔太", "陽菜",   "大輝",   "美咲", "健一",
                                   "由美", "蓮",   "結衣", "悠斗",   "さくら", "拓也", "愛",
                                   "直樹", "彩",   "誠",   "真由美", "亮",     "恵"};
const char* const kCities[] = {"東京", "大阪", "名古屋", "札幌", "福岡",     "横浜",   "神戸",
                               "京都", "仙台", "広島",   "千葉", "さいたま", "北九州", "静岡",
                               "新潟", "浜松", "熊本",   "岡山", "鹿児島",   "那覇"};
const char* const kCategories[] = {"文房具", "家電", "食品",     "書籍",   "衣料",
                                   "玩具",   "家具", "スポーツ", "化粧品", "飲料"};
const char* const kGrades[] = {"定番", "特選", "限定", "お徳用", "高級"};

const char* const kSchema[] = {
    "CREATE TABLE customers (customer_id INTEGER PRIMARY KEY, name varchar2(40) NOT NULL, "
    "city varchar2(20), email varchar2(60), phone varchar2(20), registered date)",
    "CREATE TABLE products (product_id INTEGER PRIMARY KEY, name varchar2(60) NOT NULL, "
    "category varchar2(20), unit_price number(10), stock number(10))",
    "CREATE TABLE orders (order_id INTEGER PRIMARY KEY, customer_id number(10) NOT NULL, "
    "order_date date, status varchar2(10), total_amount number(12))",
    "CREATE TABLE order_items (item_id INTEGER PRIMARY KEY, order_id number(10) NOT NULL, "
    "line_no number(3), product_id number(10), quantity number(5), unit_price number(10))",
};

// Made after the rows are in, which is faster. city, status and order_items.product_id stay
// without an index on purpose, so a search on them shows a full scan.
const char* const kIndexes[] = {
    "CREATE INDEX ix_orders_customer ON orders (customer_id)",
    "CREATE INDEX ix_orders_date ON orders (order_date)",
    "CREATE INDEX ix_order_items_order ON order_items (order_id)",
    "CREATE INDEX ix_products_category ON products (category)",
};

// One INSERT run row after row, its values bound in column order.
class Inserter {
  public:
    Inserter(sqlite3* db, const char* sql) : stmt_(db, sql) {}

    Inserter& operator<<(int64_t v) {
        stmt_.bind(++column_, v);
        return *this;
    }
    Inserter& operator<<(const QByteArray& v) {
        stmt_.bind(++column_, QByteArrayView(v));
        return *this;
    }
    void insert() {
        stmt_.run();
        column_ = 0;
    }

  private:
    sqlite::Statement stmt_;
    int column_ = 0;
};

QByteArray text(const char* format, auto... args) {
    return QString::asprintf(format, args...).toUtf8();
}

QByteArray dateText(const QDate& start, int64_t days) {
    return start.addDays(days).toString(Qt::ISODate).toUtf8();
}

void fill(sqlite3* db, const SampleSize& size) {
    Random random(20240601);
    const QDate registeredFrom(2015, 1, 1);
    const QDate ordersFrom(2020, 1, 1);

    Inserter customer(db, "INSERT INTO customers VALUES (?, ?, ?, ?, ?, ?)");
    for (int id = 1; id <= size.customers; ++id) {
        const QByteArray name = QByteArray(random.pick(kSurnames)) + " " + random.pick(kGivenNames);
        customer << id << name << QByteArray(random.pick(kCities))
                 << text("customer%05d@example.jp", id)
                 << text("0%lld-%04lld-%04lld", (long long)random.between(3, 99),
                         (long long)random.between(0, 9999), (long long)random.between(0, 9999))
                 << dateText(registeredFrom, random.between(0, 3650));
        customer.insert();
    }

    std::vector<int64_t> prices(size_t(size.products) + 1);
    Inserter product(db, "INSERT INTO products VALUES (?, ?, ?, ?, ?)");
    for (int id = 1; id <= size.products; ++id) {
        const char* category = random.pick(kCategories);
        prices[size_t(id)] = random.between(10, 5000) * 10;
        product << id << QByteArray(random.pick(kGrades)) + category + text(" No.%04d", id)
                << QByteArray(category) << prices[size_t(id)] << random.between(0, 500);
        product.insert();
    }

    Inserter order(db, "INSERT INTO orders VALUES (?, ?, ?, ?, ?)");
    Inserter item(db, "INSERT INTO order_items VALUES (?, ?, ?, ?, ?, ?)");
    int64_t itemId = 0;
    for (int id = 1; id <= size.orders; ++id) {
        const int64_t customerId = random.between(1, size.customers);
        const QByteArray date = dateText(ordersFrom, random.between(0, 1825));
        const int64_t roll = random.between(1, 100);
        const char* status = roll <= 70   ? "DELIVERED"
                             : roll <= 85 ? "SHIPPED"
                             : roll <= 95 ? "NEW"
                                          : "CANCELLED";
        const int64_t lines = random.between(1, size.maxItemsPerOrder);
        int64_t total = 0;
        for (int64_t line = 1; line <= lines; ++line) {
            const int64_t productId = random.between(1, size.products);
            const int64_t quantity = random.between(1, 5);
            total += quantity * prices[size_t(productId)];
            item << ++itemId << id << line << productId << quantity << prices[size_t(productId)];
            item.insert();
        }
        order << id << customerId << date << QByteArray(status) << total;
        order.insert();
    }
}

// Pragmas take no bound values, so the sample's marks are written as literals; the compiler
// holds them to the numbers sampleState() reads back.
constexpr std::string_view kMarkVersion = "PRAGMA user_version = 2";
constexpr std::string_view kMarkApplication = "PRAGMA application_id = 1364611889";

constexpr int64_t trailingNumber(std::string_view text) {
    int64_t value = 0;
    for (char c : text.substr(text.find_last_not_of("0123456789") + 1))
        value = value * 10 + (c - '0');
    return value;
}
static_assert(trailingNumber(kMarkVersion) == kSampleVersion);
static_assert(trailingNumber(kMarkApplication) == kSampleApplicationId);

void build(const QString& path, const SampleSize& size) {
    sqlite::Connection file(path, sqlite::Connection::Mode::ReadWrite, 0);
    // A half-made file is thrown away, never used, so it needs no journal or syncs.
    file.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
    for (const char* sql : kSchema)
        file.exec(sql);
    fill(file.handle(), size);
    for (const char* sql : kIndexes)
        file.exec(sql);
    file.exec(kMarkVersion.data());
    file.exec(kMarkApplication.data());
    file.exec("COMMIT; ANALYZE; BEGIN");
    gatherStatistics(file.handle(), QString());
    file.exec("COMMIT");
}

const QString kTemporaryPattern = QStringLiteral("sample-*.tmp");
const QString kLockSuffix = QStringLiteral(".lock");

// The lock that says a live program is making the temporary file `temp`. It is never taken
// for stale by its age, only when the program that holds it is gone.
std::unique_ptr<QLockFile> makingLock(const QString& temp) {
    auto lock = std::make_unique<QLockFile>(temp + kLockSuffix);
    lock->setStaleLockTime(0);
    return lock;
}

// A temporary file of a name of its own in `dir`, made under its lock, which is taken first:
// the file never stands without a live maker's lock, so removeAbandonedSampleFiles() cannot
// take it for abandoned.
QString makeTemporaryFile(const QString& dir, std::unique_ptr<QLockFile>& lock) {
    QString reason;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString temp =
            dir + QStringLiteral("/sample-%1.tmp")
                      .arg(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull, 12, 16,
                           QLatin1Char('0'));
        auto candidate = makingLock(temp);
        if (!candidate->tryLock(0)) {
            if (candidate->error() != QLockFile::LockFailedError)
                break;
            continue;  // another maker's name
        }
        QFile file(temp);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            lock = std::move(candidate);
            return temp;
        }
        reason = file.errorString();
        if (!file.exists())
            break;
    }
    throw DbError(kErrOdbcCall,
                  QStringLiteral("cannot create the sample database in %1: %2")
                      .arg(dir, reason.isEmpty() ? QStringLiteral("no lock file") : reason));
}

}  // namespace

void generateSampleDatabase(const QString& path, const SampleSize& size) {
    std::unique_ptr<QLockFile> lock;
    const QString temp = makeTemporaryFile(QFileInfo(path).absolutePath(), lock);
    try {
        build(temp, size);
        std::error_code error;
        std::filesystem::rename(temp.toStdU16String(), path.toStdU16String(), error);
        if (error) {
            throw DbError(kErrOdbcCall, QStringLiteral("cannot create the sample database %1: %2")
                                            .arg(path, QString::fromStdString(error.message())));
        }
    } catch (...) {
        QFile::remove(temp);
        throw;
    }
    // The lock goes (with `lock`) only once the file is in place.
}

void removeAbandonedSampleFiles(const QString& dir) {
    const QDir folder(dir);
    const QDir::Filters files = QDir::Files | QDir::Hidden | QDir::System;
    for (const QString& name : folder.entryList({kTemporaryPattern}, files)) {
        const QString temp = folder.filePath(name);
        const std::unique_ptr<QLockFile> lock = makingLock(temp);
        // Had only when no live program holds it: one that crashed left it, or none was made.
        if (lock->tryLock(0))
            QFile::remove(temp);
    }
    for (const QString& name : folder.entryList({kTemporaryPattern + kLockSuffix}, files)) {
        const QString temp = folder.filePath(name.chopped(kLockSuffix.size()));
        if (!QFileInfo::exists(temp))
            makingLock(temp)->tryLock(0);  // a stale one is taken over and goes with the object
    }
}

SampleState sampleState(const QString& path, int busyTimeoutMs) {
    if (!QFileInfo::exists(path))
        return SampleState::Missing;
    std::unique_ptr<sqlite::Connection> file;
    try {
        // The busy timeout is set before anything is read: a writer elsewhere must not make the
        // file look unreadable.
        file = std::make_unique<sqlite::Connection>(path, sqlite::Connection::Mode::ReadOnly,
                                                    busyTimeoutMs);
    } catch (const sqlite::Error&) {
        return SampleState::Foreign;
    }
    auto number = [&](const char* sql) {
        sqlite::Statement st(file->handle(), sql);
        return st.step() ? st.integer(0) : 0;
    };
    int64_t version = -1, application = -1;
    try {
        version = number("PRAGMA user_version");
        application = number("PRAGMA application_id");
        if (application != kSampleApplicationId) {
            // Samples made before the mark existed: version 1 with the sample's four tables.
            const int64_t tables = number(
                "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                "('customers', 'products', 'orders', 'order_items')");
            if (application != 0 || version != 1 || tables != 4)
                return SampleState::Foreign;
        }
    } catch (const sqlite::Error& e) {
        const bool busy = e.resultCode() == SQLITE_BUSY || e.resultCode() == SQLITE_LOCKED;
        return busy && version < 0 ? SampleState::Busy : SampleState::Foreign;
    }
    return version == kSampleVersion ? SampleState::Current : SampleState::Outdated;
}

}  // namespace qv::embedded
