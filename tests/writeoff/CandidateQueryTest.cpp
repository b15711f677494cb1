// The candidate query's text and the loading of its answer, without a database.

#include "writeoff/WOFB07Query.h"

#include "dataset/ClientDataSet.h"

#include <gtest/gtest.h>

namespace {

Variant filter(const Variant& currency, const Variant& five = "", const Variant& six = "")
{
    Variant v = Variant::array(1, 8);
    v[1] = Variant::list({"\x04", "20240630", "20240630"});
    v[2] = currency;
    v[3] = Variant::list({"\x04", "", "20240630"});
    v[4] = Variant::list({"\x04", "A001", "A007"});
    v[5] = five;
    v[6] = six;
    v[7] = "";
    v[8] = "";
    return v;
}

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

Variant answerRow(const char* supplier, const char* type, const char* number, const char* date,
                  const std::vector<Variant>& parts)
{
    std::vector<Variant> row = {"N",  supplier, "名称", "71", type, number, "", date, "RMB", "0", "1100", "采购部",
                                "E001", "陈明", "1", 1.1, 2.2, 3.3, 4.4, "", ""};
    for (const Variant& p : parts)
        row.push_back(p);
    return Variant::list(std::move(row));
}

} // namespace

TEST(CandidateQuery, PayablesKeepBothDocumentGroupsWithOrWithoutSelections)
{
    const std::string plain = CandidateSql({0, filter("RMB")});
    EXPECT_EQ(plain.rfind("select distinct 'N' as CheckData, TA004 as GYSID", 0), 0u);
    EXPECT_NE(plain.find(" and TA003<= '20240630' "), std::string::npos);
    EXPECT_NE(plain.find(" and TA008= 'RMB' "), std::string::npos);
    EXPECT_NE(plain.find(" and (( MQ003 in ('71', '7A')  ) or (MQ003='7F'  )) "), std::string::npos) << plain;
    EXPECT_EQ(count(plain, "TA001+TA002"), 0u);
    EXPECT_NE(plain.find("TA004"), std::string::npos);
    EXPECT_EQ(plain.substr(plain.size() - 30), " order by GYSID, DB, DH, Coin ");

    const std::string chosen = CandidateSql({0, filter("RMB", Variant::list({"\x05", Variant::list({"710120240101001"})}),
                                                       Variant::list({"\x04", "7F01", "7F01zzz"}))});
    const auto invoices = chosen.find("MQ003 in ('71', '7A')");
    const auto expenses = chosen.find("MQ003='7F'");
    const auto first = chosen.find("TA001+TA002");
    const auto second = chosen.find("TA001+TA002", first + 1);
    ASSERT_NE(second, std::string::npos) << chosen;
    EXPECT_LT(invoices, first);
    EXPECT_LT(first, expenses);
    EXPECT_LT(expenses, second);
    EXPECT_NE(chosen.find("'710120240101001'"), std::string::npos);
}

TEST(CandidateQuery, OtherTypesUseTheirTablesAndSelections)
{
    const std::string other = CandidateSql({1, filter("USD")});
    EXPECT_NE(other.find("from $$ACPTI as ACPTI  "), std::string::npos);
    EXPECT_NE(other.find(" and TI007= 'USD' "), std::string::npos);
    EXPECT_NE(other.find(" AND TI043= 'N' "), std::string::npos);
    Variant f = filter("USD");
    f[8] = Variant::list({"\x05", Variant::list({"7C0120240101001"})});
    const std::string pre = CandidateSql({2, f});
    EXPECT_NE(pre.find("from $$ACPTK as ACPTK  "), std::string::npos);
    EXPECT_NE(pre.find("MQ003='7C'"), std::string::npos);
    EXPECT_NE(pre.find("TK001+TK002"), std::string::npos);
    EXPECT_EQ(pre.find("ACPTB"), std::string::npos);
}

TEST(CandidateQuery, QuotesInTheDateAndCurrencyAreDoubled)
{
    Variant f = filter("X' OR '1'='1");
    f[1] = Variant::list({"\x04", "2024'", "2024'"});
    const std::string sql = CandidateSql({0, f});
    EXPECT_NE(sql.find(" and TA008= 'X'' OR ''1''=''1' "), std::string::npos) << sql;
    EXPECT_NE(sql.find(" and TA003<= '2024''' "), std::string::npos);
}

TEST(CandidateQuery, LoadsExactAmountsAndTheUsersDate)
{
    TClientDataSet data("cdsData");
    DefineCandidateFields(data);
    data.CreateDataSet();
    const Variant answer = Variant::list({
        // 0.1 + 0.2 original; 1 + 0.1 + 0.05 - 0.15 local; rate 0.0004 counts as none.
        answerRow("A002", "7101", "002", "20240115", {"0.1", "0.2", "1", "0.1", "0.05", "0.15", "0.0004", "7.1"}),
        answerRow("A001", "7101", "001", "2024011", {"10", Variant(), "70.5", "0", Variant(), "0", "7.2", "7.1"}),
    });
    EXPECT_EQ(LoadCandidates(data, answer, 3, "-"), 2);
    data.SetIndexFieldNames("MA002;MA005;MA006;MA008");
    data.First();
    EXPECT_EQ(data.FieldByName("MA002")->AsString(), "A001");
    EXPECT_EQ(data.FieldByName("MA008")->AsString(), "") << "not eight digits: no date";
    EXPECT_EQ(data.FieldByName("MA022")->AsDecimal(), Decimal::parse("72"));
    data.Next();
    EXPECT_EQ(data.FieldByName("MA008")->AsString(), "15-01-2024");
    EXPECT_EQ(data.FieldByName("MA016")->AsDecimal(), Decimal::parse("0.3"));
    EXPECT_EQ(data.FieldByName("MA017")->AsDecimal(), Decimal::parse("1"));
    EXPECT_EQ(data.FieldByName("MA022")->AsDecimal(), Decimal::parse("2.13"));
    EXPECT_EQ(data.FieldByName("MA400")->AsString(), "71");
    EXPECT_EQ(data.FieldByName("MA015")->AsString(), "1");
    EXPECT_TRUE(data.FieldByName("MA016")->ReadOnly());
    EXPECT_FALSE(data.FieldByName("MA001")->ReadOnly());
    EXPECT_EQ(LoadCandidates(data, Variant(), 1, "/"), 0);
    EXPECT_EQ(LoadCandidates(data, Variant("x"), 1, "/"), 0);
}

TEST(CandidateQuery, CurrencyDecimalsAreBounded)
{
    EXPECT_EQ(CurrencyDecimals(Variant::list({Variant::list({"4"})})), 4);
    EXPECT_EQ(CurrencyDecimals(Variant::list({Variant::list({Variant(0)})})), 0);
    EXPECT_EQ(CurrencyDecimals(Variant::list({Variant::list({"8"})})), 2);
    EXPECT_EQ(CurrencyDecimals(Variant::list({Variant::list({"-1"})})), 2);
    EXPECT_EQ(CurrencyDecimals(Variant::list({Variant::list({"x"})})), 2);
    EXPECT_EQ(CurrencyDecimals(Variant()), 2);
    EXPECT_EQ(CurrencyDecimals(Variant::list({Variant::list({Variant::null()})})), 2);
    EXPECT_EQ(AmountFormat(0), "#,##0");
    EXPECT_EQ(AmountFormat(7), "#,##0.0000000");
}
