#pragma once
// Reversal of a write-off batch (WriteOff.h), on a connection whose main database is the
// company database, in one write transaction: every document of the batch gets back the
// settlement columns it had before the run, exactly as they were stored; the transfer and
// refund documents the run made are removed; the batch rows stay, marked reversed with
// who and when, so that the number stays used.
//
// Refused (WriteOffError, nothing changed) when the batch does not exist, was reversed
// already, was made without the images this needs, or when a document of it, or a
// document it made, changed since the run.

#include "db/Db.h"

#include <string>

struct WriteOffReversal {
    std::string batchKey;
    int documents = 0;
    int removed = 0; // transfer and refund documents
};

WriteOffReversal ReverseWriteOffBatch(DbConnection& company, const std::string& batchNo, const std::string& userCode,
                                      const std::string& stamp);
// "Batch WOFB07-B1 reversed: 3 documents restored, 1 transfer or refund document removed".
std::string WriteOffReversalSummary(const WriteOffReversal& reversal);
