#pragma once
// Where the build put the programs and libraries the tests run (jobhost, qvsetup, the
// plug-ins and class libraries).

#include <string>

inline std::string TestBinDir()
{
    return QV_TEST_BIN_DIR;
}
