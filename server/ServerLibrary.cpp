#include "server/ServerLibrary.h"

#include "platform/AsciiText.h"
#include "platform/DynLib.h"
#include "platform/SvrController.h"
#include "server/JobRequest.h"

#include <filesystem>
#include <memory>

namespace {

std::string joined(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    return folder + (last == '/' || last == '\\' ? "" : "/") + name;
}

} // namespace

std::string FindServerLibrary(const std::vector<std::string>& folders, const std::string& programCode,
                              std::string& why)
{
    if (!IsValidProgramCode(programCode)) {
        why = "\"" + programCode + "\" is no program code";
        return {};
    }
    const std::string name = upperAscii(programCode) + "S.so";
    std::string looked;
    for (const std::string& folder : folders) {
        const std::string file = joined(folder, name);
        std::error_code ec;
        if (std::filesystem::is_regular_file(file, ec))
            return file;
        looked += (looked.empty() ? "" : ", ") + folder;
    }
    why = folders.empty() ? "No work-library folder is configured (BriskoS.ini, [WorkDLLPath]) for " + name
                          : "The server library " + name + " is in none of the folders " + looked;
    return {};
}

Variant ServerLibraryPacket(const std::string& jobKind, const std::string& requestNo, const std::string& companyCode,
                            const std::string& userCode, const std::string& databaseName, const Variant& parameters,
                            const std::string& extra, int productId, int codePage)
{
    const std::string kind = upperAscii(jobKind);
    if (kind == "B")
        return Variant::list({requestNo, companyCode, userCode, parameters, databaseName, extra, productId});
    return Variant::list({requestNo, "", companyCode, userCode, databaseName, parameters, 1, kind, extra, productId, 1,
                          std::to_string(codePage)});
}

ServerLibraryOutcome RunServerLibraryFile(const std::string& libraryFile, const Variant& packet)
{
    ServerLibraryOutcome out;
    HMODULE module = LoadLibrary(libraryFile);
    if (!module) {
        out.result = "Cannot load the server library " + libraryFile + ": " + LastLibraryError();
        return out;
    }
    struct Release {
        HMODULE m;
        ~Release() { FreeLibrary(m); }
    } release{module};

    auto get = reinterpret_cast<TGetSvrController>(GetProcAddress(module, "GetSvrController"));
    if (!get) {
        out.result = "The server library " + libraryFile + " has no GetSvrController";
        return out;
    }
    std::unique_ptr<TSvrController> controller;
    try {
        controller.reset(get());
    } catch (const std::exception& e) {
        out.result = "GetSvrController of " + libraryFile + " raised: " + e.what();
        return out;
    } catch (...) {
        out.result = "GetSvrController of " + libraryFile + " raised";
        return out;
    }
    if (!controller) {
        out.result = "GetSvrController of " + libraryFile + " gave no controller";
        return out;
    }

    std::string raised;
    try {
        controller->RunJob(packet);
    } catch (const std::exception& e) {
        raised = e.what();
        if (raised.empty())
            raised = "the job raised an exception";
    } catch (...) {
        raised = "the job raised an exception";
    }
    std::string result;
    try {
        result = controller->GetResultText();
    } catch (const std::exception& e) {
        result = std::string("the result text could not be read: ") + e.what();
    } catch (...) {
        result = "the result text could not be read";
    }
    if (raised.empty() && result.empty()) {
        try {
            out.summary = controller->GetSummaryText();
        } catch (...) {
        }
    }
    controller.reset();

    if (!raised.empty())
        out.result = result.empty() ? raised : raised + "\r\n" + result;
    else
        out.result = result;
    out.ok = raised.empty() && result.empty();
    return out;
}
