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
    common::Result<std::string> installedVersion() override { return GetInstalledVersion(); }
    common::Result<> setInstalledVersion(const std::string& version) override {
        return SetInstalledVersion(version);
    }
};

// Reached once the installation is held and any interrupted run completed.
common::Result<std::string> ReadPackVersion(const std::string& path) {
    auto version = readPackVersionFile(path);
    if (version)
        common::trace(common::concat({L"Update: pack version \"", ansiToWide(*version),
                                      L"\" read from ", ansiToWide(path)}));
    return version;
}

int exitCodeOf(const DeployResult& deployed) {
    if (deployed) return ExitSuccess;
    switch (deployed.stop) {
        case StopKind::InstallationHeld:
            return ExitAnotherSetupRunning;
        case StopKind::PackRefused:
            return ExitDoesNotApply;
        case StopKind::PackInvalid:
            return ExitPackInvalid;
        case StopKind::Failed:
            break;
    }
    return ExitInstallFailed;
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

}  // namespace

// An exception ends in the one trap of its caller: cmdNext_Click's, or the
// quiet run's.
RunEnd InstallServicePack(const std::string& mediaFolder, const std::string& installPath,
                          HWND owner) {
    common::trace(
        common::concat({L"Update: install step: from ", ansiToWide(mediaFolder), L" into ",
                        ansiToWide(installPath), L", holding the installation"}));
    const auto com = common::win32::initializeCom();
    if (!com) {
        common::trace(com.failure());
        return {ExitInstallFailed, quietOutcome(ExitInstallFailed)};
    }
    // Declared after COM is set up so the object is released before COM ends.
    InstallFileSystem fs;
    if (const common::Result<>& created = fs.created(); !created) {
        common::trace(created.failure());
        return {ExitInstallFailed, quietOutcome(ExitInstallFailed)};
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
                                    &ReadPackVersion, validate, *pack ? &**pack : nullptr)
                : DeployResult(runId.failure());
    if (deployed) {
        common::trace(L"Update: install step done");
    } else {
        common::trace(deployed.result.failure());
        common::trace(L"InstallServicePack: the service pack was not installed");
    }
    const int code = exitCodeOf(deployed);
    return {code, quietOutcome(code, deployed.completedEarlierRuns)};
}

}  // namespace update
