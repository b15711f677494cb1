#pragma once
// The error of the database connection and its dialect adapter, with what went wrong
// where a caller may act on it (retry a collision, name a busy database, word a bound).

#include "platform/Exception.h"

#include <string>

enum class DbErrorKind {
    Other,
    UniqueViolation, // a unique key or primary key already has the value
    Busy,            // another connection held a lock longer than the busy time
    TimeLimit,       // the statement ran longer than its time limit
    RowLimit,        // the answer had more rows than allowed
    ByteLimit,       // the answer, or one value, was larger than allowed
    MemoryLimit,     // the statement needed more working memory than allowed
    Refused,         // a query-only statement would do more than read
    ConnectionLost,  // the database server went away; the next call connects again
};

class DbError : public Exception {
public:
    explicit DbError(const std::string& message, DbErrorKind kind = DbErrorKind::Other, std::string database = {});
    ~DbError() override;
    DbErrorKind kind() const { return kind_; }
    // The busy database, as the statement names it; empty when it could not be told.
    const std::string& database() const { return database_; }

private:
    DbErrorKind kind_;
    std::string database_;
};
