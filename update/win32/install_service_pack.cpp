#include "win32/install_service_pack.hpp"

#include "core/deployment.hpp"
#include "win32/fn_validate_version.hpp"
#include "win32/install_file_system.hpp"
#include "win32/journal_store.hpp"
#include "win32/md_read_registry.hpp"
#include "win32/pack_version_file.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/com.hpp"
#include "common/win32/failed_call.hpp"

#include <cstdint>
#include <cstring>

namespace update {
namespace {

class RegistryVersionRecord : public RegistryRecord {
public:
    common::Result<> setInstalledVersion(const std::string& version) override {
        return SetInstalledVersion(version);
    }
};

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

bool deploy(const std::string& mediaFolder, const std::string& installPath, HWND owner) {
    const auto com = common::win32::initializeCom();
    if (!com) {
        common::trace(com.failure());
        return false;
    }
    // Declared after COM is set up so the object is released before COM ends.
    InstallFileSystem fs;
    if (const common::Result<>& created = fs.created(); !created) {
        common::trace(created.failure());
        return false;
    }
    RegistryJournalStore journals;
    RegistryVersionRecord registry;
    const auto validate = [owner](const std::string& version) {
        return fnValidateVersion(version, owner);
    };
    const auto runId = newRunId();
    const common::Result<> deployed =
        runId ? deployServicePack(fs, journals, registry, mediaFolder, installPath, *runId,
                                  &readPackVersionFile, validate)
              : common::Result<>(runId.failure());
    if (deployed) return true;
    common::trace(deployed.failure());
    common::trace(L"InstallServicePack: the service pack was not installed");
    return false;
}

}  // namespace

bool InstallServicePack(const std::string& mediaFolder, const std::string& installPath,
                        HWND owner) {
    // The wizard shows the failed page for any error, so nothing may escape.
    try {
        return deploy(mediaFolder, installPath, owner);
    } catch (...) {
        common::traceCurrentException(L"InstallServicePack");
        return false;
    }
}

}  // namespace update
