// The world the client tests start from: the stand-in's sample world in a
// temporary HOME and a private session bus that starts the real service by
// activation. Simulator stand-ins started meanwhile are ended afterwards.
#pragma once

#include "devtoolsworld.h"

#include "tests/support/privatebus.h"
#include "tests/support/processscan.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <memory>

class SampleWorldTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_home = std::make_unique<testsupport::TemporaryHome>();
        const ToolRun world =
            devtoolsworld::run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
        ASSERT_EQ(world.status, 0) << world.err.toStdString();
        m_bus = std::make_unique<testsupport::PrivateBus>();
        ASSERT_TRUE(m_bus->isRunning());
    }

    void TearDown() override
    {
        // The Simulator shuts its devices down and ends on SIGTERM.
        if (m_home) {
            testsupport::endSimulatorsIn(m_home->path());
        }
        m_bus.reset();
        m_home.reset();
    }

    std::unique_ptr<testsupport::TemporaryHome> m_home;
    std::unique_ptr<testsupport::PrivateBus> m_bus;
};
