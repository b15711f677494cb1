#include "batch/LibXml.h"

#include "platform/DynLib.h"
#include "support/Helpers.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace {

const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"GB2312\"?>";
const char* const kDoctype = "<!DOCTYPE SC[<!ENTITY stdd \"&amp;stdd;\">]>";

std::string lowerHead(const std::string& text)
{
    std::string head = text.substr(0, 100);
    for (std::size_t at; (at = head.find("\r\n")) != std::string::npos;)
        head.erase(at, 2);
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return head;
}

std::string readFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Lines joined by CR LF, as a text file reads line by line.
std::string asLines(const std::string& text)
{
    std::string out, line;
    std::istringstream in(text);
    bool first = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out += (first ? "" : "\r\n") + line;
        first = false;
    }
    return out;
}

std::string resultFileName()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, ms);
    return GetTempDirectory() + "~Zelko_" + stamp + ".tmp";
}

} // namespace

std::string NormaliseXmlHeader(const std::string& text)
{
    const std::string head = lowerHead(text);
    const bool doctype = head.find("<!doctype") != std::string::npos;
    if (head.rfind("<?xml", 0) == 0) {
        std::string out = text;
        const std::size_t end = out.find("?>");
        if (end == std::string::npos)
            return out;
        if (!doctype)
            out.insert(end + 2, kDoctype);
        if (head.find("encoding=") == std::string::npos)
            out.insert(end, " encoding=\"GB2312\"");
        return out;
    }
    return std::string(kDeclaration) + (doctype ? "" : kDoctype) + text;
}

std::unique_ptr<pugi::xml_document> LoadXmlText(const std::string& text)
{
    auto doc = std::make_unique<pugi::xml_document>();
    // The parser expands only the predefined entities: "&stdd;" stays as it is written,
    // which is what the declared entity is there for. Texts are Unicode inside the
    // program whatever the declaration names.
    const std::string normalised = NormaliseXmlHeader(text);
    if (!doc->load_buffer(normalised.data(), normalised.size(), pugi::parse_default | pugi::parse_doctype,
                          pugi::encoding_utf8))
        doc->reset();
    return doc;
}

pugi::xml_node FindOrAddNode(pugi::xml_node node, const std::string& nameOrPath, bool create)
{
    if (!node)
        return {};
    try {
        const pugi::xpath_node found = node.select_node(nameOrPath.c_str());
        if (found.node())
            return found.node();
    } catch (const pugi::xpath_exception&) {
    }
    return create ? node.append_child(nameOrPath.c_str()) : pugi::xml_node();
}

std::string GetAttributeText(pugi::xml_node element, const std::string& name)
{
    return element.attribute(name.c_str()).value();
}

void SetAttributeText(pugi::xml_node element, const std::string& name, const std::string& value)
{
    pugi::xml_attribute a = element.attribute(name.c_str());
    if (!a)
        a = element.append_attribute(name.c_str());
    a.set_value(value.c_str());
}

std::string XmlText(pugi::xml_node node)
{
    std::ostringstream out;
    node.print(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

std::string InvokeWebService(const std::string& address, const std::string& method, const std::string& request)
{
    const std::string file = resultFileName();
    // The library stays loaded, as the suite leaves it.
    static HMODULE library = LoadLibrary(kWebServiceLibrary);
    if (!library)
        library = LoadLibrary(kWebServiceLibrary);
    // The original paused here for a debugger when the last argument was "T"; an
    // unattended run must never wait for a person, so there is no pause.
    if (!library)
        return {};
    const auto call = reinterpret_cast<TCallWebServiceFx>(GetProcAddress(library, "CallWebServiceFx"));
    if (!call)
        return {};
    const int status = call(address.c_str(), method.c_str(), request.c_str(), file.c_str());
    const std::string result = asLines(readFile(file));
    const std::string reason = readFile(file + ".error");
    std::remove(file.c_str());
    std::remove((file + ".error").c_str());
    if (status != 0)
        throw WebServiceError(reason.empty() ? "the web service call failed (" + std::to_string(status) + ")" : reason,
                              result);
    return result;
}
