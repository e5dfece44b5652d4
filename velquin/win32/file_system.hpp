// Paths and files of the local machine, as driver registration checks them.
#pragma once

#include "core/driver_service.hpp"

namespace velquin::win32 {

class Win32Files final : public FileSystem {
public:
    common::Result<std::wstring> existingFile(const std::wstring& path) override;
};

}  // namespace velquin::win32
