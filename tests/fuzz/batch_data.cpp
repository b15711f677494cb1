// Write-off batches as a desk reads them from the application server (WriteOffBatchCodec):
// the bytes of a wire value read as a batch record (first byte "R") or as a list of
// batches (any other first byte).
// Property: reading succeeds or raises VariantError or BatchDataError, nothing else; what it
// reads, written again, reads back the same.

#include "FuzzSupport.h"

#include "report/WriteOffBatchCodec.h"
#include "wire/WireCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    Variant value;
    try {
        value = DecodeWireValue(bytes);
    } catch (const VariantError&) {
        return 0;
    }
    try {
        if (data[0] == 'R') {
            const WriteOffBatchRecord record = BatchRecordOf(value);
            fuzz::check(BatchRecordOf(BatchRecordValue(record)) == record, "a record reads back the same");
        } else {
            const std::vector<WriteOffBatchSummary> list = BatchListOf(value);
            fuzz::check(BatchListOf(BatchListValue(list)) == list, "a list reads back the same");
        }
    } catch (const BatchDataError&) {
    }
    return 0;
}
