// WOFB07S.so: the server library of the write-off job (WriteOffJob.h). The client loads
// it for a direct run, the application server for a queued one; both through
// GetSvrController and the slots of platform/SvrController.h.

#include "platform/SvrController.h"
#include "writeoffserver/WriteOffJob.h"

namespace {

class WriteOffController : public TSvrController {
public:
    std::string GetResultText() override { return result_.error; }
    std::string GetSummaryText() override { return result_.summary; }
    void RunJob(const Variant& packet) override { result_ = RunWriteOffJob(packet); }
    std::string CheckRequest(const Variant& packet) override { return CheckWriteOffRequest(packet); }

private:
    WriteOffJobResult result_;
};

} // namespace

extern "C" __attribute__((visibility("default"))) TSvrController* GetSvrController()
{
    return new WriteOffController;
}
