// SimDeviceHandle over a class table that counts what it is sent: references
// stay balanced through copies and moves, and a handle whose class is missing
// (its framework was unloaded) is a null handle that sends nothing at all.
#include "simdevicehandle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

struct Sent
{
    int retains = 0;
    int releases = 0;
    int messages = 0;
};
Sent g_sent;

void countRetain(SimDeviceObject *)
{
    ++g_sent.retains;
}
void countRelease(SimDeviceObject *)
{
    ++g_sent.releases;
}
int answersEverything(SimDeviceObject *, const char *)
{
    ++g_sent.messages;
    return 1;
}
char *udidText(SimDeviceObject *)
{
    ++g_sent.messages;
    return strdup("A1B2C3D4-0000-4000-8000-000000000001");
}
int64_t bootedState(SimDeviceObject *)
{
    ++g_sent.messages;
    return 3;
}

SimDeviceClass countingClass()
{
    SimDeviceClass cls{};
    cls.interfaceVersion = SIM_CORESIMULATOR_INTERFACE_VERSION;
    cls.retain = &countRetain;
    cls.release = &countRelease;
    cls.respondsToSelector = &answersEverything;
    cls.UDID = &udidText;
    cls.name = &udidText;
    cls.state = &bootedState;
    return cls;
}

// Never dereferenced: the counting class only counts.
SimDeviceObject *someDevice()
{
    static int storage;
    return reinterpret_cast<SimDeviceObject *>(&storage);
}

class SimDeviceHandleTest : public ::testing::Test
{
protected:
    void SetUp() override { g_sent = Sent(); }
};

} // namespace

TEST_F(SimDeviceHandleTest, CopiesAndMovesKeepReferencesBalanced)
{
    const SimDeviceClass cls = countingClass();
    {
        SimDeviceHandle borrowed = SimDeviceHandle::retain(&cls, someDevice());
        EXPECT_EQ(g_sent.retains, 1);
        SimDeviceHandle copy = borrowed;
        SimDeviceHandle moved = std::move(copy);
        EXPECT_FALSE(moved.isNull());
        SimDeviceHandle assigned;
        assigned = moved;
        EXPECT_EQ(assigned.udid(), QStringLiteral("A1B2C3D4-0000-4000-8000-000000000001"));
        EXPECT_EQ(assigned.state(), 3);
        SimDeviceHandle adopted = SimDeviceHandle::adopt(&cls, someDevice());
        EXPECT_FALSE(adopted.isNull());
    }
    EXPECT_EQ(g_sent.retains, 3) << "retain, the copy and the copy-assignment";
    EXPECT_EQ(g_sent.releases, 4) << "each of them, and the adopted reference";
}

TEST_F(SimDeviceHandleTest, AHandleWithoutItsClassIsNullAndSendsNothing)
{
    {
        // As a notification of an unloaded framework would make it.
        SimDeviceHandle borrowed = SimDeviceHandle::retain(nullptr, someDevice());
        SimDeviceHandle adopted = SimDeviceHandle::adopt(nullptr, someDevice());
        for (const SimDeviceHandle *handle : {&borrowed, &adopted}) {
            EXPECT_TRUE(handle->isNull());
            EXPECT_EQ(handle->object(), nullptr);
            EXPECT_FALSE(handle->respondsToSelector("UDID"));
            EXPECT_FALSE(handle->udid());
            EXPECT_FALSE(handle->name());
            EXPECT_FALSE(handle->state());
            EXPECT_FALSE(handle->deviceTypeName());
            EXPECT_FALSE(handle->runtimeVersionString());
            EXPECT_FALSE(handle->dataPath());
            EXPECT_FALSE(handle->devicePath());
        }
        SimDeviceHandle copy = borrowed;
        EXPECT_TRUE(copy.isNull());
    }
    // A class without an object is no device either.
    const SimDeviceClass cls = countingClass();
    {
        SimDeviceHandle none = SimDeviceHandle::retain(&cls, nullptr);
        EXPECT_TRUE(none.isNull());
        EXPECT_FALSE(none.udid());
    }
    EXPECT_EQ(g_sent.retains + g_sent.releases + g_sent.messages, 0);
}
