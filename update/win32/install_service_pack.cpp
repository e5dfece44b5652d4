#include "install_service_pack.hpp"

#include "deployment.hpp"
#include "fn_validate_version.hpp"
#include "fso_file_system.hpp"
#include "md_read_registry.hpp"
#include "pack_version_file.hpp"

namespace update {
namespace {

class RegistryVersionRecord : public RegistryRecord {
public:
    bool setInstalledVersion(const std::string& version) override {
        return SetInstalledVersion(version);
    }
};

bool deploy(const std::string& mediaFolder, const std::string& installPath, HWND owner) {
    ComScope com;
    if (!com.usable()) return false;
    // Declared after the scope so the object is released before COM ends.
    FsoFileSystem fs;
    if (!fs.created()) return false;
    RegistryVersionRecord registry;
    const auto validate = [owner](const std::string& version) {
        return fnValidateVersion(version, owner);
    };
    return deployServicePack(fs, registry, mediaFolder, installPath, &readPackVersionFile,
                             validate) == DeploymentResult::Success;
}

}  // namespace

bool InstallServicePack(const std::string& mediaFolder, const std::string& installPath,
                        HWND owner) {
    // The wizard shows the failed page for any error, so nothing may escape.
    try {
        return deploy(mediaFolder, installPath, owner);
    } catch (...) {
        return false;
    }
}

}  // namespace update
