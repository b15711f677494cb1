#pragma once
// The write-off batches of a company read back for people (report/WriteOffBatch.h) from the
// rows its runs recorded (ACPLC, WriteOff.h): the list newest first, and one batch with its
// documents. The company database gives the batches, the documents' dates, the suppliers'
// names and the currencies' decimals; the system database the company's name, its local
// currency (Sys003) and the users' names. Amounts are added up here, exactly: the database
// engine would add SQLite's texts as doubles.
//
// A run was queued when its run text (LC021) begins with its request number (LC014): the
// queue hands the library the job number and the run, a desk's direct run a text of its own.
// Only reads: a database made before the batch rows had LC015-LC021 reads as never
// reversed, direct, without the documents made.

#include "db/Db.h"
#include "report/WriteOffBatch.h"
#include "writeoffserver/WriteOffRequest.h"

#include <cstddef>
#include <string>
#include <vector>

// The databases a reading needs, each the main database of its connection, and the company
// whose batches they are.
struct WriteOffBatchSource {
    DbConnection& company;
    DbConnection& system;
    std::string companyCode;
};

// The company's batches, newest first (by the moment of their run, then by number), at
// most `most` of them.
std::vector<WriteOffBatchSummary> ReadWriteOffBatches(const WriteOffBatchSource& source, std::size_t most);
// One batch by its number as a person names it ("R1", "d9-20261210"). WriteOffError when
// the number is malformed or there is no such batch; DbError (RowLimit) when it holds more
// than mostDocuments documents (0: no bound), before they are read.
WriteOffBatchRecord ReadWriteOffBatch(const WriteOffBatchSource& source, const std::string& batchNo,
                                      std::size_t mostDocuments = 0);
