#pragma once
// The printable report of a write-off batch: a PDF on A4 (Qt's PDF writer), its texts in the
// interface language, in WenQuanYi Micro Hei, embedded, so that Chinese names print and can
// be searched. Every page has a header with the company, the batch and "page N of M"; then
// the run (type, write-off date, transfer supplier, who ran it, when, how, its reversal),
// every document (supplier, type, number, date, currency, the amounts written off in it and
// in local currency), the totals by currency and the transfer or refund documents the run
// made. Amounts show the currency's decimals and never lose one (ShownAmountText).
//
// Needs a QGuiApplication (the offscreen platform will do).

#include "platform/Exception.h"
#include "report/WriteOffBatch.h"
#include "support/MessageCatalogue.h"

#include <string>

class BatchReportError : public Exception {
public:
    using Exception::Exception;
    ~BatchReportError() override;
};

// Writes the report to file and answers its number of pages. The file is written whole or
// not at all: BatchReportError (the file as it was) when the font cannot be found or the
// file cannot be written.
int WriteWriteOffBatchReport(const WriteOffBatchRecord& record, HostLanguage language, const std::string& file);
