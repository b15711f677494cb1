#pragma once
// A host shell's session object and its three services, answering from canned data and
// recording every call, so that the job form's side of each call can be checked exactly.

#include "platform/Automation.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct RecordedCall {
    std::string name;
    std::vector<Variant> args;
};

class FakeCounter : public DispatchObject {
public:
    FakeCounter()
    {
        defineMethod("GetSysInfo", [this](std::span<Variant> args) {
            calls.push_back({"GetSysInfo", {args.begin(), args.end()}});
            if (settings.empty())
                return Variant();
            Variant matrix = Variant::array2(0, 1, 0, int(settings.size()) - 1);
            for (std::size_t i = 0; i < settings.size(); ++i) {
                matrix.at(0, int(i)) = settings[i].first;
                matrix.at(1, int(i)) = settings[i].second;
            }
            return matrix;
        });
        defineMethod("GetCounter", [this](std::span<Variant> args) {
            calls.push_back({"GetCounter", {args.begin(), args.end()}});
            if (fail)
                throw Exception("the server went away");
            if (args.size() > 1)
                args[1] = "written back";
            return answer;
        });
    }
    std::vector<std::pair<std::string, std::string>> settings;
    Variant answer;
    bool fail = false;
    std::vector<RecordedCall> calls;
};

class FakeValidator : public DispatchObject {
public:
    FakeValidator()
    {
        defineProperty("ProductID", [this] { return Variant(productId); }, [this](const Variant& v) { productId = v.toInt(); });
        defineProperty("BaseLimited", [this] { return Variant(baseLimited); },
                       [this](const Variant& v) { baseLimited = v.toString(); });
        for (const char* name : {"CheckValue", "QueryData"})
            defineMethod(name, [this, name](std::span<Variant> args) {
                calls.push_back({name, {args.begin(), args.end()}});
                if (fail)
                    throw Exception("validator broke");
                const std::string key = VarToStr(arg(args, 0)) + "/" + VarToStr(arg(args, 3)[0]);
                const auto found = rows.find(key);
                if (found == rows.end()) {
                    args[4] = Variant();
                    return Variant(false);
                }
                args[4] = found->second;
                return Variant(true);
            });
    }
    // "TABLE/first key" -> result row.
    std::map<std::string, Variant> rows;
    bool fail = false;
    int productId = 0;
    std::string baseLimited;
    std::vector<RecordedCall> calls;
};

class FakeF2Window : public DispatchObject {
public:
    FakeF2Window()
    {
        defineMethod("F2GetData", [this](std::span<Variant> args) {
            calls.push_back({"F2GetData", {args.begin(), args.end()}});
            return lookupAnswer;
        });
        defineMethod("GetPhrase", [this](std::span<Variant> args) {
            calls.push_back({"GetPhrase", {args.begin(), args.end()}});
            return Variant(phrase);
        });
        defineMethod("ShowInputDay", [this](std::span<Variant> args) {
            calls.push_back({"ShowInputDay", {args.begin(), args.end()}});
            return Variant(pickedDay);
        });
    }
    Variant lookupAnswer;
    std::string phrase;
    std::string pickedDay;
    std::vector<RecordedCall> calls;
};

class FakeSession : public DispatchObject {
public:
    FakeSession()
        : counter(std::make_shared<FakeCounter>()), validator(std::make_shared<FakeValidator>()),
          f2Window(std::make_shared<FakeF2Window>())
    {
        defineProperty("VersionType", [this] { return Variant(versionType); });
        defineProperty("ProductID", [this] {
            if (productIdFails)
                throw Exception("no product");
            return Variant(productId);
        });
        defineProperty("Com_Counter", [this] { return Variant(DispatchPtr(counter)); });
        defineProperty("Com_Validator", [this] { return Variant(DispatchPtr(validator)); });
        defineProperty("Com_F2Window", [this] { return Variant(DispatchPtr(f2Window)); });
        defineMethod("GetMessage", [this](std::span<Variant> args) {
            const std::string key = VarToStr(arg(args, 0)) + VarToStr(arg(args, 1));
            const auto found = messages.find(key);
            return Variant(found != messages.end() ? found->second : "msg " + key);
        });
        defineMethod("CallHelp", [this](std::span<Variant> args) {
            calls.push_back({"CallHelp", {args.begin(), args.end()}});
            return Variant(true);
        });
        defineMethod("GetFileList", [this](std::span<Variant> args) {
            calls.push_back({"GetFileList", {args.begin(), args.end()}});
            return Variant(fileList);
        });
    }

    std::shared_ptr<FakeCounter> counter;
    std::shared_ptr<FakeValidator> validator;
    std::shared_ptr<FakeF2Window> f2Window;
    // What GetFileList answers: the server's copy of a job library.
    std::string fileList = "<Modify>20240101120000</Modify><Path>/srv/S_PKG/x</Path>";
    int versionType = 2;
    int productId = 3;
    bool productIdFails = false;
    // type + number -> wording
    std::map<std::string, std::string> messages;
    std::vector<RecordedCall> calls;
};

// The application server: records that it was made.
class FakeAppServer : public DispatchObject {
public:
    FakeAppServer()
    {
        defineMethod("SQLType", [](std::span<Variant>) { return Variant(3); });
        // Every right, as the demo's administrator has.
        defineMethod("GetPower", [](std::span<Variant>) {
            return Variant::list({"Y", "Y", "Y", "Y", "Y", "Y", "Y", "", "DS"});
        });
    }
};
