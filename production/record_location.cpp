#include "production/record_location.h"

#include <algorithm>
#include <iterator>

#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace production {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::optional<int> WholeNumber(const QString& text, int max) {
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < 0 || n > max || text.startsWith(u'+')) return std::nullopt;
    return n;
}

Result<RecordLocation> ParsePostgres(std::string_view url) {
    using R = Result<RecordLocation>;
    // The URL holds a password: no message repeats it.
    const QUrl u(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())),
                 QUrl::StrictMode);
    if (!u.isValid()) return R::Error("--record: not a valid PostgreSQL URL");
    if (u.hasFragment()) return R::Error("--record: a PostgreSQL URL has no '#' part");
    RecordLocation at;
    at.kind = RecordLocation::Kind::kPostgres;
    at.user = u.userName(QUrl::FullyDecoded).toStdString();
    at.password = u.password(QUrl::FullyDecoded).toStdString();
    at.host = u.host(QUrl::FullyDecoded).toStdString();
    at.port = u.port(-1);
    QString database = u.path(QUrl::FullyDecoded);
    if (database.startsWith(u'/')) database.remove(0, 1);
    if (database.contains(u'/')) return R::Error("--record: the database name holds a '/'");
    at.database = database.toStdString();
    for (const auto& [key, value] : QUrlQuery(u).queryItems(QUrl::FullyDecoded)) {
        if (key == u"host") {
            at.host = value.toStdString();
        } else if (key == u"port") {
            const auto port = WholeNumber(value, 65535);
            if (!port) return R::Error("--record: port=" + value.toStdString() + " is no port");
            at.port = *port;
        } else if (key == u"sslmode") {
            static const char* const kModes[] = {"disable", "allow",     "prefer",
                                                 "require", "verify-ca", "verify-full"};
            if (std::find(std::begin(kModes), std::end(kModes), value.toStdString()) ==
                std::end(kModes))
                return R::Error("--record: sslmode=" + value.toStdString() + " is not known");
            at.sslmode = value.toStdString();
        } else if (key == u"connect_timeout") {
            const auto seconds = WholeNumber(value, 3600);
            if (!seconds)
                return R::Error("--record: connect_timeout=" + value.toStdString() +
                                " is not a number of seconds");
            at.connectTimeout = *seconds;
        } else {
            return R::Error("--record: the PostgreSQL URL parameter '" + key.toStdString() +
                            "' is not one this program passes on (host, port, sslmode, "
                            "connect_timeout)");
        }
    }
    return R::Ok(std::move(at));
}

}  // namespace

std::string DefaultRecordPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() +
           "/cv51-writer/production.db";
}

std::string RecordLocation::Where() const {
    switch (kind) {
        case Kind::kNone:
            return "none";
        case Kind::kSqlite:
            return path;
        case Kind::kPostgres:
            break;
    }
    const bool socket = !host.empty() && host.front() == '/';
    std::string where = "postgresql://";
    if (!user.empty()) where.append(user).append("@");
    if (!socket) where.append(host);
    if (port >= 0) where.append(":").append(std::to_string(port));
    where.append("/").append(database);
    if (socket) where.append("?host=").append(host);
    return where;
}

Result<RecordLocation> ParseRecordUrl(std::string_view url) {
    using R = Result<RecordLocation>;
    RecordLocation at;
    if (url.empty() || url == "default") {
        at.path = DefaultRecordPath();
    } else if (url == "none") {
        at.kind = RecordLocation::Kind::kNone;
    } else if (StartsWith(url, "postgresql://") || StartsWith(url, "postgres://")) {
        return ParsePostgres(url);
    } else if (StartsWith(url, "sqlite:")) {
        at.path = std::string(url.substr(7));
        if (at.path.empty()) return R::Error("--record: sqlite: names no file");
    } else if (url.find("://") != std::string_view::npos) {
        return R::Error("--record: '" + std::string(url.substr(0, url.find("://"))) +
                        "' is not a kind of record this program keeps (a file, postgresql:// "
                        "or none)");
    } else {
        at.path = std::string(url);
    }
    return R::Ok(std::move(at));
}

}  // namespace production
