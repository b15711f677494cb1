#pragma once
// An application server that answers SimpleSQL from canned rows and records every call,
// so that service tests see exactly what text and parameters went out.

#include "platform/Automation.h"

#include <string>
#include <vector>

class FakeServer : public DispatchObject {
public:
    struct Call {
        std::string sql;
        std::string columns;
        std::string company;
        std::string database;
        Variant params;
    };
    struct Answer {
        std::string sqlContains;
        std::vector<std::vector<Variant>> rows;
    };

    FakeServer()
    {
        defineMethod("SimpleSQL", [this](std::span<Variant> args) {
            calls.push_back({VarToStr(arg(args, 0)), VarToStr(arg(args, 1)), VarToStr(arg(args, 2)),
                             VarToStr(arg(args, 3)), optArg(args, 4)});
            for (const Answer& a : answers) {
                if (calls.back().sql.find(a.sqlContains) == std::string::npos)
                    continue;
                if (a.rows.empty())
                    return Variant();
                std::vector<Variant> rows;
                for (const auto& r : a.rows)
                    rows.push_back(Variant::list(r));
                return Variant::list(std::move(rows));
            }
            return Variant();
        });
        defineMethod("ErrorDescript", [this](std::span<Variant>) { return Variant(reason); });
        defineMethod("ResultConnectString", [](std::span<Variant> args) {
            return Variant("sqlite:" + VarToStr(arg(args, 0)) + "/" + VarToStr(arg(args, 1)));
        });
    }

    // The value bound to a parameter of the last call; Empty when it was not bound.
    Variant param(const std::string& name) const
    {
        if (calls.empty() || !calls.back().params.isArray())
            return Variant();
        for (const Variant& pair : calls.back().params.elements())
            if (VarToStr(pair[0]) == name)
                return pair[1];
        return Variant();
    }

    std::vector<Call> calls;
    std::vector<Answer> answers;
    // What ErrorDescript answers: why the last call failed.
    std::string reason;
};
