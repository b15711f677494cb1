#include "platform/Automation.h"

#include <gtest/gtest.h>

namespace {

class Counter : public DispatchObject {
public:
    Counter()
    {
        defineProperty("Value", [this] { return Variant(value_); }, [this](const Variant& v) { value_ = v.toInt(); });
        defineProperty("ReadOnly", [] { return Variant("r"); });
        defineMethod("Add", [this](std::span<Variant> args) {
            value_ += arg(args, 0).toInt();
            return Variant(value_);
        });
        // Writes its by-reference second argument, as a server method with an out value.
        defineMethod("Split", [](std::span<Variant> args) {
            const std::string s = arg(args, 0).toString();
            arg(args, 1) = Variant::list({s.substr(0, 1), s.substr(1)});
            return Variant(true);
        });
        defineMethod("Fail", [](std::span<Variant>) -> Variant { throw Exception("server said no"); });
    }

private:
    int value_ = 0;
};

} // namespace

TEST(Automation, MembersAreFoundWithoutRegardToCase)
{
    Variant obj(std::make_shared<Counter>());
    obj.put("VALUE", 5);
    EXPECT_EQ(obj.get("value").toInt(), 5);
    EXPECT_EQ(obj.call("add", {3}).toInt(), 8);
    EXPECT_EQ(obj.call("Value").toInt(), 8) << "a property answers a call without arguments";
}

TEST(Automation, ByReferenceArgumentsComeBack)
{
    Variant obj(std::make_shared<Counter>());
    Variant args[2] = {"ABC", Variant()};
    EXPECT_TRUE(obj.invoke("Split", args).toBool());
    ASSERT_TRUE(args[1].isArray());
    EXPECT_EQ(args[1][1].toString(), "BC");
}

TEST(Automation, UnknownNamesAndMissingArgumentsRaise)
{
    Variant obj(std::make_shared<Counter>());
    EXPECT_THROW(obj.call("Nothing"), AutomationError);
    EXPECT_THROW(obj.get("Nothing"), AutomationError);
    EXPECT_THROW(obj.put("ReadOnly", 1), AutomationError);
    EXPECT_THROW(obj.call("Add"), AutomationError);
    EXPECT_THROW(obj.call("Fail"), Exception);
    EXPECT_THROW(Variant(1).call("Add"), VariantError);
}

TEST(Automation, CreateOleObjectUsesTheClassTable)
{
    EXPECT_THROW(CreateOleObject("Test.NoSuchClass"), AutomationError);
    RegisterOleClass("Test.Counter", [] { return std::make_shared<Counter>(); });
    Variant a(CreateOleObject("test.counter"));
    Variant b(CreateOleObject("TEST.COUNTER"));
    a.put("Value", 1);
    EXPECT_EQ(b.get("Value").toInt(), 0) << "every creation makes a new object";
    UnregisterOleClass("Test.Counter");
    EXPECT_THROW(CreateOleObject("Test.Counter"), AutomationError);
}
