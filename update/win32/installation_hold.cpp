#include "win32/installation_hold.hpp"

#include "win32/durable_files.hpp"
#include "win32/object_control.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"

#include <aclapi.h>
#include <sddl.h>

#include <string_view>
#include <utility>
#include <vector>

namespace update {
namespace {

using common::Result;
using common::win32::UniqueHandle;
using common::win32::UniqueLocal;

// Listing takes part in sharing, so without FILE_SHARE_DELETE nobody
// renames or replaces a folder held so.
constexpr ItemOpen heldFolderOpen{.access = FILE_LIST_DIRECTORY | FILE_TRAVERSE |
                                            FILE_READ_ATTRIBUTES | READ_CONTROL};

// Rights that let their holder take an item over: change its permissions or
// owner, or remove or rename what is in it whatever its own permissions say.
constexpr ACCESS_MASK controlRights = WRITE_DAC | WRITE_OWNER | FILE_DELETE_CHILD | GENERIC_ALL;

// NT SERVICE\TrustedInstaller, which owns what Windows itself installs.
constexpr wchar_t trustedInstaller[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The accounts that may control the installation: SYSTEM, Administrators,
// TrustedInstaller, and the account this process runs as when it runs as an
// administrator, whose own items are an administrator's. On Windows an
// elevated administrator's items are owned by Administrators, unless a
// policy gives them the account itself. Under Wine 8, which keeps no
// security descriptor on files, GetSecurityInfo makes one up for every
// file and folder: owned by the prefix's user (S-1-5-21-0-0-0-1000, a
// member of Administrators), group S-1-5-21-0-0-0-513, and a DACL giving
// SYSTEM and that user full control and Everyone read and execute
// (0x1200a9), all inherited by what is made in it; so the user's rule is
// the one that lets a prefix's folder pass.
class Trustees {
public:
    static Result<Trustees> find();

    bool has(PSID sid) const {
        return IsWellKnownSid(sid, WinLocalSystemSid) ||
               IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
               EqualSid(sid, installer_.get()) ||
               (!self_.empty() && EqualSid(sid, const_cast<BYTE*>(self_.data())));
    }

private:
    UniqueLocal installer_;
    std::vector<BYTE> self_;  // empty unless this process runs as an administrator
};

Result<std::vector<BYTE>> administratorSelf() {
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size))
        return FAILED_CALL(CreateWellKnownSid);
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, admins, &member)) return FAILED_CALL(CheckTokenMembership);
    if (!member) return std::vector<BYTE>();
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return FAILED_CALL(OpenProcessToken);
    std::vector<BYTE> user(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE);
    DWORD length = 0;
    if (!GetTokenInformation(token.get(), TokenUser, user.data(), static_cast<DWORD>(user.size()),
                             &length))
        return FAILED_CALL(GetTokenInformation);
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    const auto* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

Result<Trustees> Trustees::find() {
    Trustees found;
    PSID installer = nullptr;
    if (!ConvertStringSidToSidW(trustedInstaller, &installer))
        return FAILED_CALL(ConvertStringSidToSidW);
    found.installer_.reset(installer);
    auto self = administratorSelf();
    if (!self) return self.failure();
    found.self_ = std::move(*self);
    return found;
}

// The folder as its user knows it, without the \\?\ prefix.
std::wstring shown(const HeldItem& item) {
    return item.path.starts_with(L"\\\\?\\") ? item.path.substr(4) : item.path;
}

common::Failure refused(const HeldItem& item, const std::wstring& why, const std::wstring& fix) {
    return common::stopFailure(L"Update", L"the installation is not safe to update: " +
                                              shown(item) + L" " + why + L". " + fix);
}

// The refusal of a folder someone untrusted could take over, with the
// command that mends it.
common::Failure refusal(const HeldItem& item, const Takeover& takeover) {
    const std::wstring folder = shown(item);
    const std::wstring reset = L"Give it plain permissions: icacls \"" + folder + L"\" /reset";
    switch (takeover.by) {
        case Takeover::By::Owner:
            return refused(item, L"is owned by " + takeover.account + L", not by Administrators",
                           L"Give it to Administrators, in a prompt run as administrator: "
                           L"takeown /f \"" +
                               folder + L"\" /a");
        case Takeover::By::NoDacl:
            return refused(item, L"has no access list (a NULL DACL), which gives everyone control",
                           reset);
        case Takeover::By::Entry:
            return refused(item,
                           L"lets " + takeover.account +
                               L" change its permissions or owner, or delete what is in it "
                               L"(WRITE_DAC, WRITE_OWNER, FILE_DELETE_CHILD or full control)",
                           L"Take that right away and leave at most Modify, in a prompt run as "
                           L"administrator: icacls \"" +
                               folder + L"\" /inheritance:d && icacls \"" + folder +
                               L"\" /remove:g *" + takeover.account + L" /grant *" +
                               takeover.account + L":(OI)(CI)M");
        case Takeover::By::UnknownEntry:
            break;
    }
    return refused(item,
                   L"has an access entry of a kind this program does not know (type 0x" +
                       common::asciiToWide(common::hexText(takeover.entryType)) + L")",
                   reset);
}

// Succeeds when only the trustees own the held item and may change who
// controls it.
Result<> checkControl(const HeldItem& item, const Trustees& trusted) {
    const ControlRule rule{controlRights, [&](PSID sid) { return trusted.has(sid); }};
    const auto takeover = takeoverOf(item.handle.get(), SE_FILE_OBJECT, item.path, rule);
    if (!takeover) return takeover.failure();
    if (*takeover) return refusal(item, **takeover);
    return {};
}

// The last name of a path, \\?\ or volume-relative.
std::wstring_view leafOf(const std::wstring& path) {
    return std::wstring_view(path).substr(path.find_last_of(L'\\') + 1);
}

// A held folder of its own that only the trustees control. A link the file
// system follows all the same (a host link under Wine) is told apart by the
// name the folder opened has.
Result<> checkFolder(const HeldItem& folder, const Trustees& trusted) {
    const std::wstring_view asked = leafOf(folder.path), opened = leafOf(folder.realPath);
    if (!isRealFolder(folder.attributes) || !sameName(asked, opened))
        return refused(folder,
                       L"is a link (a junction, mount point or symbolic link), or not a folder",
                       L"Reinstall the product in a folder of its own");
    return checkControl(folder, trusted);
}

// Both folders held and checked; the Database folder only when there is one.
Result<> holdFolders(InstallationHold& hold, const std::wstring& path) {
    const auto trusted = Trustees::find();
    if (!trusted) return trusted.failure();
    auto folder = openPath(path, heldFolderOpen);
    if (!folder) return folder.failure();
    if (auto checked = checkFolder(*folder, *trusted); !checked) return checked;
    auto database = openEntry(*folder, L"Database", heldFolderOpen);
    if (database) {
        if (auto checked = checkFolder(*database, *trusted); !checked) return checked;
        hold.database = std::move(*database);
    } else if (!notFound(database.failure())) {
        return database.failure();
    }
    hold.folder = std::move(*folder);
    return {};
}

constexpr wchar_t namespaceName[] = L"OrvexaUpdate";

// The lock's name lies in a private namespace whose boundary holds the
// Administrators SID: only a process in that group can make or open it, so
// no user can make the name first. Windows has private namespaces since
// Vista; Wine 8 has none (CreateBoundaryDescriptorW answers null and sets
// no error, and CreatePrivateNamespaceW and OpenPrivateNamespaceW are
// missing: a call ends the process), and there the lock is named in the
// Global namespace instead. Null then.
Result<common::win32::UniquePrivateNamespace> openLockNamespace(SECURITY_ATTRIBUTES& attributes) {
    SetLastError(ERROR_SUCCESS);
    common::win32::UniqueBoundaryDescriptor boundary(CreateBoundaryDescriptorW(namespaceName, 0));
    if (!boundary) {
        const DWORD code = GetLastError();
        if (code == ERROR_SUCCESS || code == ERROR_CALL_NOT_IMPLEMENTED)
            return common::win32::UniquePrivateNamespace();
        return FAILED_STATUS(CreateBoundaryDescriptorW, code);
    }
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size))
        return FAILED_CALL(CreateWellKnownSid);
    HANDLE grown = boundary.release();  // the call may make it anew
    const BOOL added = AddSIDToBoundaryDescriptor(&grown, admins);
    boundary.reset(grown);
    if (!added) return FAILED_CALL(AddSIDToBoundaryDescriptor);
    // Made by the first setup, opened by the next; one that goes between
    // the two calls is made again.
    for (int round = 0; round < 8; ++round) {
        common::win32::UniquePrivateNamespace space(
            CreatePrivateNamespaceW(&attributes, boundary.get(), namespaceName));
        if (space) return space;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return FAILED_CALL(CreatePrivateNamespaceW);
        space.reset(OpenPrivateNamespaceW(boundary.get(), namespaceName));
        if (space) return space;
    }
    return FAILED_CALL(OpenPrivateNamespaceW);
}

// The installation's lock, named by the held folder's identity so that
// every path to the folder names the same lock; made with a DACL that lets
// only SYSTEM and Administrators open it. In the Global namespace (Wine)
// anyone may make the name first, which then refuses administrators or
// holds every setup off: a failure or a retry, never a silent pass.
Result<UniqueHandle> installationMutex(InstallationHold& hold) {
    const auto identity = identityOf(hold.folder.handle.get(), hold.folder.path);
    if (!identity) return identity.failure();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        return FAILED_CALL(ConvertStringSecurityDescriptorToSecurityDescriptorW);
    const UniqueLocal owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    auto space = openLockNamespace(attributes);
    if (!space) return space.failure();
    const std::wstring name = (*space ? std::wstring(namespaceName) + L"\\"
                                      : L"Global\\" + std::wstring(namespaceName) + L"-") +
                              L"install-" + common::asciiToWide(*identity);
    UniqueHandle mutex(CreateMutexW(&attributes, FALSE, name.c_str()));
    if (!mutex) return FAILED_CALL(CreateMutexW).about(name);
    hold.space = std::move(*space);
    return mutex;
}

}  // namespace

Result<std::unique_ptr<InstallationHold>> holdInstallation(const std::wstring& path) {
    auto hold = std::make_unique<InstallationHold>();
    if (auto held = holdFolders(*hold, path); !held) return held.failure();
    auto mutex = installationMutex(*hold);
    if (!mutex) return mutex.failure();
    switch (WaitForSingleObject(mutex->get(), 0)) {
        case WAIT_ABANDONED:
            // A setup ended without letting go; its journal completes its run.
            common::trace(L"Update: the installation's lock was left by a setup that ended");
            [[fallthrough]];
        case WAIT_OBJECT_0:
            hold->lock.reset(mutex->release());
            return hold;
        case WAIT_TIMEOUT:
            return std::unique_ptr<InstallationHold>();
        default:
            return FAILED_CALL(WaitForSingleObject);
    }
}

}  // namespace update
