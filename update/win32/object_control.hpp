// Who may take over an object the install relies on (a registry key of its
// journals, a folder of the installation): its owner, and whoever its DACL
// lets change its permissions or owner or what is in it. The journal store
// and the installation's hold each decide whom they trust and which rights
// count; how an object's owner and entries are read against that is decided
// here alone.
#pragma once

#include "common/core/failure.hpp"

#include <windows.h>

#include <accctrl.h>

#include <functional>
#include <optional>
#include <string>

namespace update {

struct ControlRule {
    ACCESS_MASK rights;                 // what lets its holder take the object over
    std::function<bool(PSID)> trusted;  // the accounts that may hold it
};

// What lets someone untrusted take the object over: an owner, no DACL at
// all (everyone may do everything), an entry allowing any of the rule's
// rights, or an entry of a kind not known here, which counts as allowing
// everything. An entry only for what is made in the object gives nothing
// on the object itself; what is made in it is checked where it is used.
struct Takeover {
    enum class By { Owner, NoDacl, Entry, UnknownEntry };
    By by;
    std::wstring account = {};  // Owner, Entry: the account, as an SID's text
    BYTE entryType = 0;         // UnknownEntry
};

// Reads the object's owner and DACL through its handle; nothing when only
// trusted accounts control it. A failed read names the object by `name`.
common::Result<std::optional<Takeover>> takeoverOf(HANDLE object, SE_OBJECT_TYPE type,
                                                   const std::wstring& name,
                                                   const ControlRule& rule);

}  // namespace update
