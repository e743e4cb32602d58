// A save through the form reaches the real seed export files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "form_fakes.h"
#include "provisioning/form/new_token_form_logic.h"
#include "resources/resource.h"

namespace {

namespace fs = std::filesystem;

class ScratchFolder {
 public:
  ScratchFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() / ("new-token-form-test-" + std::to_string(stamp));
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(NewTokenFormSeedFiles, SavedHotpTokenLandsInTheHotpFilesOnly) {
  ScratchFolder folder;
  form_test::FakeFormControls controls;
  ScriptedTokenLibrary library;
  library.SetSerial("CVM0099");
  form_test::ScriptedServices scripted;
  NewTokenFormServices services = scripted.Bind();
  services.appendSeedFiles = NewTokenFormServices::Standard().appendSeedFiles;
  NewTokenFormLogic logic(controls, library, folder.Path(), services);

  logic.StartUp();
  controls.shown.algorithm = 0;
  logic.HandleCommand(IDC_GENERATE_SEED, 0);
  logic.HandleCommand(IDC_SAVE, 0);

  ASSERT_EQ(logic.Result().resultStatus, kTokenSaved);
  EXPECT_EQ(logic.Result().resultMessage,
            u"Save new token succeeded!\r\nSN=CVM0099, SEED=A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3\r\n");
  const std::string xml = ReadAll(folder.Path() / "hseeds.xml");
  EXPECT_NE(xml.find("<serial>CVM0099</serial>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<seed>A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3</seed>"), std::string::npos) << xml;
  EXPECT_TRUE(fs::exists(folder.Path() / "hseeds.csv"));
  EXPECT_FALSE(fs::exists(folder.Path() / "tseeds.xml"));
  EXPECT_FALSE(fs::exists(folder.Path() / "tseeds.csv"));
}

}  // namespace
