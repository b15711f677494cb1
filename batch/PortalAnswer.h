#pragma once
// The portal's answer to the request of its user list, read once, apart from the dialog
// that shows it: whether it is XML, whether its Status says success, and the users its
// Record elements name (a record without an Id is counted, not taken).

#include <string>
#include <vector>

struct PortalUserRecord {
    std::string id;
    std::string name;
};

struct PortalAnswer {
    enum class Status { Ok, NotXml, Failed };
    Status status = Status::NotXml;
    // Failed: the Status element's Description (may be empty).
    std::string description;
    std::vector<PortalUserRecord> users;
    int skipped = 0;
};

PortalAnswer ReadPortalAnswer(const std::string& answer);
