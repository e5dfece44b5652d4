// Paths and files of the local machine, as driver registration checks them.
#pragma once

#include "core/driver_service.hpp"

namespace velquin::win32 {

class Win32Files final : public FileSystem {
public:
    std::optional<std::wstring> FullPath(const std::wstring& path) override;
    bool IsExistingFile(const std::wstring& fullPath) override;
};

}  // namespace velquin::win32
