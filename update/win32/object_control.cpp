#include "win32/object_control.hpp"

#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <aclapi.h>
#include <sddl.h>

namespace update {
namespace {

std::wstring sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !ConvertSidToStringSidW(sid, &text)) return L"an account that cannot be named";
    const common::win32::UniqueLocal owned(text);
    return text;
}

std::optional<Takeover> takeoverBy(const ACE_HEADER* entry, const ControlRule& rule) {
    if (entry->AceFlags & INHERIT_ONLY_ACE) return std::nullopt;
    switch (entry->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            return std::nullopt;
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
            const auto* allowed = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(entry);
            const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
            if (!(allowed->Mask & rule.rights) || rule.trusted(sid)) return std::nullopt;
            return Takeover{Takeover::By::Entry, sidText(sid)};
        }
        default:
            return Takeover{.by = Takeover::By::UnknownEntry, .entryType = entry->AceType};
    }
}

}  // namespace

common::Result<std::optional<Takeover>> takeoverOf(HANDLE object, SE_OBJECT_TYPE type,
                                                   const std::wstring& name,
                                                   const ControlRule& rule) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    const DWORD status =
        GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &dacl, nullptr, &raw);
    if (status != ERROR_SUCCESS) return FAILED_STATUS(GetSecurityInfo, status).about(name);
    const common::win32::UniqueLocal descriptor(raw);
    if (!owner || !rule.trusted(owner)) return {Takeover{Takeover::By::Owner, sidText(owner)}};
    if (!dacl) return {Takeover{Takeover::By::NoDacl}};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) return FAILED_CALL(GetAce).about(name);
        if (auto found = takeoverBy(static_cast<const ACE_HEADER*>(entry), rule)) return {found};
    }
    return {std::nullopt};
}

}  // namespace update
