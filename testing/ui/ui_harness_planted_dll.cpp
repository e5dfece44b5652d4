#include "ui_harness.hpp"

namespace ui_harness {
static const wchar_t unguardedLoader[] = L"unguarded_loader.exe";

// Wine's per-program settings; the whole key is ours to delete again.
static std::wstring appDefaultsKey(const std::wstring& program) {
    return L"Software\\Wine\\AppDefaults\\" + program;
}

PlantedVersionDll::PlantedVersionDll(const std::wstring& folder, std::vector<std::wstring> programs)
    : folder_(folder), programs_(std::move(programs)) {
    programs_.push_back(unguardedLoader);
    copyFile(pathFromEnvironment(L"PLANTED_DLL"), joinPath(folder_, L"version.dll"));
    // In the prefix's registry: Wine's loader does not take WINEDLLOVERRIDES
    // from the environment a parent hands to CreateProcess.
    for (const auto& program : programs_)
        RegKey::create(HKEY_CURRENT_USER, appDefaultsKey(program) + L"\\DllOverrides")
            .setString(L"version", L"native,builtin");
}

PlantedVersionDll::~PlantedVersionDll() {
    for (const auto& program : programs_)
        RegKey::deleteTree(HKEY_CURRENT_USER, appDefaultsKey(program));
}

bool PlantedVersionDll::loaded() const {
    return fileExists(joinPath(folder_, L"version.dll.loaded"));
}

bool PlantedVersionDll::foundByUnguardedProgram() const {
    const std::wstring loader = joinPath(folder_, unguardedLoader);
    copyFile(pathFromEnvironment(L"UNGUARDED_LOADER"), loader);
    const auto unguarded = Process::start(loader);
    if (unguarded.waitForExit() != DWORD{0})
        throw HarnessError("the unguarded loader did not load version.dll");
    return loaded();
}

}  // namespace ui_harness
