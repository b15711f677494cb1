// The SQL texts the write-off job and its framework send, run as they stand against the
// server's databases: through SimpleSQL for the job's queries, through a connection of
// the library's own for the notification queue.

#include "ServerFixture.h"

#include "platform/OleDate.h"

#include <cmath>

using namespace servertest;

namespace {

const char* const kFields = "CheckData,GYSID,PURMA002,DJLX,DB,DH,FPID,DJRQ,Coin,HL,BMID,CMSME002,RYID,CMSMV002,ZT,"
                            "YBYF,BBYF,YBBCZX,BBBCZX,BZ,XMBH";

// A value pasted into the text the way the job must paste it: quoted, inner quotes doubled.
std::string paste(const std::string& v)
{
    std::string r;
    for (char c : v) {
        r += c;
        if (c == '\'')
            r += '\'';
    }
    return r;
}

// The condition texts that the support unit appends (" and " + condition).
std::string between(const std::string& col, const std::string& lo, const std::string& hi)
{
    if (lo == hi)
        return " and  (" + col + "='" + paste(lo) + "') ";
    return " and  (" + col + " Between '" + paste(lo) + "' and '" + paste(hi) + "') ";
}

std::string in(const std::string& col, std::initializer_list<std::string> values)
{
    std::string list;
    for (const std::string& v : values)
        list += (list.empty() ? "'" : ", '") + paste(v) + "'";
    return " and (" + col + " IN (" + list + "))";
}

struct Filter {
    std::string date = "20240630";
    std::string currency = "RMB";
    std::string dates;     // condition on the document date
    std::string suppliers; // condition on the supplier
    std::string docs;      // condition on the documents (purchase invoices for payables)
    std::string docs2;     // expense invoices (payables only)
};

std::string payablesSql(const Filter& f)
{
    return std::string(
               "select distinct 'N' as CheckData, TA004 as GYSID, PURMA.MA002 as PURMA002, MQ003 as DJLX, TA001 as DB,   "
               "TA002 as DH, TA014 as FPID, TA003 as DJRQ, TA008 as Coin, TA050 as HL, TA070 as BMID,   CMSME.ME002 as "
               "CMSME002, TA089 as RYID, CMSMV.MV002 as CMSMV002,    TA087 as ZT, isnull(TA028,0.0)+isnull(TA029,0.0) as "
               "YBYF,   isnull(TA028,0.0)+isnull(TA029,0.0) as YBBCZX,  "
               "(isnull(TA028,0.0)+isnull(TA029,0.0))*(case when Round(TA050,3)=0.0 then TA009 else TA050 end) as "
               "BBBCZX,   (isnull(TA037,0.0)+isnull(TA038,0.0)+isnull(TA051,0.0)-isnull(TA085,0.0)) as BBYF, TA021 as "
               "BZ,TA090 AS XMBH ")
           + "from $$ACPTA as ACPTA  "
           + "  inner join $$ACPTB as ACPTB on TB001=TA001 and TB002=TA002   left join $$PURMA as PURMA on MA001=TA004   "
             "left join $$CMSMQ as CMSMQ on MQ001=TA001   left join $$CMSME as CMSME on ME001=TA070   left join $$CMSMV "
             "as CMSMV on MV001=TA089 "
           + "where 1=1 and TA024='Y' and Round(TA030,3)=0.0 and TA079='1' and TA087='1' " + " and TA003<= '"
           + paste(f.date) + "' " + " and TA008= '" + paste(f.currency) + "' " + f.dates + f.suppliers
           + " and (( MQ003 in ('71', '7A') " + f.docs + " ) or (MQ003='7F' " + f.docs2 + " )) " + "  and TA080='N' "
           + " AND TA033='N' " + " order by GYSID, DB, DH, Coin ";
}

std::string otherPayablesSql(const Filter& f)
{
    return std::string(
               "select distinct 'N' as CheckData, TI004 as GYSID, PURMA.MA002 as PURMA002, CMSMQ.MQ003 as DJLX, TI001 as "
               "DB,   TI002 as DH, Null as FPID, TI003 as DJRQ, TI007 as Coin, TI026 as HL, TI006 as BMID,   CMSME.ME002 "
               "as CMSME002, TI005 as RYID, CMSMV.MV002 as CMSMV002,    TI029 as ZT, TI015 as YBYF,   "
               "isnull(TI016,0.0)+isnull(TI032,0.0)-isnull(TI018,0.0) as BBYF,    TI015 as YBBCZX, TI015*(case when "
               "Round(TI026,3)=0.0 then TI008 else TI026 end) AS BBBCZX,  TI012 as BZ,TI044 AS XMBH ")
           + "from $$ACPTI as ACPTI  "
           + "  inner join $$ACPTJ as ACPTJ on TJ001=TI001 and TJ002=TI002   left join $$PURMA as PURMA on MA001=TI004   "
             "left join $$CMSMQ as CMSMQ on MQ001=TI001   left join $$CMSME as CMSME on ME001=TI006   left join $$CMSMV "
             "as CMSMV on MV001=TI005 "
           + "where 1=1 and TI031='1' and Round(TI017,3)=0.0 and TI013='Y' and TI035='1' and TI029='1' "
           + " and TI003<= '" + paste(f.date) + "' " + " and TI007= '" + paste(f.currency) + "' " + " AND TI043= 'N' "
           + f.dates + f.suppliers + f.docs + " order by GYSID, DB, DH, Coin ";
}

std::string prepaymentsSql(const Filter& f)
{
    return std::string(
               "select distinct 'N' as CheckData, TK004 as GYSID, PURMA.MA002 as PURMA002, CMSMQ.MQ003 as DJLX, TK001 as "
               "DB,   TK002 as DH, TK014 as FPID, TK003 as DJRQ, TK007 as Coin, TK037 as HL, TK006 as BMID,   CMSME.ME002 "
               "as CMSME002, TK005 as RYID, CMSMV.MV002 as CMSMV002,    TK028 as ZT, TK030 as YBYF,   "
               "isnull(TK031,0.0)+isnull(TK039,0.0)-isnull(TK036,0.0) as BBYF,   TK030 as YBBCZX, TK030*(case when "
               "Round(TK037,3)=0.0 then TK008 else TK037 end) as BBBCZX,  TK009 as BZ,TK027 AS XMBH ")
           + "from $$ACPTK as ACPTK  "
           + "  left join $$PURMA as PURMA on MA001=TK004   left join $$CMSMQ as CMSMQ on MQ001=TK001   left join "
             "$$CMSME as CMSME on ME001=TK006   left join $$CMSMV as CMSMV on MV001=TK005 "
           + "where 1=1 and MQ003='7C' and Round(TK035,3)=0.0 and TK020='Y' and TK043='1' AND TK028='1' "
           + " and TK003<= '" + paste(f.date) + "' " + " and TK007= '" + paste(f.currency) + "' " + f.dates
           + f.suppliers + f.docs + " order by GYSID, DB, DH, Coin ";
}

class ServerQueries : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        server = std::make_unique<TdmReportCounter>(settings());
    }

    Variant simple(const std::string& sql, const std::string& fields)
    {
        Variant args[] = {sql, fields, "01", "DEMO"};
        return Variant(std::shared_ptr<Dispatch>(server.get(), [](Dispatch*) {})).invoke("SimpleSQL", args);
    }

    // "type+number" of each row of a candidate answer, in order.
    std::vector<std::string> keys(const Variant& rows)
    {
        std::vector<std::string> k;
        if (!rows.isArray())
            return k;
        for (int i = rows.lowBound(); i <= rows.highBound(); ++i)
            k.push_back(rows[i][4].toString() + rows[i][5].toString());
        return k;
    }

    // The library's own connection, made from the connection string the server gives.
    void openOwn() { own.open(server->ResultConnectString("01", "DEMO")); }

    std::string nextQueueNumber(const std::string& day)
    {
        const std::string sql = std::string(" SELECT (SELECT CASE WHEN MAX(TC001) IS NULL THEN '") + day + "000001" + "' "
                                + " ELSE CONVERT(CHAR(14), CAST(MAX(TC001) AS BIGINT) + 1) END " + " FROM "
                                + " (SELECT MAX(TC001) TC001 FROM ADMTC WHERE TC004 LIKE '" + day + "%' " + " UNION "
                                + " SELECT MAX(TD001) TD001 FROM ADMTD WHERE TD004 LIKE '" + day + "%') B) SEQX ";
        const DbRowSet r = own.query(sql);
        EXPECT_EQ(r.columns, std::vector<std::string>{"SEQX"});
        return r.rows.at(0).at(0).toString();
    }

    void queue(const std::string& number, const std::string& stamp)
    {
        own.execute(" INSERT INTO ADMTC (TC001, TC002, TC003, TC004, TC005, TC006, TC007, TC008, TC009,  COMPANY, "
                    "CREATOR, CREATE_DATE, FLAG)  VALUES (:TC001, :TC002, :TC003, :TC004, :TC005, :TC006, :TC007, :TC008, "
                    ":TC009,:COMPANY, :CREATOR, :CREATE_DATE, :FLAG) ",
                    {{"TC001", number}, {"TC002", "DS"}, {"TC003", "<?xml version=\"1.0\" encoding=\"GB2312\"?><Root/>"},
                     {"TC004", stamp}, {"TC005", "N"}, {"TC006", "转销完成"}, {"TC007", ""}, {"TC008", "已完成"},
                     {"TC009", "4"}, {"COMPANY", "01"}, {"CREATOR", "DS"}, {"CREATE_DATE", stamp}, {"FLAG", 1}});
    }

    std::unique_ptr<TdmReportCounter> server;
    DbConnection own;
};

} // namespace

TEST_F(ServerQueries, PayablesCandidatesWithTypicalConditions)
{
    const Variant rows = simple(payablesSql({}), kFields);
    ASSERT_TRUE(rows.isArray());
    EXPECT_EQ(keys(rows), (std::vector<std::string>{"710120240110001", "7F0120240201001", "7A0112"}))
        << "open documents only, by supplier, type and number; two lines give one row";

    // Every value of a row, in the order of the field list (not of the select list).
    const Variant& r = rows[0];
    ASSERT_EQ(r.lowBound(), 0);
    ASSERT_EQ(r.highBound(), 20);
    const std::vector<std::string> texts = {"N", "S01", "甲电子", "71", "7101", "20240110001", "INV001", "20240110", "RMB"};
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(r[int(i)].toString(), texts[i]) << "field " << i;
    EXPECT_DOUBLE_EQ(r[9].toDouble(), 0.0);
    EXPECT_EQ(r[10].toString(), "1100");
    EXPECT_EQ(r[11].toString(), "采购部");
    EXPECT_EQ(r[12].toString(), "E001");
    EXPECT_EQ(r[13].toString(), "陈明");
    EXPECT_EQ(r[14].toString(), "1");
    EXPECT_DOUBLE_EQ(r[15].toDouble(), 113.0);
    EXPECT_DOUBLE_EQ(r[16].toDouble(), 113.0);
    EXPECT_DOUBLE_EQ(r[17].toDouble(), 113.0);
    EXPECT_DOUBLE_EQ(r[18].toDouble(), 113.0);
    EXPECT_EQ(r[19].toString(), "一月货款");
    EXPECT_EQ(r[20].toString(), "P01");
    EXPECT_DOUBLE_EQ(rows[2][16].toDouble(), 231.0) << "local payable adds the revaluation difference";

    Filter usd;
    usd.currency = "USD";
    const Variant foreign = simple(payablesSql(usd), kFields);
    ASSERT_EQ(keys(foreign), std::vector<std::string>{"710120240122001"});
    EXPECT_DOUBLE_EQ(foreign[0][9].toDouble(), 7.2);
    EXPECT_DOUBLE_EQ(foreign[0][18].toDouble(), 720.0) << "the revalued rate replaces the document's";
    EXPECT_DOUBLE_EQ(foreign[0][16].toDouble(), 720.0);
}

TEST_F(ServerQueries, PayablesCandidatesWithRangesListsAndDocumentNumbers)
{
    Filter f;
    f.dates = between("TA034", "20240101", "20240131");
    EXPECT_EQ(keys(simple(payablesSql(f), kFields)), (std::vector<std::string>{"710120240110001", "7A0112"}));

    f = {};
    f.suppliers = in("TA004", {"S02"});
    EXPECT_EQ(keys(simple(payablesSql(f), kFields)), std::vector<std::string>{"7A0112"});
    f.suppliers = between("TA004", "S01", "S01");
    EXPECT_EQ(keys(simple(payablesSql(f), kFields)), (std::vector<std::string>{"710120240110001", "7F0120240201001"}));

    // TA001+TA002: a chosen purchase invoice leaves the expense invoices unfiltered.
    f = {};
    f.docs = in("TA001+TA002", {"7A0112"});
    EXPECT_EQ(keys(simple(payablesSql(f), kFields)), (std::vector<std::string>{"7F0120240201001", "7A0112"}));
    f.docs = between("TA001+TA002", "7101", "7101z");
    f.docs2 = in("TA001+TA002", {"7F0120240201001"});
    EXPECT_EQ(keys(simple(payablesSql(f), kFields)), (std::vector<std::string>{"710120240110001", "7F0120240201001"}));
    f.docs = "";
    f.docs2 = in("TA001+TA002", {"nothing"});
    EXPECT_EQ(keys(simple(payablesSql(f), kFields)), (std::vector<std::string>{"710120240110001", "7A0112"}));
}

TEST_F(ServerQueries, EmptyConditionsAndAnswersThatFindNothing)
{
    Filter f;
    f.currency = "KWD";
    EXPECT_TRUE(simple(payablesSql(f), kFields).isEmpty()) << "no row is Empty, not an empty array";
    EXPECT_TRUE(simple(otherPayablesSql(f), kFields).isEmpty());
    EXPECT_TRUE(simple(prepaymentsSql(f), kFields).isEmpty());
    f = {};
    f.date = "20231231";
    EXPECT_TRUE(simple(payablesSql(f), kFields).isEmpty()) << "nothing dated before the write-off date";
    f = {};
    f.suppliers = in("TA004", {"S99"});
    EXPECT_TRUE(simple(payablesSql(f), kFields).isEmpty());
}

TEST_F(ServerQueries, OtherPayablesAndPrepaymentCandidates)
{
    Filter f;
    EXPECT_EQ(keys(simple(otherPayablesSql(f), kFields)), (std::vector<std::string>{"7B0120240105001", "7B0120240106001"}));
    const Variant o = simple(otherPayablesSql(f), kFields);
    EXPECT_TRUE(o[0][6].isNull()) << "other payables have no invoice number";
    EXPECT_DOUBLE_EQ(o[1][16].toDouble(), 82.0);
    f.dates = between("TI019", "20240201", "20240229");
    EXPECT_EQ(keys(simple(otherPayablesSql(f), kFields)), std::vector<std::string>{"7B0120240106001"});
    f = {};
    f.docs = in("TI001+TI002", {"7B0120240105001"});
    EXPECT_EQ(keys(simple(otherPayablesSql(f), kFields)), std::vector<std::string>{"7B0120240105001"});

    f = {};
    EXPECT_EQ(keys(simple(prepaymentsSql(f), kFields)), (std::vector<std::string>{"7C0120240107001", "7C0120240108001"}))
        << "a refund document in the prepayment table is no candidate";
    f.suppliers = in("TK004", {"S02", "S03"});
    const Variant k = simple(prepaymentsSql(f), kFields);
    ASSERT_EQ(keys(k), std::vector<std::string>{"7C0120240108001"});
    EXPECT_DOUBLE_EQ(k[0][15].toDouble(), 60.0);
    EXPECT_EQ(k[0][3].toString(), "7C");
    f = {};
    f.docs = in("TK001+TK002", {"7C0120240107001"});
    EXPECT_EQ(keys(simple(prepaymentsSql(f), kFields)), std::vector<std::string>{"7C0120240107001"});
}

TEST_F(ServerQueries, CurrencyDecimalsAndPortalSettings)
{
    auto decimals = [&](const std::string& cur) {
        return simple("Select MF004 from $$CMSMF as CMSMF where MF001='" + paste(cur) + "'", "MF004");
    };
    ASSERT_TRUE(decimals("JPY").isArray());
    EXPECT_EQ(decimals("JPY")[0][0].toInt(), 0);
    EXPECT_EQ(decimals("KWD")[0][0].toInt(), 3);
    EXPECT_TRUE(decimals("XXX").isEmpty());

    const Variant on = simple("SELECT MA003 FROM QVRINTMA WHERE MA001='StartupPortal' ", "MA003");
    ASSERT_TRUE(on.isArray());
    EXPECT_EQ(on[0][0].toString(), "Y");
    const Variant ws = simple("SELECT MA003 FROM QVRINTMA WHERE MA001='Portal WS' ", "MA003");
    EXPECT_EQ(ws[0][0].toString(), "http://portal.example.com/ws");
}

TEST_F(ServerQueries, InjectionFindsNothingAndChangesNothing)
{
    const std::string attack = "X' OR '1'='1";
    Filter f;
    f.currency = attack;
    EXPECT_TRUE(simple(payablesSql(f), kFields).isEmpty());
    f = {};
    f.suppliers = in("TA004", {attack});
    EXPECT_TRUE(simple(payablesSql(f), kFields).isEmpty());
    EXPECT_TRUE(simple("Select MF004 from $$CMSMF as CMSMF where MF001='" + paste(attack) + "'", "MF004").isEmpty());

    // Pasted without quoting, the text cannot reach past the one read-only statement.
    const int currencies = count("CMSMF");
    EXPECT_TRUE(simple("Select MF004 from $$CMSMF as CMSMF where MF001='X'; DELETE FROM $$CMSMF --'", "MF004").isEmpty());
    EXPECT_TRUE(simple("DELETE FROM $$CMSMF", "").isEmpty());
    EXPECT_TRUE(simple("UPDATE $$ACPTA SET TA087 = '3'", "").isEmpty());
    EXPECT_EQ(count("CMSMF"), currencies);
    EXPECT_EQ(count("ACPTA WHERE TA087 = '3'"), 1);
}

TEST_F(ServerQueries, NotificationDefinitionsWithTheirParameters)
{
    openOwn();
    std::string sql = " SELECT MD001, MD002, MD003, MD006, ISNULL(MD007, '') MD007  FROM $$TMCMD  LEFT JOIN $$TMCMC "
                      "ON MC001 = MD001 AND MC002 = MD002  WHERE UPPER(MC005) = :MC005  AND MD004 = :MD004 ";
    // The library replaces every "$$" itself before it runs a text on its own connection.
    for (std::size_t p; (p = sql.find("$$")) != std::string::npos;)
        sql.replace(p, 2, "DEMO..");
    const DbRowSet r = own.query(sql, {{"MC005", "WOFB07"}, {"MD004", "6"}});
    ASSERT_EQ(r.rows.size(), 3u) << "occasion 6 of WOFB07, also where the program code is in lower case";
    std::vector<std::string> got;
    for (const auto& row : r.rows)
        got.push_back(row[1].toString() + "/" + row[2].toString() + "=" + row[4].toString());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"WOFB07/0001=<MD007/>||a||b", "WOFB07/0002=", "WOFB07M/0001=boss"}));
    EXPECT_EQ(r.columns.back(), "MD007");
    EXPECT_TRUE(own.query(sql, {{"MC005", "WOFB09"}, {"MD004", "6"}}).empty());
}

TEST_F(ServerQueries, ServerClockAndNextQueueNumber)
{
    openOwn();
    const Variant now = own.scalar(" SELECT GETDATE() DATEX ");
    ASSERT_EQ(now.type(), VarType::Date);
    EXPECT_LT(std::fabs(now.toDate() - Now()), 5.0 / 86400);
    const Variant viaServer = simple(" SELECT GETDATE() DATEX ", "DATEX");
    ASSERT_TRUE(viaServer.isArray());
    EXPECT_EQ(viaServer[0][0].type(), VarType::Date);

    EXPECT_EQ(nextQueueNumber("20240315"), "20240315000001") << "first of the day";
    queue("20240315000001", "20240315101010123");
    queue("20240314000007", "20240314235959999");
    EXPECT_EQ(nextQueueNumber("20240315"), "20240315000002") << "next after one in the queue";
    EXPECT_EQ(nextQueueNumber("20240314"), "20240314000008");

    // The queue row moves to the history; numbering goes on from there.
    own.execute("INSERT INTO ADMTD (TD001, TD004) SELECT TC001, TC004 FROM ADMTC WHERE TC001 = '20240315000001'");
    own.execute("DELETE FROM ADMTC WHERE TC001 = '20240315000001'");
    EXPECT_EQ(nextQueueNumber("20240315"), "20240315000002") << "next after one moved to the history";
    queue("20240315000002", "20240315111111000");
    own.execute("INSERT INTO ADMTD (TD001, TD004) VALUES ('20240315000005', '20240315120000000')");
    EXPECT_EQ(nextQueueNumber("20240315"), "20240315000006") << "the highest of queue and history counts";
    EXPECT_EQ(nextQueueNumber("20240316"), "20240316000001");
    EXPECT_THROW(queue("20240315000002", "20240315111111000"), DbError) << "a number is used once";
}
