#include "platform/tune/containment.h"

#include <gtest/gtest.h>

namespace zentick::platform {
namespace {

// Each ABI takes charge of what the ones before it did and more; a right
// a kernel does not know is never asked of it, which it would refuse.
TEST(Containment, AsksOfLandlockWhatItsAbiKnowsAndNoMore)
{
    const struct {
        int abi;
        std::uint64_t fs;
        std::uint64_t net;
        std::uint64_t scoped;
    } cases[] = {
        {0, 0, 0, 0},         // no Landlock: the helper plays all the same
        {1, 0x1FFF, 0, 0},    // execute, write, read, read a folder, remove and make every kind of file
        {2, 0x3FFF, 0, 0},    // and move a file between folders (Debian 12's 6.1)
        {3, 0x7FFF, 0, 0},    // and truncate
        {4, 0x7FFF, 0x3, 0},  // and bind and connect TCP
        {5, 0xFFFF, 0x3, 0},  // and a device's ioctl
        {6, 0xFFFF, 0x3, 0x3},  // and keep abstract sockets and signals to itself
        {7, 0xFFFF, 0x3, 0x3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.abi);
        const LandlockRights rights = landlockRights(c.abi);
        EXPECT_EQ(rights.fs, c.fs);
        EXPECT_EQ(rights.net, c.net);
        EXPECT_EQ(rights.scoped, c.scoped);
    }
}

}  // namespace
}  // namespace zentick::platform
