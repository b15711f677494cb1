#include "server/PortalService.h"

#include <pugixml.hpp>

#include <sstream>

namespace {

std::string status(const char* code, const std::string& description)
{
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    auto response = doc.append_child("Response");
    auto s = response.append_child("Status");
    s.append_attribute("code") = code;
    s.append_attribute("Description") = description.c_str();
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw);
    return out.str();
}

} // namespace

std::string PortalAnswer(DbConnection& systemDb, const std::string& method, const std::string& request)
{
    if (method != "PORTAL.getAllUser")
        return status("2", "Unknown method \"" + method + "\"");
    pugi::xml_document in;
    if (!in.load_string(request.c_str()))
        return status("3", "The request is not XML");
    const std::string company = in.select_node("//Organization/@name").attribute().value();
    if (company.empty())
        return status("3", "The request names no organization");
    if (systemDb.query("SELECT 1 FROM ADMMC WHERE MC001 = :C AND MC004 = 'Y'", {{"C", company}}).empty())
        return status("1", "Unknown company \"" + company + "\"");

    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    auto response = doc.append_child("Response");
    auto s = response.append_child("Status");
    s.append_attribute("code") = "0";
    s.append_attribute("Description") = "";
    auto records = response.append_child("Records");
    const DbRowSet users = systemDb.query("SELECT MA001, MA002 FROM QVRMA WHERE MA007 = 'Y' ORDER BY MA001");
    for (const auto& row : users.rows) {
        auto record = records.append_child("Record");
        auto id = record.append_child("Field");
        id.append_attribute("name") = "Id";
        id.append_attribute("value") = row[0].toString().c_str();
        auto name = record.append_child("Field");
        name.append_attribute("name") = "Name";
        name.append_attribute("value") = row[1].isEmptyOrNull() ? "" : row[1].toString().c_str();
    }
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw);
    return out.str();
}
