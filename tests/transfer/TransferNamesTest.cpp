#include <gtest/gtest.h>

#include <cstdlib>

#include "transfer/TransferNames.h"

namespace nami::test {
namespace {

TEST(TransferNamesTest, CaptureNameFromTheLocalDateAndFiltersSplitExactly) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(DefaultCaptureName(1796558400), "261206.DWN");  // 2026-12-06 12:00 UTC

  auto upload = dialog::SplitFilter(dialog::UploadFilter);
  ASSERT_EQ(upload.size(), 4u);
  EXPECT_EQ(upload[0].name, "アップロード ファイル (*.upl) ");
  EXPECT_EQ(upload[0].pattern, " *.upl");
  EXPECT_EQ(upload[3].name, "ISH ファイル (*.ish) ");
  EXPECT_EQ(upload[3].pattern, " *.ish");
  auto download = dialog::SplitFilter(dialog::DownloadFilter);
  ASSERT_EQ(download.size(), 4u);
  EXPECT_EQ(download[0].pattern, " *.dwn");
  EXPECT_EQ(download[2].name, "アップロード ファイル (*.upl) ");
}

}  // namespace
}  // namespace nami::test
