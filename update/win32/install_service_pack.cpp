#include "win32/install_service_pack.hpp"

#include "core/command_line.hpp"
#include "core/deployment.hpp"
#include "win32/fn_validate_version.hpp"
#include "win32/install_file_system.hpp"
#include "win32/journal_store.hpp"
#include "win32/md_read_registry.hpp"
#include "win32/pack_digests.hpp"
#include "win32/pack_version_file.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/com.hpp"
#include "common/win32/failed_call.hpp"

#include <cstdint>
#include <cstring>

namespace update {
namespace {

using common::win32::ansiToWide;

class RegistryVersionRecord : public RegistryRecord {
public:
    // Called once both items are replaced, by this run or for one cut off.
    common::Result<> setInstalledVersion(const std::string& version) override {
        common::trace(L"Update: Events and the database replaced; recording version " +
                      ansiToWide(version));
        return SetInstalledVersion(version);
    }
};

// Reached once the installation is held and any interrupted run completed.
common::Result<std::string> readPackVersion(const std::string& path) {
    auto version = readPackVersionFile(path);
    if (version)
        common::trace(L"Update: pack version \"" + ansiToWide(*version) + L"\" read from " +
                      ansiToWide(path));
    return version;
}

// Only a lock that another process holds is worth a retry: a folder that
// cannot be locked at all is a failure.
int exitCodeOf(const DeployResult& deployed) {
    if (deployed) return kExitSuccess;
    const common::Failure& failure = deployed.result.failure();
    switch (deployed.stop) {
        case StopKind::InstallationHeld:
            return failure.kind == common::ErrorKind::Win32 &&
                           failure.code == ERROR_SHARING_VIOLATION
                       ? kExitAnotherSetupRunning
                       : kExitInstallFailed;
        case StopKind::PackRefused:
            return kExitDoesNotApply;
        case StopKind::PackInvalid:
            return kExitPackInvalid;
        case StopKind::Failed:
            break;
    }
    return kExitInstallFailed;
}

// A name for this run in its journal, unlike any other run's.
common::Result<std::string> newRunId() {
    GUID id{};
    if (const HRESULT hr = CoCreateGuid(&id); FAILED(hr)) return FAILED_HRESULT(CoCreateGuid, hr);
    std::uint32_t words[4];
    static_assert(sizeof words == sizeof id);
    std::memcpy(words, &id, sizeof id);
    std::string text;
    for (const std::uint32_t word : words) text.append(common::hexText(word));
    return text;
}

int deploy(const std::string& mediaFolder, const std::string& installPath, HWND owner) {
    std::wstring line = L"Update: install step: from ";
    line.append(ansiToWide(mediaFolder)).append(L" into ").append(ansiToWide(installPath));
    common::trace(line.append(L", holding the installation"));
    const auto com = common::win32::initializeCom();
    if (!com) {
        common::trace(com.failure());
        return kExitInstallFailed;
    }
    // Declared after COM is set up so the object is released before COM ends.
    InstallFileSystem fs;
    if (const common::Result<>& created = fs.created(); !created) {
        common::trace(created.failure());
        return kExitInstallFailed;
    }
    RegistryJournalStore journals;
    RegistryVersionRecord registry;
    const auto validate = [owner](const std::string& version) {
        return fnValidateVersion(version, owner);
    };
    const auto runId = newRunId();
    // A record that cannot be read is a damaged program: nothing is done.
    const auto pack = loadPackRecord();
    const DeployResult deployed =
        !pack   ? DeployResult(pack.failure(), StopKind::PackInvalid)
        : runId ? deployServicePack(fs, journals, registry, mediaFolder, installPath, *runId,
                                    &readPackVersion, validate, *pack ? &**pack : nullptr)
                : DeployResult(runId.failure());
    if (deployed) {
        common::trace(L"Update: install step done");
        return kExitSuccess;
    }
    common::trace(deployed.result.failure());
    common::trace(L"InstallServicePack: the service pack was not installed");
    return exitCodeOf(deployed);
}

}  // namespace

int InstallServicePack(const std::string& mediaFolder, const std::string& installPath, HWND owner) {
    // Every error ends as a failure, which the caller reports.
    try {
        return deploy(mediaFolder, installPath, owner);
    } catch (...) {
        common::traceCurrentException(L"InstallServicePack");
        return kExitInstallFailed;
    }
}

}  // namespace update
