#pragma once
// The suite's message catalogue: the wording of every message code a job library or the
// server reports, in simplified Chinese, traditional Chinese and English. The host serves it
// to the job forms; the server's recorded texts are codes worded by whoever reads them
// (MessageText.h). The
// library formats a wording with up to ten text parameters, so each "%s" marks where a
// parameter goes and no wording holds any other "%".

#include <string>
#include <string_view>
#include <vector>

enum class HostLanguage { Simplified, Traditional, English };

// 936 gives simplified, 950 traditional Chinese, every other code page English.
HostLanguage LanguageOfCodePage(int codePage);

// One text in the three languages of the host.
struct Wording3 {
    const char* chs;
    const char* cht;
    const char* eng;
    const char* in(HostLanguage language) const;
};

struct CatalogueCode {
    std::string type;   // one upper-case letter
    std::string number; // six digits
};

class MessageCatalogue {
public:
    // The wording of (type, number). The type compares without regard to case; the number
    // may come without its leading zeros or with the "-" that marks a silent message. A
    // code the catalogue lacks gets a wording that names it and still shows the first
    // parameter.
    static std::string Wording(std::string_view type, std::string_view number, HostLanguage language);
    static bool Contains(std::string_view type, std::string_view number);
    // Every code of the catalogue, in catalogue order.
    static std::vector<CatalogueCode> Codes();
};
