#include "host/HostSession.h"

#include "host/ComCounter.h"
#include "host/ComF2Window.h"
#include "host/ComValidator.h"
#include "host/FileList.h"
#include "host/HelpWindow.h"
#include "host/ServerNotice.h"

HostSession::HostSession() : HostSession(HostConfig::Load(), {}) {}

HostSession::HostSession(HostConfig config, AppServerLink::Factory serverFactory) : config_(std::move(config))
{
    server_ = std::make_shared<AppServerLink>(serverFactory ? std::move(serverFactory)
                                                            : AppServerLink::FactoryFor(config_));
    // The services may outlive the session: the notice keeps only the language.
    server_->setNotice([language = language()](const std::string& reason) { ServerNotice::Show(reason, language); });
    defineMembers();
}

void HostSession::defineMembers()
{
    defineProperty("VersionType", [this] { return Variant(VersionType); });
    defineProperty("ProductID", [this] { return Variant(ProductID); });
    // Services are made on first use and kept, so that the properties a form sets on
    // them (the validator's ProductID) hold for the whole session.
    defineProperty("Com_Counter", [this] {
        if (!counter_.isDispatch())
            counter_ = Variant(std::make_shared<ComCounter>(server_));
        return counter_;
    });
    defineProperty("Com_Validator", [this] {
        if (!validator_.isDispatch()) {
            auto validator = std::make_shared<ComValidator>(server_);
            validator->ProductID = ProductID;
            validator_ = Variant(validator);
        }
        return validator_;
    });
    defineProperty("Com_F2Window", [this] {
        if (!f2Window_.isDispatch())
            f2Window_ = Variant(std::make_shared<ComF2Window>(server_, language(), config_.clientPath));
        return f2Window_;
    });

    defineMethod("GetMessage", [this](std::span<Variant> args) {
        return Variant(MessageCatalogue::Wording(VarToStr(arg(args, 0)), VarToStr(arg(args, 1)), language()));
    });
    defineMethod("CallHelp", [this](std::span<Variant> args) {
        const Variant& topic = arg(args, 0);
        if (!topic.isArray() || topic.count() < 2)
            return Variant(false);
        const int low = topic.lowBound();
        return Variant(HelpWindow::ShowTopic(config_.clientPath, VarToStr(topic[low]), VarToStr(topic[low + 1]),
                                             language()));
    });
    defineMethod("GetFileList", [this](std::span<Variant> args) {
        const Variant& names = arg(args, 0);
        // A client whose server is elsewhere compares with the copy that server holds.
        if (!config_.serverIsLocal()) {
            const Variant server = server_->server();
            if (!server.isDispatch())
                return Variant("");
            try {
                return Variant(VarToStr(server.call("GetFileList", {names})));
            } catch (const std::exception&) {
                // No description: the local copy is used as it is.
                return Variant("");
            }
        }
        std::vector<Variant> items = names.isArray() ? names.elements() : std::vector<Variant>{names};
        std::string answer;
        for (const Variant& name : items) {
            const std::string description = DescribeServerFile(config_.workDllPaths, VarToStr(name));
            if (description.empty())
                continue;
            if (!answer.empty())
                answer += "\r\n";
            answer += description;
        }
        return Variant(answer);
    });
}

void RegisterHostSessionClass()
{
    RegisterOleClass(HostSession::ProgId, [] { return std::make_shared<HostSession>(); });
}
