// The kelPortHi service in the Service Control Manager of the local machine.
#pragma once

#include "core/driver_service.hpp"

namespace velquin::win32 {

class ScmServices final : public ServiceLayer {
public:
    common::Outcome IsInstalled() override;
    common::Outcome Install(const ServiceSettings& settings) override;
    common::Outcome Delete(const std::wstring& name) override;
};

}  // namespace velquin::win32
