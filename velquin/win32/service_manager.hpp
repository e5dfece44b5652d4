// The kelPortHi service in the Service Control Manager of the local machine.
#pragma once

#include "core/driver_service.hpp"

namespace velquin::win32 {

class ScmServices final : public ServiceLayer {
public:
    common::Result<> isInstalled() override;
    common::Result<> install(const ServiceSettings& settings) override;
    common::Result<> remove(const std::wstring& name) override;
};

}  // namespace velquin::win32
