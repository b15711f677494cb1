#pragma once
// The installation the write-off benchmarks run on: a system database with company 01
// and a company database DEMO of open RMB payables 7101-<BenchDocumentNumber(i)>, which
// a packet writes off to supplier S09 under one batch.

#include "db/Db.h"
#include "platform/Variant.h"
#include "serverdb/Schema.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

struct WriteOffSite {
    std::string iniHead;    // BriskoS.ini's lines before [DBE Setting]
    std::string systemRows; // the company (ADMMC, ADMMS) and its users
    std::string suppliers;  // PURMA rows, S09 among them
    int documents = 0;
    std::function<std::string(int)> supplierOf; // of document i
};

inline void WriteBenchFile(const std::filesystem::path& file, const std::string& text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

inline std::string BenchDocumentNumber(int i)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "2024%02d%02d%03d", 1 + i / 2800, 1 + (i / 100) % 28, i % 100);
    return buf;
}

inline void MakeWriteOffSite(const std::filesystem::path& dir, const WriteOffSite& site)
{
    WriteBenchFile(dir / "registry.ini", "[Software\\QVR\\Brisko]\nServerPath=" + (dir / "server/").string() + "\n");
    WriteBenchFile(dir / "server/BriskoS.ini", site.iniHead +
                                                   "[DBE Setting]\nMainDBType=SQLITE\nMainServerName=data\n"
                                                   "MainDBName=QVSYS\n[WorkDLLPath]\n1=" QV_BENCH_BIN_DIR "/\n");
    std::filesystem::create_directories(dir / "server/data");
    {
        DbConnection sys;
        sys.openSqlite((dir / "server/data/QVSYS.db").string(), true);
        CreateSchema(sys, "system");
        sys.executeScript(site.systemRows);
    }
    DbConnection co;
    co.openSqlite((dir / "server/data/DEMO.db").string(), true);
    CreateSchema(co, "company");
    DbTransaction tx(co);
    co.executeScript(site.suppliers + "INSERT INTO CMSMF (MF001, MF004) VALUES ('RMB', 2);"
                                      "INSERT INTO CMSMQ (MQ001, MQ003) VALUES ('7101', '71');"
                                      "INSERT INTO CMSMQ (MQ001, MQ003) VALUES ('7B01', '7B');");
    for (int i = 0; i < site.documents; ++i) {
        const std::string no = BenchDocumentNumber(i);
        const std::string cents = std::to_string(100 + i % 9000) + "." + std::to_string(10 + i % 90);
        co.execute("INSERT INTO ACPTA (TA001, TA002, TA003, TA004, TA008, TA024, TA028, TA029, TA030, TA034, TA037, "
                   "TA038, TA085) VALUES ('7101', :N, '20240101', :S, 'RMB', 'Y', :A, '0.13', '0', '20240101', "
                   ":A, '0.13', '0')",
                   {{"N", no}, {"S", site.supplierOf(i)}, {"A", cents}});
        co.execute("INSERT INTO ACPTB (TB001, TB002, TB003) VALUES ('7101', :N, '0001')", {{"N", no}});
    }
    tx.commit();
}

// A direct write-off of the first `documents` payables of suppliers S01 to lastSupplier,
// dated 2024-06-30, under batch, to S09.
inline Variant WriteOffPacket(const std::string& batch, const std::string& lastSupplier, int documents)
{
    Variant v = Variant::array(1, 17);
    v[1] = 1;
    v[2] = Variant::list({"\x04", "20240630", "20240630"});
    v[3] = "";
    v[4] = "RMB";
    v[5] = Variant::list({"\x04", "S01", lastSupplier});
    for (int i = 6; i <= 9; ++i)
        v[i] = "";
    v[10] = batch;
    v[11] = "S09";
    v[12] = "";
    Variant docs = Variant::array(0, documents - 1);
    for (int i = 0; i < documents; ++i)
        docs[i] = "7101" + BenchDocumentNumber(i);
    v[13] = docs;
    v[14] = "";
    v[15] = "T";
    v[16] = "N";
    v[17] = "20240630";
    return Variant::list({"20240630000001", "01", "DS", v, "DEMO", "", 3});
}
