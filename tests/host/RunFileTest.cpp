// The parameter file of jobhost --run becomes the packet ApplyParams takes, or a clear
// reason naming the file and the member.

#include "host/RunFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

RunFile parse(const char* json)
{
    return ParseRunFile(QByteArray(json), QStringLiteral("run.json"));
}

// The entries of the by-name packet: names and values, in file order.
struct Entries {
    std::vector<std::string> names;
    std::vector<Variant> values;
};

Entries entries(const RunFile& file)
{
    Entries e;
    const Variant& byName = file.packet[1];
    EXPECT_TRUE(byName[0].toBool());
    const Variant& texts = byName[1][0];
    const Variant& values = byName[1][1];
    EXPECT_EQ(texts.count(), values.count());
    for (int i = texts.lowBound(); i <= texts.highBound(); ++i) {
        EXPECT_EQ(VarToStr(texts[i][0]), VarToStr(texts[i][1]));
        e.names.push_back(VarToStr(texts[i][1]));
        e.values.push_back(values[i]);
    }
    return e;
}

} // namespace

TEST(RunFile, MembersBecomeNamedValuesOfEveryShape)
{
    const RunFile file = parse(R"({"command": 5, "ed02": "20240331", "cbo01": 2, "chkLog": true, "ed12": null,
                                  "sp03": {"from": "20240101", "to": "20240331"}, "sp05": ["A001", "A007"],
                                  "sp06": {"list": ["1101-001", "1101-002"]}, "sp07": {"to": "X"},
                                  "btnFilter": "*"})");
    ASSERT_TRUE(file.ok()) << file.problem.toStdString();
    EXPECT_EQ(file.packet[0].toInt(), 5);
    const Entries e = entries(file);
    ASSERT_EQ(e.names.size(), 9u) << "command is not a control";
    auto value = [&](const std::string& name) {
        for (std::size_t i = 0; i < e.names.size(); ++i)
            if (e.names[i] == name)
                return e.values[i];
        ADD_FAILURE() << name;
        return Variant();
    };
    EXPECT_EQ(VarToStr(value("ed02")), "20240331");
    EXPECT_EQ(value("cbo01"), Variant(2));
    EXPECT_EQ(value("chkLog"), Variant(true));
    EXPECT_TRUE(value("ed12").isNull());
    EXPECT_EQ(value("sp03"), Variant::list({"\x04", "20240101", "20240331"}));
    EXPECT_EQ(value("sp05"), Variant::list({"A001", "A007"})) << "a plain pair stays a pair";
    EXPECT_EQ(value("sp06"), Variant::list({"\x05", "1101-001", "1101-002"}));
    EXPECT_EQ(value("sp07"), Variant::list({"\x04", "", "X"})) << "a missing bound is empty";
    EXPECT_EQ(VarToStr(value("btnFilter")), "*");
}

TEST(RunFile, BadFilesAreRefusedWithTheirReason)
{
    const std::pair<const char*, const char*> cases[] = {
        {"{\"command\": 5,", "not JSON at byte"},
        {"[5]", "not a JSON object"},
        {"{\"ed02\": \"20240331\"}", "\"command\" is missing"},
        {"{\"command\": \"5\"}", "\"command\" is missing or not one of 0"},
        {"{\"command\": 1.5}", "not one of 0"},
        {"{\"command\": 2}", "not one of 0"},
        {"{\"command\": 7}", "not one of 0"},
        // JSON keeps the last of a name given twice; the run would do what the file's
        // reader did not see.
        {"{\"command\": 0, \"ed10\": \"A1\", \"sp05\": {\"from\": \"x\"}, \"e\\u0064\\u0031\\u0030\": \"A2\"}", "\"ed10\" is given more than once"},
        {"{\"command\": 0, \"command\": 5}", "\"command\" is given more than once"},
        // An amount as a JSON number would be a binary fraction.
        {"{\"command\": 0, \"ed09\": 12.3}", "\"ed09\": 12.3 is not a whole number"},
        {"{\"command\": 0, \"sp05\": {\"from\": \"A\", \"till\": \"B\"}}", "\"sp05\": an object value takes"},
        {"{\"command\": 0, \"sp05\": {\"list\": \"A\"}}", "\"list\" takes an array"},
        {"{\"command\": 0, \"sp05\": [[\"A\", {\"x\": 1}]]}", "an object value takes"},
    };
    for (const auto& [json, reason] : cases) {
        const RunFile file = parse(json);
        EXPECT_FALSE(file.ok()) << json;
        EXPECT_TRUE(file.packet.isEmpty()) << json;
        EXPECT_NE(file.problem.toStdString().find(reason), std::string::npos) << json << " -> " << file.problem.toStdString();
        EXPECT_TRUE(file.problem.startsWith(QStringLiteral("run.json"))) << file.problem.toStdString();
    }
}

TEST(RunFile, AFileThatIsNotThereOrNotAFileIsNamed)
{
    QTemporaryDir dir;
    const RunFile missing = ReadRunFile(dir.filePath(QStringLiteral("none.json")));
    EXPECT_NE(missing.problem.toStdString().find("none.json does not exist"), std::string::npos) << missing.problem.toStdString();
    const RunFile folder = ReadRunFile(dir.path());
    EXPECT_NE(folder.problem.toStdString().find("folder"), std::string::npos) << folder.problem.toStdString();
}
