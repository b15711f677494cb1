// Condition schemes as a job form keeps them on the application server: saved, listed
// through the provider, renamed and deleted by late-bound calls that answer an error text.

#include "ServerFixture.h"

using namespace servertest;

namespace {

class Schemes : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        server = Variant(DispatchPtr(std::make_shared<TdmReportCounter>(settings(), dsSession())));
    }

    Variant invoke(const char* name, std::vector<Variant> args) { return server.invoke(name, args); }
    std::string call(const char* name, std::vector<Variant> args) { return invoke(name, std::move(args)).toString(); }

    std::string save(const std::string& name, const std::string& user, const std::string& values, bool replace = false,
                     const std::string& program = "WOFB07")
    {
        return call("InsertConTable",
                    {Variant::list({name, user, "20241203", program, "ed02.Text;sp03.Style", values, replace})});
    }

    // NCONDITION and VCONDITION of each record the provider gives for the user and program.
    std::vector<std::pair<std::string, std::string>> listed(const std::string& user, const std::string& program = "WOFB07")
    {
        EXPECT_EQ(call("LoadTable", {Variant::list({user, program})}), "");
        const Variant answer = invoke("AS_GetRecords", {"pvdConSave"});
        std::vector<std::pair<std::string, std::string>> out;
        if (!answer.isArray())
            return out;
        EXPECT_EQ(answer[0][0].toString(), "NCONDITION");
        EXPECT_EQ(answer[0][5].toString(), "VCONDITION");
        const Variant rows = answer[1];
        if (rows.isArray())
            for (int i = rows.lowBound(); i <= rows.highBound(); ++i)
                out.emplace_back(rows[i][0].toString(), rows[i][5].toString());
        return out;
    }

    Variant server;
};

using Listed = std::vector<std::pair<std::string, std::string>>;

} // namespace

TEST_F(Schemes, SavedValuesComeBackExactlyAndOnlyToTheirOwner)
{
    // A quote, the code-3 separator and Chinese text are stored as given, never pasted.
    const std::string values = std::string("20240101\r\nsp_Range\x03S01'\x03S09\r\n");
    EXPECT_EQ(save("月末转销", "DS", values), "");
    EXPECT_EQ(save("月末转销", "U001", "other\r\n"), "") << "another user may use the same name";
    EXPECT_EQ(save("x' OR '1'='1", "DS", "q\r\n"), "");

    EXPECT_EQ(listed("DS"), (Listed{{"x' OR '1'='1", "q\r\n"}, {"月末转销", values}}));
    EXPECT_EQ(listed("U001"), (Listed{{"月末转销", "other\r\n"}}));
    EXPECT_TRUE(listed("DS", "WOFB08").empty()) << "schemes are per program";

    EXPECT_NE(save("月末转销", "DS", "new\r\n"), "") << "without the replace flag a name is not overwritten";
    EXPECT_EQ(listed("DS")[1].second, values);
    EXPECT_EQ(save("月末转销", "DS", "new\r\n", true), "");
    EXPECT_EQ(listed("DS")[1].second, "new\r\n");
}

TEST_F(Schemes, NamesAreBoundedInTheDatabasesBytes)
{
    EXPECT_EQ(save("一二三四五六七八九十", "DS", ""), "") << "ten Chinese characters are 20 bytes";
    const std::string refused = save("一二三四五六七八九十A", "DS", "");
    EXPECT_NE(refused.find("21 bytes"), std::string::npos) << refused;
    EXPECT_NE(save("   ", "DS", ""), "");
    EXPECT_NE(save("a", "", ""), "") << "a scheme belongs to a user";
    EXPECT_NE(call("InsertConTable", {Variant::list({"a", "DS"})}), "") << "a short record";
    EXPECT_EQ(invoke("ErrorDescript", {}).toString().empty(), false);
    EXPECT_EQ(listed("DS").size(), 1u);
}

TEST_F(Schemes, RenameAndDeleteKeepTheRestAsItWas)
{
    ASSERT_EQ(save("A", "DS", "a\r\n"), "");
    ASSERT_EQ(save("B", "DS", "b\r\n"), "");
    const auto keys = [](const char* name) { return Variant::list({name, "DS", "WOFB07"}); };

    EXPECT_NE(call("ChangeConName", {keys("A"), keys("B")}), "") << "a name that is taken";
    EXPECT_NE(call("ChangeConName", {keys("Z"), keys("Y")}), "") << "a scheme that is not there";
    EXPECT_EQ(call("ChangeConName", {keys("A"), keys("C")}), "");
    EXPECT_EQ(listed("DS"), (Listed{{"B", "b\r\n"}, {"C", "a\r\n"}}));

    EXPECT_NE(call("DeleteConTable", {keys("A")}), "");
    EXPECT_EQ(call("DeleteConTable", {keys("B")}), "");
    EXPECT_EQ(listed("DS"), (Listed{{"C", "a\r\n"}}));
}

TEST_F(Schemes, TheProviderNeedsItsNameAndAChoice)
{
    EXPECT_TRUE(invoke("AS_GetRecords", {"pvdConSave"}).isEmpty()) << "no LoadTable yet";
    EXPECT_NE(invoke("ErrorDescript", {}).toString().find("LoadTable"), std::string::npos);
    EXPECT_NE(call("LoadTable", {Variant::list({"", "WOFB07"})}), "");
    ASSERT_EQ(call("LoadTable", {Variant::list({"DS", "WOFB07"})}), "");
    EXPECT_TRUE(invoke("AS_GetRecords", {"pvdOther"}).isEmpty());
    const Variant none = invoke("AS_GetRecords", {"PVDCONSAVE"});
    ASSERT_TRUE(none.isArray());
    EXPECT_TRUE(none[1].isEmpty()) << "no schemes: the rows are Empty";
}
