#include "platform/DbError.h"

#include <utility>

DbError::DbError(const std::string& message, DbFailure failure, std::string database)
    : Exception(message), failure_(failure), database_(std::move(database))
{
}

DbError::~DbError() = default;
