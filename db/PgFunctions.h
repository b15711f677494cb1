#pragma once
// The server functions the PostgreSQL dialect adapter calls (schema qv_fn): CONVERT to
// texts and whole numbers as the suite's server converts, ROUND of binary numbers and
// with a third argument, LEN. PostgreSQL's own ROUND of NUMERIC already rounds half away
// from zero. Installed once per database, under a lock, when missing or older.

#include <string>

// The version the script installs; qv_fn.qv_functions_version() answers it.
inline constexpr int PgFunctionsVersion = 1;

// The script: plain PostgreSQL, not for the dialect adapter.
std::string PgFunctionsScript();
