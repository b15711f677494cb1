#include "db/DbError.h"

#include <utility>

DbError::DbError(const std::string& message, DbErrorKind kind, std::string database)
    : Exception(message), kind_(kind), database_(std::move(database))
{
}

DbError::~DbError() = default;
