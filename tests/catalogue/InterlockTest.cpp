// Demonstration effects and firmware go to the virtual pedal only.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "resources/Interlock.h"
#include "resources/ResourceStore.h"

namespace zendal {
namespace {

TEST(CatalogueInterlock, RefusesDemonstrationDataOnHardwareOnly) {
    const struct {
        DeviceKind kind;
        bool demonstration;
        bool refused;
    } cases[] = {
        {DeviceKind::Hardware, true, true},
        {DeviceKind::PseudoTerminal, true, false},
        {DeviceKind::VirtualInProcess, true, false},
        {DeviceKind::None, true, false},  // nothing open: the write fails by itself
        {DeviceKind::Hardware, false, false},
        {DeviceKind::PseudoTerminal, false, false},
        {static_cast<DeviceKind>(99), true, true},  // unknown kinds count as hardware
    };
    for (const auto& c : cases) {
        const auto refusal = refuseDemonstrationDataFor(c.kind, c.demonstration);
        EXPECT_EQ(refusal.has_value(), c.refused)
            << static_cast<int>(c.kind) << " demonstration=" << c.demonstration;
        if (refusal) {
            EXPECT_EQ(*refusal, demonstrationRefusalText());
        }
    }
    EXPECT_EQ(demonstrationRefusalText(),
              QStringLiteral("This editor carries demonstration effects and firmware only. They "
                             "are refused on a real pedal: install the maker's catalogue (see "
                             "README) to upload to hardware."));
}

TEST(CatalogueInterlock, FollowsTheCatalogueInUse) {
    EXPECT_TRUE(refuseDemonstrationDataFor(DeviceKind::Hardware).has_value());

    QTemporaryDir maker;
    QFile list(maker.path() + QStringLiteral("/EFFECT_LIST"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("0:empty\r\n");
    list.close();
    ResourceStore::instance().setInstalledFolderForTesting(maker.path());
    EXPECT_FALSE(refuseDemonstrationDataFor(DeviceKind::Hardware).has_value());
    ResourceStore::instance().setInstalledFolderForTesting(QString());
    EXPECT_TRUE(refuseDemonstrationDataFor(DeviceKind::Hardware).has_value());
}

}  // namespace
}  // namespace zendal
