#pragma once
// Scripts and data that the write-off form's tests share.

#include "db/Db.h"
#include "platform/Variant.h"

#include <QString>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>
inline bool has(const QString& codes, const char* code)
{
    return codes.contains(QString::fromUtf8(code));
}

// A by-name ApplyParams packet, as jobhost --run makes it.
inline Variant byName(int command, std::initializer_list<std::pair<const char*, Variant>> entries)
{
    std::vector<Variant> texts, values;
    for (const auto& [name, value] : entries) {
        texts.push_back(Variant::list({name, name}));
        values.push_back(value);
    }
    return Variant::list({command, Variant::list({true, Variant::list({Variant::list(texts), Variant::list(values)})})});
}

// The filter of the first two pages as a script gives it: RMB payables of A001..A007.
inline Variant scripted(int command, const Variant& documents, const char* batch = "S1")
{
    return byName(command, {{"cbo01", 0},
                            {"ed04", "RMB"},
                            {"sp05", Variant::list({"\x04", "A001", "A007"})},
                            {"ed10", batch},
                            {"ed11", "B006"},
                            {"btnFilter", documents}});
}

// Copies of one open payable of the demo for supplier Z900, numbered apart.
// Made once for the suite's installation: the tests that use them ask for as many.
inline void addCopiesForZ900(DbConnection& db, int count)
{
    if (db.scalar("SELECT COUNT(*) FROM ACPTA WHERE TA004='Z900'").toInt() > 0)
        return;
    db.executeScript(
        "CREATE TEMP TABLE tpl AS SELECT * FROM ACPTA WHERE TA024='Y' AND TA087='1' AND TA079='1' AND TA080='N' "
        "AND TA033='N' AND TA008='RMB' AND ROUND(TA030,3)=0 AND TA001 IN (SELECT MQ001 FROM CMSMQ WHERE MQ003='71') "
        "AND EXISTS (SELECT 1 FROM ACPTB WHERE TB001=TA001 AND TB002=TA002) LIMIT 1;"
        "CREATE TEMP TABLE n AS WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM k WHERE i<" +
        std::to_string(count) +
        ") SELECT i FROM k;"
        "CREATE TEMP TABLE b AS SELECT ACPTB.* FROM ACPTB, tpl WHERE TB001=tpl.TA001 AND TB002=tpl.TA002;"
        "CREATE TEMP TABLE a AS SELECT tpl.*, n.i AS seq FROM tpl, n;"
        "UPDATE a SET TA002=printf('P%07d', (seq * 7919) % 10000000), TA004='Z900', TA028=printf('%d.%02d', seq, seq % 100);"
        "CREATE TEMP TABLE bl AS SELECT b.*, a.TA002 AS no FROM b, a;"
        "UPDATE bl SET TB002=no;"
        "ALTER TABLE a DROP COLUMN seq;"
        "ALTER TABLE bl DROP COLUMN no;"
        "INSERT INTO ACPTA SELECT * FROM a;"
        "INSERT INTO ACPTB SELECT * FROM bl;");
}
