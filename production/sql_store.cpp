// Durability: SQLite keeps a write-ahead log with a sync at every commit (synchronous=FULL), so
// a number handed out or a chip recorded survives a power cut, and a cut loses at most the
// transaction in flight. PostgreSQL commits synchronously. Writers take the record's write
// lock when their transaction begins (BEGIN IMMEDIATE; on PostgreSQL the sequence's row lock,
// SELECT ... FOR UPDATE), so two stations never read the same next number.
#include "production/sql_store.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <thread>

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "production/schema.h"

namespace production {

namespace {

using Clock = std::chrono::steady_clock;
using schema::Dialect;

// A statement the database refused, in its own words.
struct SqlFailure {
    QSqlError error;
};
// A refusal that follows from what the record holds: trying again would not help.
struct Refusal {
    std::string why;
};

QVariant Text(const std::string& text) {
    return QString::fromStdString(text);
}
QVariant Number(std::int64_t n) {
    return QVariant::fromValue<qlonglong>(n);
}
std::string TextOf(const QVariant& v) {
    return v.toString().toStdString();
}

std::string Quoted(const std::string& sequence) {
    return "'" + sequence + "'";
}

class SqlStore final : public Store {
  public:
    SqlStore(Dialect dialect, std::string where, std::chrono::milliseconds deadline)
        : dialect_(dialect), where_(std::move(where)), deadline_(deadline) {
        static std::atomic<unsigned> count{0};
        connection_ = QStringLiteral("production-%1").arg(++count);
    }
    ~SqlStore() override {
        if (QSqlDatabase::contains(connection_)) {
            Db().close();
            QSqlDatabase::removeDatabase(connection_);
        }
    }
    SqlStore(const SqlStore&) = delete;
    SqlStore& operator=(const SqlStore&) = delete;

    // Empty when the record is open and its tables are up to date.
    std::string Open(const RecordLocation& at);

    const std::string& Where() const override { return where_; }
    Result<std::uint32_t> TakeSerial(const SerialSequence& sequence) override;
    core::Outcome Append(const ChipRecord& chip) override;
    Result<std::vector<ChipRecord>> List(const Filter& filter) override;
    Result<std::vector<DayWriterStats>> Stats() override;

  private:
    QSqlDatabase Db() const { return QSqlDatabase::database(connection_, false); }
    // One statement with its values bound in order; throws SqlFailure.
    QSqlQuery Run(const std::string& sql, const QVariantList& values = {}) const;
    // Runs `work`, in a write transaction when `write`, again after the record was busy or a
    // serialization failure until the deadline. Returns why it failed; empty when it passed.
    std::string Attempt(bool write, const std::function<void()>& work);
    std::string Message(const QSqlError& error) const;
    bool Retryable(const QSqlError& error) const;
    std::string OpenSqlite(const RecordLocation& at);
    std::string OpenPostgres(const RecordLocation& at);
    void BringSchemaUpToDate();

    Dialect dialect_;
    std::string where_;
    std::chrono::milliseconds deadline_;
    QString connection_;
};

QSqlQuery SqlStore::Run(const std::string& sql, const QVariantList& values) const {
    QSqlQuery q(Db());
    q.setForwardOnly(true);
    const QString text = QString::fromStdString(sql);
    const bool ok = values.isEmpty() ? q.exec(text) : [&] {
        if (!q.prepare(text)) return false;
        for (const auto& v : values) q.addBindValue(v);
        return q.exec();
    }();
    if (!ok) throw SqlFailure{q.lastError()};
    return q;
}

bool SqlStore::Retryable(const QSqlError& error) const {
    const QString code = error.nativeErrorCode();
    if (dialect_ == Dialect::kSqlite) return code == u"5" || code == u"6";  // busy, locked
    return code == u"40001" || code == u"40P01";  // serialization failure, deadlock
}

std::string SqlStore::Message(const QSqlError& error) const {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty()) text = error.text().trimmed();
    return where_ + ": " + text.toStdString();
}

std::string SqlStore::Attempt(bool write, const std::function<void()>& work) {
    const auto deadline = Clock::now() + deadline_;
    std::chrono::microseconds pause{500};
    thread_local std::minstd_rand jitter{std::random_device{}()};
    for (;;) {
        QSqlError error;
        try {
            if (write) Run(dialect_ == Dialect::kSqlite ? "BEGIN IMMEDIATE" : "BEGIN");
            work();
            if (write) Run("COMMIT");
            return {};
        } catch (const Refusal& refusal) {
            if (write) QSqlQuery(Db()).exec(QStringLiteral("ROLLBACK"));
            return refusal.why;
        } catch (const SqlFailure& failure) {
            if (write) QSqlQuery(Db()).exec(QStringLiteral("ROLLBACK"));
            error = failure.error;
        }
        if (!Retryable(error)) return Message(error);
        if (Clock::now() + pause > deadline) {
            return Message(error) + " (still busy after " + std::to_string(deadline_.count()) +
                   " ms)";
        }
        // Randomised, so that two waiting processes do not keep meeting.
        std::this_thread::sleep_for(pause + std::chrono::microseconds(jitter() % 1000));
        pause = std::min(pause * 2, std::chrono::microseconds{50000});
    }
}

std::string SqlStore::OpenSqlite(const RecordLocation& at) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid())
        return "the Qt SQLite driver is not installed (Debian package libqt6sql6-sqlite)";
    const QString path = QString::fromStdString(at.path);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) return where_ + ": cannot make the folder " + folder.toStdString();
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(deadline_.count()));
    if (!db.open()) return Message(db.lastError());
    std::string journal;
    std::string why = Attempt(false, [&] {
        auto q = Run("PRAGMA journal_mode=WAL");
        journal = q.next() ? TextOf(q.value(0)) : std::string();
    });
    if (!why.empty()) return why;
    if (journal != "wal")
        return where_ + ": cannot keep a write-ahead log here (journal mode " + journal + ")";
    return Attempt(false, [&] {
        Run("PRAGMA synchronous=FULL");
        Run("PRAGMA foreign_keys=ON");
    });
}

std::string SqlStore::OpenPostgres(const RecordLocation& at) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    if (!db.isValid())
        return "the Qt PostgreSQL driver is not installed (Debian package libqt6sql6-psql)";
    db.setHostName(QString::fromStdString(at.host));
    db.setPort(at.port);
    db.setUserName(QString::fromStdString(at.user));
    db.setPassword(QString::fromStdString(at.password));
    db.setDatabaseName(QString::fromStdString(at.database));
    QString options = QStringLiteral("connect_timeout=%1").arg(at.connectTimeout);
    if (!at.sslmode.empty()) options += QStringLiteral(";sslmode=") + at.sslmode.c_str();
    db.setConnectOptions(options);
    if (!db.open()) return Message(db.lastError());
    return Attempt(false, [&] {
        // The server's default may have been turned down; a number handed out must be on disk.
        Run("SET synchronous_commit TO on");
        Run("SET lock_timeout TO " + std::to_string(deadline_.count()));
    });
}

void SqlStore::BringSchemaUpToDate() {
    if (dialect_ == Dialect::kPostgres) {
        // Stations opening a new database at once take turns to create the tables.
        Run("SELECT pg_advisory_xact_lock(1668690225)");
    }
    auto exists = Run(dialect_ == Dialect::kSqlite
                          ? "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = "
                            "'schema_version'"
                          : "SELECT COUNT(*) FROM pg_catalog.pg_tables WHERE schemaname = "
                            "current_schema() AND tablename = 'schema_version'");
    int version = 0;
    if (exists.next() && exists.value(0).toInt() > 0) {
        auto q = Run("SELECT MAX(version) FROM schema_version");
        if (!q.next() || q.value(0).isNull())
            throw Refusal{where_ + ": the table schema_version is empty; the record is damaged"};
        version = q.value(0).toInt();
    }
    if (version > schema::Latest()) {
        throw Refusal{where_ + ": the record's tables are of version " + std::to_string(version) +
                      ", newer than this program knows (" + std::to_string(schema::Latest()) +
                      "); use a newer program, or another record"};
    }
    for (int v = version + 1; v <= schema::Latest(); ++v) {
        for (const auto& statement : schema::Migration(v, dialect_)) Run(statement);
    }
}

std::string SqlStore::Open(const RecordLocation& at) {
    std::string why = dialect_ == Dialect::kSqlite ? OpenSqlite(at) : OpenPostgres(at);
    if (!why.empty()) return why;
    return Attempt(true, [this] { BringSchemaUpToDate(); });
}

Result<std::uint32_t> SqlStore::TakeSerial(const SerialSequence& sequence) {
    using R = Result<std::uint32_t>;
    if (sequence.step == 0) return R::Error("a serial step of 0 would give every chip one number");
    std::int64_t taken = 0;
    const std::string why = Attempt(true, [&] {
        const QVariant name = Text(sequence.name);
        Run("INSERT INTO serial_sequences (name, next_number) VALUES (?, ?) "
            "ON CONFLICT (name) DO NOTHING",
            {name, Number(sequence.start)});
        auto q = Run(dialect_ == Dialect::kSqlite
                         ? "SELECT next_number FROM serial_sequences WHERE name = ?"
                         : "SELECT next_number FROM serial_sequences WHERE name = ? FOR UPDATE",
                     {name});
        if (!q.next())
            throw Refusal{where_ + ": the sequence " + Quoted(sequence.name) + " vanished"};
        taken = std::max<std::int64_t>(q.value(0).toLongLong(), sequence.start);
        if (taken > 0xFFFFFFFF) {
            throw Refusal{"the serial numbers of " + Quoted(sequence.name) +
                          " are used up: the next would be " + std::to_string(taken) +
                          ", beyond 32 bits"};
        }
        Run("UPDATE serial_sequences SET next_number = ? WHERE name = ?",
            {Number(taken + sequence.step), name});
        Run("INSERT INTO serial_taken (sequence_name, number, time_utc, station) "
            "VALUES (?, ?, ?, ?)",
            {name, Number(taken), Text(NowUtc()), Text(StationName())});
    });
    if (!why.empty()) return R::Error(why);
    return R::Ok(static_cast<std::uint32_t>(taken));
}

core::Outcome SqlStore::Append(const ChipRecord& chip) {
    const std::string why = Attempt(true, [&] {
        const QVariant sequence = Text(chip.sequence);
        if (chip.serial) {
            const QVariant number = Number(*chip.serial);
            const std::string which =
                "serial number " + std::to_string(*chip.serial) + " of " + Quoted(chip.sequence);
            auto taken =
                Run("SELECT COUNT(*) FROM serial_taken WHERE sequence_name = ? AND "
                    "number = ?",
                    {sequence, number});
            if (!taken.next() || taken.value(0).toInt() == 0)
                throw Refusal{which + " was not taken from " + where_};
            auto used = Run("SELECT id FROM chips WHERE sequence_name = ? AND serial = ?",
                            {sequence, number});
            if (used.next()) {
                throw Refusal{which + " is already on chip " +
                              std::to_string(used.value(0).toLongLong()) + " in " + where_};
            }
        }
        std::int64_t id = 0;
        {
            auto q = Run(
                "INSERT INTO chips (time_utc, station, writer_name, writer_serial, part_name,"
                " part_index, project_file, checksum, sha256, sequence_name, serial, result,"
                " elapsed_ms, version) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                " RETURNING id",
                {Text(chip.timeUtc), Text(chip.station), Text(chip.writerName),
                 Text(chip.writerSerial), Text(chip.partName), Number(chip.partIndex),
                 Text(chip.projectFile), Number(chip.checksum), Text(chip.sha256), sequence,
                 chip.serial ? Number(*chip.serial) : QVariant(QMetaType::fromType<qlonglong>()),
                 Text(std::string(core::EndingName(chip.result))), Number(chip.elapsedMs),
                 Text(chip.version)});
            if (!q.next()) throw SqlFailure{q.lastError()};
            id = q.value(0).toLongLong();
        }
        for (std::size_t i = 0; i < chip.steps.size(); ++i) {
            const StepRecord& step = chip.steps[i];
            Run("INSERT INTO chip_steps (chip_id, step_no, name, result, elapsed_ms) "
                "VALUES (?, ?, ?, ?, ?)",
                {Number(id), Number(static_cast<std::int64_t>(i)), Text(step.name),
                 Text(std::string(core::EndingName(step.ending))), Number(step.elapsedMs)});
        }
    });
    return core::Outcome::From(why.empty(), why);
}

Result<std::vector<ChipRecord>> SqlStore::List(const Filter& filter) {
    using R = Result<std::vector<ChipRecord>>;
    std::string sql =
        "SELECT c.id, c.time_utc, c.station, c.writer_name, c.writer_serial, c.part_name,"
        " c.part_index, c.project_file, c.checksum, c.sha256, c.sequence_name, c.serial,"
        " c.result, c.elapsed_ms, c.version, s.step_no, s.name, s.result, s.elapsed_ms"
        " FROM chips c LEFT JOIN chip_steps s ON s.chip_id = c.id WHERE 1 = 1";
    QVariantList values;
    if (!filter.sinceUtc.empty()) {
        sql += " AND c.time_utc >= ?";
        values << Text(filter.sinceUtc);
    }
    if (filter.serial) {
        sql += " AND c.serial = ?";
        values << Number(*filter.serial);
    }
    if (!filter.writer.empty()) {
        sql += " AND (c.writer_name = ? OR c.writer_serial = ?)";
        values << Text(filter.writer) << Text(filter.writer);
    }
    sql += " ORDER BY c.id, s.step_no";
    std::vector<ChipRecord> chips;
    const std::string why = Attempt(false, [&] {
        chips.clear();
        auto q = Run(sql, values);
        while (q.next()) {
            const std::int64_t id = q.value(0).toLongLong();
            if (chips.empty() || chips.back().id != id) {
                ChipRecord& c = chips.emplace_back();
                c.id = id;
                c.timeUtc = TextOf(q.value(1));
                c.station = TextOf(q.value(2));
                c.writerName = TextOf(q.value(3));
                c.writerSerial = TextOf(q.value(4));
                c.partName = TextOf(q.value(5));
                c.partIndex = q.value(6).toInt();
                c.projectFile = TextOf(q.value(7));
                c.checksum = static_cast<std::uint16_t>(q.value(8).toLongLong());
                c.sha256 = TextOf(q.value(9));
                c.sequence = TextOf(q.value(10));
                const qlonglong serial = q.value(11).toLongLong();
                if (!q.value(11).isNull() && serial >= 0 && serial <= 0xFFFFFFFF)
                    c.serial = static_cast<std::uint32_t>(serial);
                c.result = EndingFromName(TextOf(q.value(12)));
                c.elapsedMs = q.value(13).toLongLong();
                c.version = TextOf(q.value(14));
            }
            if (!q.value(15).isNull()) {
                chips.back().steps.push_back({TextOf(q.value(16)),
                                              EndingFromName(TextOf(q.value(17))),
                                              q.value(18).toLongLong()});
            }
        }
        if (q.lastError().isValid()) throw SqlFailure{q.lastError()};
    });
    if (!why.empty()) return R::Error(why);
    return R::Ok(std::move(chips));
}

Result<std::vector<DayWriterStats>> SqlStore::Stats() {
    using R = Result<std::vector<DayWriterStats>>;
    std::vector<DayWriterStats> rows;
    const std::string why = Attempt(false, [&] {
        rows.clear();
        auto q =
            Run("SELECT substr(time_utc, 1, 10), writer_name, COUNT(*),"
                " SUM(CASE WHEN result = 'passed' THEN 1 ELSE 0 END),"
                " SUM(CASE WHEN result = 'failed' THEN 1 ELSE 0 END)"
                " FROM chips GROUP BY substr(time_utc, 1, 10), writer_name ORDER BY 1, 2");
        while (q.next()) {
            rows.push_back({TextOf(q.value(0)), TextOf(q.value(1)), q.value(2).toLongLong(),
                            q.value(3).toLongLong(), q.value(4).toLongLong()});
        }
        if (q.lastError().isValid()) throw SqlFailure{q.lastError()};
    });
    if (!why.empty()) return R::Error(why);
    return R::Ok(std::move(rows));
}

}  // namespace

Result<std::unique_ptr<Store>> OpenSqlStore(const RecordLocation& at, const OpenOptions& options) {
    const Dialect dialect =
        at.kind == RecordLocation::Kind::kPostgres ? Dialect::kPostgres : Dialect::kSqlite;
    auto store = std::make_unique<SqlStore>(dialect, at.Where(), options.busyDeadline);
    const std::string why = store->Open(at);
    if (!why.empty()) return Result<std::unique_ptr<Store>>::Error(why);
    return Result<std::unique_ptr<Store>>::Ok(std::move(store));
}

}  // namespace production
