#include "batch/PortalAnswer.h"
#include "batch/LibXml.h"

PortalAnswer ReadPortalAnswer(const std::string& answer)
{
    PortalAnswer a;
    const auto doc = LoadXmlText(answer);
    if (!doc->document_element())
        return a;
    const std::string code = doc->select_node("//Status[@code]").node().attribute("code").value();
    if (code != "0") {
        a.status = PortalAnswer::Status::Failed;
        a.description = doc->select_node("//Status[@Description]").node().attribute("Description").value();
        return a;
    }
    a.status = PortalAnswer::Status::Ok;
    for (const pugi::xpath_node& r : doc->select_nodes("//Record")) {
        const std::string id = r.node().select_node("Field[@name='Id']").node().attribute("value").value();
        if (id.empty()) {
            ++a.skipped;
            continue;
        }
        a.users.push_back({id, r.node().select_node("Field[@name='Name']").node().attribute("value").value()});
    }
    return a;
}
