// The guard as others on a Windows machine meet it: a name planted before the monitor starts,
// and the guard's directory written in another way.
#include <windows.h>
// after windows.h
#include <sddl.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include <gtest/gtest.h>

#include "TestProcess.h"
#include "tbx/SingleApp.h"
#include "tbxUtil/windows/GuardName.h"
#include "tbxUtil/windows/WideText.h"

namespace {

using korvex_test::TempDir;

bool Running(const std::string& path) {
  return tbx::CSingleApp("tbx-test-guard", path, "").IsRunning();
}

TEST(SingleAppWindowsTest, APlantedNameCountsAsAnotherInstanceUntilItIsGone) {
  TempDir dir;
  const std::string path = dir.File("single_app_korvex_monitor");
  const std::wstring name = tbx::windows::GuardName("tbx-test-guard", path, "");
  // An object of another type under the name: no mutex can be made or opened there.
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_TRUE(Running(path));
  ::CloseHandle(event);
  // A mutex whose maker lets nobody open it.
  PSECURITY_DESCRIPTOR nobody = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1,
                                                                     &nobody, nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nobody, FALSE};
  HANDLE mutex = ::CreateMutexW(&attributes, FALSE, name.c_str());
  ::LocalFree(nobody);
  ASSERT_NE(mutex, nullptr);
  EXPECT_TRUE(Running(path));
  ::CloseHandle(mutex);
  EXPECT_FALSE(Running(path));
}

TEST(SingleAppWindowsTest, EverySpellingOfTheDirectoryMeetsOneGuard) {
  TempDir dir;
  const std::string folder = korvex_test::SystemPath(dir.File("Guarded Installation"));
  std::filesystem::create_directory(tbx::windows::Widen(folder));
  tbx::CSingleApp guard("tbx-test-guard", folder + "\\single_app_korvex_monitor", "");
  ASSERT_FALSE(guard.IsRunning());

  std::string upper = folder;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  wchar_t shortName[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetShortPathNameW(tbx::windows::Widen(folder).c_str(), shortName, MAX_PATH));
  for (const std::string& spelling : {upper, tbx::windows::Narrow(shortName), "\\\\?\\" + folder,
                                      dir.File("Guarded Installation/../Guarded Installation")}) {
    EXPECT_TRUE(Running(spelling + "\\single_app_korvex_monitor")) << spelling;
  }
  EXPECT_FALSE(Running(dir.File("single_app_korvex_monitor")));
}

}  // namespace
