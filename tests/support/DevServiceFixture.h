// The dev study service running in-process on a free loopback port, for tests that need a
// real HTTP peer.
#pragma once

#include "devservice/DevService.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace testsupport {

class DevServiceRunner {
public:
    explicit DevServiceRunner(std::string updateFolder = {})
    {
        devservice::DevServiceOptions options;
        options.port = 0;
        options.updateFolder = std::move(updateFolder);
        m_service = std::make_unique<devservice::DevService>(options);
        m_started = m_service->start();
    }

    bool started() const { return m_started; }
    devservice::DevService& operator*() { return *m_service; }
    devservice::DevService* operator->() { return m_service.get(); }

private:
    std::unique_ptr<devservice::DevService> m_service;
    bool m_started = false;
};

} // namespace testsupport
