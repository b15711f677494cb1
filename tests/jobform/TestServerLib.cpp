// A job's server library for the tests: it keeps the packet it was given, and its outcome
// follows the packet's extra text, or for a batch job the first option value: "raise"
// makes the run raise, "fail" gives an error text, anything else succeeds.

#include "platform/Exception.h"
#include "platform/SvrController.h"

namespace {

Variant lastPacket;
int controllersAlive = 0;

class TestController : public TSvrController {
public:
    TestController() { ++controllersAlive; }
    ~TestController() override { --controllersAlive; }

    std::string GetResultText() override { return result_; }

    void RunJob(const Variant& packet) override
    {
        lastPacket = packet;
        const bool batch = packet.highBound() == 6;
        std::string extra = VarToStr(packet[batch ? 5 : 8]);
        const Variant& values = packet[batch ? 3 : 5];
        if (batch && values.isArray() && values.count() > 0 && !values[values.lowBound()].isArray())
            if (const std::string first = VarToStr(values[values.lowBound()]); first == "raise" || first == "fail")
                extra = first;
        if (extra == "raise") {
            result_.clear();
            throw Exception("the job broke down");
        }
        result_ = extra == "fail" ? "供应商 S009 不存在" : "";
    }

private:
    std::string result_;
};

} // namespace

extern "C" {
__attribute__((visibility("default"))) TSvrController* GetSvrController()
{
    return new TestController;
}
// For the test that holds the library: what the last run was given, and how many
// controllers are still alive.
__attribute__((visibility("default"))) const Variant* TestServerLastPacket()
{
    return &lastPacket;
}
__attribute__((visibility("default"))) int TestServerControllersAlive()
{
    return controllersAlive;
}
}
