// qvsetup: creates the system database and a company database with demo data.
//
//   qvsetup --folder DIR [--documents N] [--seed S] [--last-date yyyymmdd]
//           [--company CODE] [--company-db NAME] [--system-db NAME] [--replace]
//
// Existing databases are kept unless --replace is given. Exit code 0 on success, 1 when
// the databases could not be made, 2 for a wrong command line.

#include "server/DemoData.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void usage()
{
    std::fprintf(stderr,
                 "Usage: qvsetup --folder DIR [--documents N] [--seed S] [--last-date yyyymmdd]\n"
                 "               [--company CODE] [--company-db NAME] [--system-db NAME] [--replace]\n"
                 "Creates DIR/<system-db>.db (default QVSYS) and DIR/<company-db>.db (default DEMO)\n"
                 "with demo data: N documents (default 300) dated up to the last date (default 20240630).\n");
}

bool readNumber(const char* text, long long& out)
{
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end && *end == 0 && end != text;
}

} // namespace

int main(int argc, char** argv)
{
    DemoOptions options;
    std::string folder;
    bool replace = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qvsetup: %s needs a value\n", a.c_str());
                return nullptr;
            }
            return argv[++i];
        };
        const char* v = nullptr;
        long long n = 0;
        if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else if (a == "--replace") {
            replace = true;
        } else if (a == "--folder") {
            if (!(v = value()))
                return 2;
            folder = v;
        } else if (a == "--documents") {
            if (!(v = value()))
                return 2;
            if (!readNumber(v, n) || n < 0 || n > 10000000) {
                std::fprintf(stderr, "qvsetup: --documents takes a number from 0 to 10000000\n");
                return 2;
            }
            options.documents = int(n);
        } else if (a == "--seed") {
            if (!(v = value()))
                return 2;
            if (!readNumber(v, n) || n < 0) {
                std::fprintf(stderr, "qvsetup: --seed takes a whole number\n");
                return 2;
            }
            options.seed = std::uint64_t(n);
        } else if (a == "--last-date") {
            if (!(v = value()))
                return 2;
            options.lastDate = v;
        } else if (a == "--company") {
            if (!(v = value()))
                return 2;
            options.companyCode = v;
        } else if (a == "--company-db") {
            if (!(v = value()))
                return 2;
            options.companyDatabase = v;
        } else if (a == "--system-db") {
            if (!(v = value()))
                return 2;
            options.systemDatabase = v;
        } else {
            std::fprintf(stderr, "qvsetup: unknown option %s\n", a.c_str());
            usage();
            return 2;
        }
    }
    if (folder.empty()) {
        usage();
        return 2;
    }
    try {
        const DemoFiles files = CreateDemoDatabases(folder, options, replace);
        std::printf("System database:  %s\nCompany database: %s (company %s, %d documents)\n", files.systemFile.c_str(),
                    files.companyFile.c_str(), options.companyCode.c_str(), options.documents);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvsetup: %s\n", e.what());
        return 1;
    }
}
