// The kelPortHi service in the Service Control Manager of the local machine.
#pragma once

#include "core/driver_service.hpp"

namespace velquin::win32 {

class ScmServices final : public ServiceLayer {
public:
    common::Result<> IsInstalled() override;
    common::Result<> Install(const ServiceSettings& settings) override;
    common::Result<> Delete(const std::wstring& name) override;
};

}  // namespace velquin::win32
