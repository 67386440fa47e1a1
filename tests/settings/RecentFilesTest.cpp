// The recent-files list beside the settings file.
#include <gtest/gtest.h>

#include "settings/RecentFiles.h"
#include "support/TestSupport.h"

namespace nami {
namespace {

using test::TempDir;

TEST(RecentFiles, KeepsTenNewestFirstBesideTheSettings) {
  TempDir dir;
  const std::string list = CRecentFiles::PathBeside(dir.File("NAMI.INI"));
  EXPECT_EQ(list, dir.File("recent-files"));
  {
    CRecentFiles r(list);
    for (int i = 0; i < 12; ++i) r.Add("/d/f" + std::to_string(i) + ".nmi");
    r.Add("/d/f5.nmi");
    ASSERT_EQ(r.Items().size(), 10u);
    EXPECT_EQ(r.Items()[0], "/d/f5.nmi");
    EXPECT_EQ(r.Items()[1], "/d/f11.nmi");
  }
  CRecentFiles again(list);
  ASSERT_EQ(again.Items().size(), 10u);
  EXPECT_EQ(again.Items()[0], "/d/f5.nmi");
  EXPECT_EQ(again.Items()[9], "/d/f2.nmi");
  again.Remove("/d/f5.nmi");
  EXPECT_EQ(CRecentFiles(list).Items()[0], "/d/f11.nmi");
}

}  // namespace
}  // namespace nami
