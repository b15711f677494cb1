#pragma once
// The error of the database connection and its dialect adapter, with what a statement ran
// into, for callers that answer some failures in words of their own.

#include "platform/Exception.h"

#include <string>

enum class DbFailure {
    Other,
    Busy,        // another connection held a lock longer than the busy time
    TimeLimit,   // the statement ran longer than its time limit
    RowLimit,    // the answer had more rows than allowed
    ByteLimit,   // the answer, or one value, was larger than allowed
    MemoryLimit, // the statement needed more working memory than allowed
    Refused,     // a query-only statement would do more than read
};

class DbError : public Exception {
public:
    explicit DbError(const std::string& message, DbFailure failure = DbFailure::Other, std::string database = {});
    ~DbError() override;
    DbFailure failure() const { return failure_; }
    // The busy database, as the statement names it; empty when it could not be told.
    const std::string& database() const { return database_; }

private:
    DbFailure failure_;
    std::string database_;
};
