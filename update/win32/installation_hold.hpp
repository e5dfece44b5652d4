#pragma once

#include "win32/folder_walk.hpp"

#include "common/core/failure.hpp"
#include "common/win32/unique_any.hpp"

#include <memory>
#include <optional>
#include <string>

namespace update {

// One setup's hold on an installation for its install step. The folder and
// its Database folder are held open without delete sharing, so neither is
// renamed or replaced while the step works under them; the lock is a mutex
// only administrators can make, named by the folder's identity, so no name
// a user makes in the folder can block a setup.
struct InstallationHold {
    HeldItem folder;                              // the installation folder itself
    std::optional<HeldItem> database;             // its Database folder, when it had one
    common::win32::UniquePrivateNamespace space;  // kept open while the lock is named in it
    common::win32::UniqueOwnedMutex lock;
};

// Holds the installation folder at the path, after checking that only
// administrators control it and its Database folder; null when another
// setup holds it. Fails when either is a link or anyone else controls it,
// saying how to put that right, or when it cannot be held.
common::Result<std::unique_ptr<InstallationHold>> holdInstallation(const std::wstring& path);

}  // namespace update
