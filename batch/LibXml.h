#pragma once
// XML helpers of the recipient list and the portal request: documents on pugixml, the
// suite's declaration rules, and the call of a web service through the library the
// installation provides (CallWebService.so, loaded by name).

#include <pugixml.hpp>

#include <memory>
#include <string>

// The declaration and the entity stdd as the suite's XML texts expect them (the first 100
// characters decide, lower-cased, without CR LF pairs).
std::string NormaliseXmlHeader(const std::string& text);
// A document of the normalised text; an empty document when the text is no XML. The
// entity stdd reads back as its own spelling "&stdd;".
std::unique_ptr<pugi::xml_document> LoadXmlText(const std::string& text);
// The first node the name or XPath selects under node; with create a new element of that
// name appended when there is none; else an empty node.
pugi::xml_node FindOrAddNode(pugi::xml_node node, const std::string& nameOrPath, bool create);
std::string GetAttributeText(pugi::xml_node element, const std::string& name);
void SetAttributeText(pugi::xml_node element, const std::string& name, const std::string& value);
// The text of a node as the suite writes it: no indentation, no declaration.
std::string XmlText(pugi::xml_node node);

// Posts the request to the service at address and answers the service's answer; the
// empty text when the library or its entry point is missing. A failed call raises
// WebServiceError with the reason and what the service answered so far.
struct WebServiceError : std::runtime_error {
    WebServiceError(const std::string& reason, std::string partial)
        : std::runtime_error(reason), result(std::move(partial))
    {
    }
    std::string result;
};
std::string InvokeWebService(const std::string& address, const std::string& method, const std::string& request);

// The library's name and entry point: int CallWebServiceFx(address, method, request,
// resultFile). 0 when the service answered; the answer (or the part that came) is in
// resultFile, and on failure the reason in resultFile + ".error".
constexpr const char* kWebServiceLibrary = "CallWebService.so";
using TCallWebServiceFx = int (*)(const char* address, const char* method, const char* request,
                                  const char* resultFile);
