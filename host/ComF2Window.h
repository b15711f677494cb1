#pragma once
// The look-up window service (the session object's Com_F2Window).
//
//   F2GetData(request) -> the rows the user chose, or Empty when the user cancelled or
//       nothing could be listed. request is the array of 19 values a job form sends:
//       [0] table, [1] look-up kind, [2] key values, [3] list flag (several rows may be
//       chosen), [4] the text of the field (the list opens on the first row it begins),
//       [5] company, [6] database, [7] the form's window, [8]..[18] as the form fills them.
//       The answer is a row set: one row, or each chosen row in list order.
//   GetPhrase(user, database, window) -> the phrase the user picked from the common
//       phrases of the installation, empty when none.
//   ShowInputDay([years from 1912?, start "yyyymmdd", database]) -> the picked day as
//       "yyyymmdd", empty when the user cancelled.
//
// Windows run through the modal runner (platform/ModalRunner.h), so tests answer them.

#include "host/AppServerLink.h"
#include "support/MessageCatalogue.h"

#include <QStringList>

#include <functional>
#include <memory>

class LookupWindow;

class ComF2Window : public DispatchObject {
public:
    ComF2Window(std::shared_ptr<AppServerLink> server, HostLanguage language, std::string clientPath);

    // True when F2GetData knows (table, kind).
    static bool Knows(std::string_view table, std::string_view kind);

    // The common phrases of a user: the user's own, then those for everyone.
    static QStringList Phrases(const std::string& clientPath, const std::string& user);

private:
    Variant f2GetData(const Variant& request);
    Variant getPhrase(const std::string& user, std::uintptr_t window);
    Variant showInputDay(const Variant& request);

    std::shared_ptr<AppServerLink> server_;
    HostLanguage language_;
    std::string clientPath_;
};
