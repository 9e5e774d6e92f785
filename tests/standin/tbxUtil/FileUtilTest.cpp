#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "tbx/FileUtil.h"
#include "tbx/ToolUtil.h"

namespace {

using korvex_test::ReadText;
using korvex_test::TempDir;
using tbx::CDirCom;
using tbx::CDirUtil;
using tbx::CFileUtil;

void WriteRaw(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(FileUtilWriteTest, AConcurrentReaderSeesOnlyWholeVersions) {
  TempDir dir;
  std::string path = dir.File("MonitorError.data");
  const std::string versionA(200000, 'a');
  const std::string versionB(150000, 'b');
  ASSERT_TRUE(CFileUtil::WriteNewFile(path, versionA, false));
  std::atomic<bool> stop{false};
  std::atomic<int> failedWrites{0};
  std::thread writer([&] {
    for (int i = 0; i < 60; ++i) {
      if (!CFileUtil::WriteNewFile(path, i % 2 == 0 ? versionB : versionA, false)) {
        ++failedWrites;
      }
    }
    stop = true;
  });
  int torn = 0;
  int reads = 0;
  int refused = 0;  // opens refused while the replace holds the file (a sharing violation)
  while (!stop) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
      ++refused;  // Windows: no version seen, which is not a torn one
      continue;
    }
    const std::string seen{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ++reads;
    if (seen != versionA && seen != versionB) {
      ++torn;
    }
  }
  writer.join();
  EXPECT_EQ(0, failedWrites);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(0, torn) << "of " << reads << " reads, " << refused << " opens refused";
  EXPECT_EQ(std::vector<std::string>{"MonitorError.data"}, Entries(dir.path()));
}

TEST(FileUtilWriteTest, ReplacesOrAppendsAndKeepsTheFilesMode) {
  namespace fs = std::filesystem;
  const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  TempDir dir;
  std::string path = dir.File("monitor_pid.txt");
  ASSERT_TRUE(CFileUtil::WriteNewFile(path, "first\n", false));
  fs::permissions(path, ownerOnly);
  // Windows files carry no such mode, only a read-only flag.
  const bool keepsModes = (fs::status(path).permissions() & fs::perms::all) == ownerOnly;
  ASSERT_TRUE(CFileUtil::WriteNewFile(path, "1234", false));
  EXPECT_EQ("1234", ReadText(path));
  if (keepsModes) {
    EXPECT_EQ(ownerOnly, fs::status(path).permissions() & fs::perms::all);
  }
  ASSERT_TRUE(CFileUtil::WriteNewFile(path, "5678", true));
  EXPECT_EQ("12345678", ReadText(path));
}

TEST(FileUtilTest, DirectoriesMissingPathsAndEmptyNamesFailCleanly) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  EXPECT_FALSE(CFileUtil::WriteNewFile(dir.File("sub"), "x", false));
  EXPECT_FALSE(CFileUtil::WriteNewFile(dir.File("sub"), "x", true));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
  EXPECT_FALSE(CFileUtil::WriteNewFile(dir.File("missing/file"), "x", false));
  EXPECT_FALSE(CFileUtil::WriteNewFile("", "x", false));
  EXPECT_EQ(std::vector<std::string>{"sub"}, Entries(dir.path()));  // no temporary left

  std::vector<std::string> lines;
  for (const std::string& path : {dir.File("absent"), dir.File("sub"), std::string()}) {
    EXPECT_FALSE(CFileUtil::ReadFileLineToList(path, lines, 1024)) << path;
    EXPECT_FALSE(CFileUtil::RemoveFile(path)) << path;
  }
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(CFileUtil::IsFile(dir.File("sub")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));  // an empty one, not removed
}

TEST(FileUtilReadTest, StripsLineEndsAndKeepsOtherCarriageReturns) {
  TempDir dir;
  std::string path = dir.File("lines");
  WriteRaw(path, "a\r\nb\nmid\rdle\n\r\n\nlast");
  std::vector<std::string> lines{"kept"};
  ASSERT_TRUE(CFileUtil::ReadFileLineToList(path, lines, 1024));
  EXPECT_EQ((std::vector<std::string>{"kept", "a", "b", "mid\rdle", "", "", "last"}), lines);
}

TEST(FileUtilReadTest, TakesAtMostTheFirstMaxLines) {
  TempDir dir;
  std::string path = dir.File("many");
  std::string content;
  for (int i = 0; i < 1030; ++i) {
    content += std::to_string(i) + "\n";
  }
  WriteRaw(path, content);
  std::vector<std::string> lines;
  ASSERT_TRUE(CFileUtil::ReadFileLineToList(path, lines, 1024));
  ASSERT_EQ(1024u, lines.size());
  EXPECT_EQ("0", lines.front());
  EXPECT_EQ("1023", lines.back());
}

TEST(DirUtilTest, ListsOnlyTheRegularFilesDirectlyInside) {
  TempDir dir;
  WriteRaw(dir.File("x-Error.dmp"), "d");
  WriteRaw(dir.File("MonitorError.data"), "r");
  std::filesystem::create_directory(dir.File("sub.dmp"));
  WriteRaw(dir.File("sub.dmp/inner"), "i");
  std::vector<std::string> paths;
  ASSERT_TRUE(CDirUtil::GetChildFilePath(dir.path() + "/", paths));
  EXPECT_EQ((std::vector<std::string>{dir.File("MonitorError.data"), dir.File("x-Error.dmp")}),
            paths);
  EXPECT_FALSE(CDirUtil::GetChildFilePath(dir.File("absent"), paths));
  EXPECT_FALSE(CDirUtil::GetChildFilePath(dir.File("x-Error.dmp"), paths));
  EXPECT_EQ(2u, paths.size());
}

// Paths come back as the system writes them.
TEST(DirComTest, WalksUpToTheAgentRootAndStaysOnAMissingTarget) {
  using korvex_test::SystemPath;
  TempDir dir;
  std::filesystem::create_directories(dir.File("korvex/valko_client/bin"));
  CDirCom cursor(dir.File("korvex/valko_client/bin"));
  EXPECT_TRUE(cursor.cd("../../"));
  EXPECT_EQ(SystemPath(dir.File("korvex")), cursor.absolutePath());
  EXPECT_FALSE(cursor.cd("nowhere/../../x"));
  EXPECT_EQ(SystemPath(dir.File("korvex")), cursor.absolutePath());
  EXPECT_TRUE(cursor.cd("./valko_client//bin/"));
  EXPECT_EQ(SystemPath(dir.File("korvex/valko_client/bin")), cursor.absolutePath());
  CDirCom root("/");
  EXPECT_TRUE(root.cd("../.."));
  EXPECT_EQ(SystemPath("/"), root.absolutePath());
}

TEST(ToolUtilPathTest, TakesTheDirectoryPartWithoutSeparator) {
  EXPECT_EQ("/opt/valko/bin", tbx::CToolUtil::GetFileDirPath("/opt/valko/bin/Korvex.exe"));
  EXPECT_EQ("/opt/valko", tbx::CToolUtil::GetFileDirPath("/opt/valko//bin"));
  EXPECT_EQ("", tbx::CToolUtil::GetFileDirPath("Korvex.exe"));
  EXPECT_EQ("", tbx::CToolUtil::GetFileDirPath("/Korvex.exe"));
  EXPECT_EQ("", tbx::CToolUtil::GetFileDirPath(""));
}

}  // namespace
